// The settings screen on a real display, opened from the popover's content as
// the user opens it, over a real dictation controller and its preferences:
// clicks and keys through the toolkit on the real widgets.
#include "AppUpdater/AppUpdater.h"
#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "Dictation/DictationController.h"
#include "Model/DiscoveredModel.h"
#include "Model/HttpWhisperModelTransport.h"
#include "Model/WhisperModelInstaller.h"
#include "Preferences/PreferenceKeys.h"
#include "HotKeys/DoubleTapPermissionState.h"
#include "HotKeyCore/GlobalHotKeyManager.h"
#include "Settings/HotKeySettingsSection.h"
#include "Settings/ModelSettingsSection.h"
#include "Settings/DirectInsertSettingsSection.h"
#include "Settings/SettingsView.h"
#include "Settings/VocabularyEntryRow.h"
#include "Settings/VocabularySettingsSection.h"
#include "Vocabulary/VocabularyStore.h"
#include "Views/ContentView.h"
#include "Widgets/MessageBanner.h"
#include "Widgets/SymbolIcon.h"

#include "HotKeyCore/ShortcutRecorderController.h"
#include "Platform/MemoryPreferencesStore.h"

#include "ContentViewDesk.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;
namespace Keys = PreferenceKeys;

namespace {

using test::ContentViewDesk;

// The desk with its settings open.
SettingsView* openSettings(ContentViewDesk& desk)
{
    desk.view->setShowsSetup(true);
    return desk.view->settingsView();
}

template <typename T = QWidget>
T* named(QWidget* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name));
}

QAbstractButton* titled(QWidget* root, const QString& text)
{
    for (auto* button : root->findChildren<QAbstractButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QList<QAbstractButton*> chips(QWidget* root, const char* name)
{
    QList<QAbstractButton*> found;
    for (auto* button : root->findChildren<QAbstractButton*>(QString::fromLatin1(name)))
        found.append(button);
    return found;
}

TEST(SettingsView, OpensInPlaceOfTheMainViewAndIsMadeAnewEachTime)
{
    ContentViewDesk desk;
    auto* settingsButton = named<QToolButton>(desk.view.get(), "settingsButton");
    settingsButton->click();
    SettingsView* first = desk.view->settingsView();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(desk.view->showsSetup());
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(desk.visible("recordButton"));
    EXPECT_EQ(QApplication::focusWidget(), first->focusProxy()) << "the keyboard starts in the settings";

    // A shortcut being recorded stops when the popover hides.
    named<QPushButton>(first, "shortcutField")->click();
    EXPECT_TRUE(first->shortcutRecorder().isRecording());
    desk.view->hide();
    EXPECT_FALSE(first->shortcutRecorder().isRecording());
    desk.view->show();

    QPointer<SettingsView> closed = first;
    named<QToolButton>(first, "settingsCloseButton")->click();
    EXPECT_FALSE(desk.view->showsSetup());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()) << "its state goes when it closes";
    EXPECT_TRUE(desk.find<QWidget>("recordButton")->isVisible());
}

// Only the mode chips, the model rows and "Add model…" rest while a dictation runs.
TEST(SettingsView, ModeAndModelControlsRestWhileRecordingOrTranscribing)
{
    ContentViewDesk desk;
    test::writeFile(desk.dir.path() + "/ggml-base.en.bin", "model");
    SettingsView* settings = openSettings(desk);
    auto* models = settings->findChild<ModelSettingsSection*>();
    ASSERT_TRUE(test::waitUntil([&] { return models->rows().size() == 2; }, 5s));

    const auto restingControls = [&] {
        QList<QWidget*> controls;
        for (auto* chip : chips(settings, "modeChip"))
            controls.append(chip);
        for (auto* row : models->rows())
            controls.append(row);
        controls.append(named(settings, "addModelButton"));
        return controls;
    };
    const auto liveControls = [&] {
        QList<QWidget*> controls;
        for (auto* chip : chips(settings, "languageChip"))
            controls.append(chip);
        for (const char* name : {"autoCopyToggle", "soundEffectsToggle", "autoClearToggle", "hotKeyEnabled",
                                 "directInsertToggle", "vocabularyAdd"})
            controls.append(named(settings, name));
        return controls;
    };
    const auto expectEnabled = [&](bool resting, const char* state) {
        for (QWidget* control : restingControls())
            EXPECT_EQ(control->isEnabled(), resting) << state << ": " << control->objectName().toStdString();
        for (QWidget* control : liveControls())
            EXPECT_TRUE(control->isEnabled()) << state << ": " << control->objectName().toStdString();
    };

    expectEnabled(true, "idle");
    desk.controller->startRecording(DictationActivationSource::popoverRecordButton());
    std::exchange(desk.recorder.pendingStart, {})(QString(desk.dir.path() + "/take.wav"));
    ASSERT_TRUE(desk.controller->isRecording());
    expectEnabled(false, "recording");

    // A click on a resting chip changes nothing.
    QTest::mouseClick(titled(settings, "Live"), Qt::LeftButton);
    EXPECT_EQ(desk.controller->mode(), DictationMode::batch);
    QTest::mouseClick(models->rows().at(1), Qt::LeftButton);
    EXPECT_EQ(desk.controller->modelPath(), desk.dir.path() + "/mine.bin");

    desk.controller->stopRecording(DictationActivationSource::popoverRecordButton());
    std::exchange(desk.recorder.pendingStop, {})(QString(desk.dir.path() + "/take.wav"));
    ASSERT_TRUE(desk.controller->isTranscribing());
    expectEnabled(false, "transcribing");

    desk.answer.set_value(QStringLiteral("done"));
    ASSERT_TRUE(test::waitUntil([&] { return !desk.controller->isTranscribing(); }, 5s));
    expectEnabled(true, "idle again");
    QTest::mouseClick(titled(settings, "Live"), Qt::LeftButton);
    EXPECT_EQ(desk.controller->mode(), DictationMode::stream);
    EXPECT_EQ(desk.defaults.stringValue(Keys::dictationMode), "stream");
}

// Each switch writes its preference the moment it changes, and follows the
// preference when it changes elsewhere.
TEST(SettingsView, EachSwitchIsSavedAtOnce)
{
    struct Case {
        const char* toggle;
        QLatin1String key;
        bool (DictationController::*read)() const;
        void (DictationController::*write)(bool);
    };
    using C = DictationController;
    const Case cases[] = {
        {"autoCopyToggle", Keys::autoCopyToClipboard, &C::autoCopyToClipboard, &C::setAutoCopyToClipboard},
        {"directInsertToggle", Keys::directInsert, &C::directInsertEnabled, &C::setDirectInsertEnabled},
        {"spaceBetweenDictationsToggle", Keys::spaceBetweenDictations, &C::spaceBetweenDictations,
         &C::setSpaceBetweenDictations},
        {"soundEffectsToggle", Keys::soundEffectsEnabled, &C::soundEffectsEnabled, &C::setSoundEffectsEnabled},
        {"durationWarningsToggle", Keys::durationWarningsEnabled, &C::durationWarningsEnabled,
         &C::setDurationWarningsEnabled},
        {"completionNoticeToggle", Keys::notifyOnTranscriptionComplete, &C::notifyOnTranscriptionComplete,
         &C::setNotifyOnTranscriptionComplete},
        {"autoClearToggle", Keys::autoClearTranscript, &C::autoClearTranscript, &C::setAutoClearTranscript},
    };
    ContentViewDesk desk;
    desk.controller->setDirectInsertEnabled(true); // the space between dictations is a part of inserting
    SettingsView* settings = openSettings(desk);
    EXPECT_TRUE(named<QCheckBox>(settings, "spaceBetweenDictationsToggle")->isChecked()) << "on unless turned off";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.toggle);
        auto* toggle = named<QCheckBox>(settings, c.toggle);
        ASSERT_NE(toggle, nullptr);
        const bool before = (*desk.controller.*c.read)();
        EXPECT_EQ(toggle->isChecked(), before);
        settings->scrollArea()->ensureWidgetVisible(toggle);
        QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(8, toggle->height() / 2));
        EXPECT_EQ(desk.defaults.boolValue(c.key), !before);
        EXPECT_EQ((*desk.controller.*c.read)(), !before);
        // Changed elsewhere while the settings are open: the box follows.
        (*desk.controller.*c.write)(before);
        EXPECT_EQ(toggle->isChecked(), before);
    }
}

// The switch shows the stored wish (on when none, or when not a Boolean) and hands each change on.
TEST(SettingsView, TheLaunchAtLoginSwitch)
{
    for (const auto& [stored, shown] : {std::pair<std::optional<QJsonValue>, bool>{std::nullopt, true},
                                        {QJsonValue(false), false},
                                        {QJsonValue("no"), true}}) {
        QList<bool> changes;
        ContentViewDesk desk({.setLaunchAtLogin = [&](bool on) { changes.append(on); }});
        if (stored)
            (void)desk.defaults.setObject(Keys::launchAtLogin, *stored);
        SettingsView* settings = openSettings(desk);
        auto* toggle = named<QCheckBox>(settings, "launchAtLoginToggle");
        ASSERT_NE(toggle, nullptr);
        EXPECT_EQ(toggle->isChecked(), shown);
        toggle->click();
        toggle->click();
        EXPECT_EQ(changes, (QList<bool>{!shown, shown}));
    }
    ContentViewDesk without;
    EXPECT_EQ(named(openSettings(without), "launchAtLoginToggle"), nullptr) << "left out when nobody manages it";
}

// The update section: a build without a feed says so and offers nothing; one
// with a feed keeps the automatic-check choice.
TEST(SettingsView, TheUpdateSection)
{
    for (const bool configured : {false, true}) {
        SCOPED_TRACE(configured ? "configured" : "not configured");
        platform::MemoryPreferencesStore updaterDefaults;
        AppUpdater::AppUpdater::Environment environment;
        environment.defaults = &updaterDefaults;
        environment.automaticChecksKey = Keys::automaticUpdateChecks;
        if (configured) {
            environment.info = QJsonObject{{"SUFeedURL", "https://updates.velmora.invalid/feed.xml"},
                                           {"SUPublicEDKey", QString(QByteArray(32, 'k').toBase64())}};
        }
        AppUpdater::AppUpdater updater(environment);
        ContentViewDesk desk({.updater = &updater});
        SettingsView* settings = openSettings(desk);
        auto* automatic = named<QCheckBox>(settings, "automaticUpdatesToggle");
        auto* error = named<QLabel>(settings, "updateConfigurationError");
        auto* check = named<QPushButton>(settings, "checkForUpdatesButton");
        ASSERT_NE(automatic, nullptr);
        EXPECT_EQ(automatic->isEnabled(), configured);
        EXPECT_EQ(check->isEnabled(), configured);
        EXPECT_EQ(error->isVisible(), !configured);
        if (!configured) {
            EXPECT_EQ(error->text(), "Updates are not configured for this build.");
            continue;
        }
        EXPECT_TRUE(automatic->isChecked()) << "on unless turned off";
        automatic->click();
        EXPECT_EQ(updaterDefaults.boolValue(Keys::automaticUpdateChecks), false);
        EXPECT_FALSE(automatic->isChecked());
    }
}

TEST(SettingsView, HiddenSliderAndStepperKeepTheirStoredValues)
{
    ContentViewDesk desk;
    (void)desk.defaults.setBool(Keys::soundEffectsEnabled, true);
    (void)desk.defaults.setFloat(Keys::soundEffectsVolume, 0.4f);
    (void)desk.defaults.setBool(Keys::autoClearTranscript, true);
    (void)desk.defaults.setInteger(Keys::autoClearDelay, 25);
    SettingsView* settings = openSettings(desk);
    auto* volume = named<QSlider>(settings, "soundEffectsVolume");
    auto* delay = named<QSpinBox>(settings, "autoClearDelay");
    EXPECT_EQ(volume->value(), 40);
    EXPECT_EQ(delay->value(), 25);
    EXPECT_EQ(delay->text(), "25s");

    struct Case {
        const char* toggle;
        QWidget* hidden;
        std::function<void()> expectKept;
    };
    const Case cases[] = {
        {"soundEffectsToggle", volume, [&] { EXPECT_FLOAT_EQ(*desk.defaults.floatValue(Keys::soundEffectsVolume), 0.4f); }},
        {"autoClearToggle", delay, [&] { EXPECT_EQ(desk.defaults.integerValue(Keys::autoClearDelay), 25); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.toggle);
        auto* toggle = named<QCheckBox>(settings, c.toggle);
        EXPECT_TRUE(c.hidden->isVisible());
        toggle->click();
        EXPECT_FALSE(c.hidden->isVisible());
        c.expectKept();
        toggle->click();
        EXPECT_TRUE(c.hidden->isVisible());
        c.expectKept();
    }
    EXPECT_EQ(volume->value(), 40);
    EXPECT_EQ(delay->value(), 25);

    // The slider is the volume, from silent to full, kept when let go.
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_End);
    EXPECT_FLOAT_EQ(*desk.defaults.floatValue(Keys::soundEffectsVolume), 1.0f);
    QTest::keyClick(volume, Qt::Key_Home);
    EXPECT_FLOAT_EQ(*desk.defaults.floatValue(Keys::soundEffectsVolume), 0.0f);
}

TEST(SettingsView, TheAutoClearStepperStaysWithinThreeToSixtySeconds)
{
    struct Case {
        const char* name;
        int start;
        std::function<void(QSpinBox*)> act;
        qint64 stored;
    };
    const Case cases[] = {
        {"one step down from 3", 3, [](QSpinBox* box) { QTest::keyClick(box, Qt::Key_Down); }, 3},
        {"one step up from 60", 60, [](QSpinBox* box) { QTest::keyClick(box, Qt::Key_Up); }, 60},
        {"page down from 10", 10, [](QSpinBox* box) { QTest::keyClick(box, Qt::Key_PageDown); }, 3},
        {"one step up from 10", 10, [](QSpinBox* box) { QTest::keyClick(box, Qt::Key_Up); }, 11},
        {"typed 99: the second 9 does not fit", 10, [](QSpinBox* box) {
             box->selectAll();
             QTest::keyClicks(box, "99");
             QTest::keyClick(box, Qt::Key_Return);
         }, 9},
        {"typed 45", 10, [](QSpinBox* box) {
             box->selectAll();
             QTest::keyClicks(box, "45");
             QTest::keyClick(box, Qt::Key_Return);
         }, 45},
        {"set to 1 by code", 10, [](QSpinBox* box) { box->setValue(1); }, 3},
        {"set to 500 by code", 10, [](QSpinBox* box) { box->setValue(500); }, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ContentViewDesk desk;
        (void)desk.defaults.setBool(Keys::autoClearTranscript, true);
        (void)desk.defaults.setInteger(Keys::autoClearDelay, c.start);
        SettingsView* settings = openSettings(desk);
        auto* box = named<QSpinBox>(settings, "autoClearDelay");
        box->setFocus();
        c.act(box);
        EXPECT_EQ(desk.controller->autoClearDelay(), c.stored);
        EXPECT_GE(box->value(), 3);
        EXPECT_LE(box->value(), 60);
    }
}

// The language is kept the moment it is chosen, not only at the next dictation.
TEST(SettingsView, TheLanguageGridHighlightsTheChosenLanguageAndKeepsItAtOnce)
{
    ContentViewDesk desk;
    SettingsView* settings = openSettings(desk);
    const QList<QAbstractButton*> grid = chips(settings, "languageChip");
    QStringList titles;
    for (auto* chip : grid)
        titles.append(chip->text());
    EXPECT_EQ(titles, QStringList({"Auto", "DE", "EN", "FR", "ES", "IT", "PT", "NL", "JA", "ZH"}));
    const auto checked = [&] {
        QStringList on;
        for (auto* chip : grid) {
            if (chip->isChecked())
                on.append(chip->text());
        }
        return on;
    };
    EXPECT_EQ(checked(), QStringList{"EN"});

    for (const auto& [title, code] : {std::pair{"FR", "fr"}, std::pair{"Auto", "auto"}, std::pair{"FR", "fr"}}) {
        QTest::mouseClick(titled(settings, title), Qt::LeftButton);
        EXPECT_EQ(desk.controller->language(), code);
        EXPECT_EQ(desk.defaults.stringValue(Keys::language), code) << "kept before any dictation";
        EXPECT_EQ(checked(), QStringList{title}) << "one chip at a time, and a second click keeps it";
    }
    desk.controller->setLanguage("sv"); // a language the grid does not offer
    EXPECT_TRUE(checked().isEmpty());
    // Five columns.
    EXPECT_EQ(titled(settings, "Auto")->y(), titled(settings, "ES")->y());
    EXPECT_LT(titled(settings, "ES")->y(), titled(settings, "IT")->y());
}

TEST(SettingsView, ModelRowsTheDefaultTagAndAddModel)
{
    ContentViewDesk desk;
    for (const char* name : {"ggml-large-v3-turbo-q5_0.bin", "ggml-base.en.bin", "notes.txt"})
        test::writeFile(desk.dir.path() + "/" + name, "model");
    QTemporaryDir elsewhere;
    test::writeFile(elsewhere.path() + "/ggml-.bin", "model");
    SettingsView* settings = openSettings(desk);
    auto* section = settings->findChild<ModelSettingsSection*>();
    ASSERT_TRUE(test::waitUntil([&] { return section->rows().size() == 2; }, 5s));
    const auto rowTexts = [&] {
        QStringList texts;
        for (auto* row : section->rows())
            texts.append(row->text() + (row->isChecked() ? " [x]" : ""));
        return texts;
    };
    EXPECT_EQ(rowTexts(), QStringList({"large-v3-turbo-q5_0", "base.en"})) << "the chosen mine.bin is not among them";
    EXPECT_EQ(section->rows().at(0)->findChild<QLabel*>("defaultModelTag")->text(), "default");
    EXPECT_EQ(section->rows().at(1)->findChild<QLabel*>("defaultModelTag"), nullptr);

    QTest::mouseClick(section->rows().at(1), Qt::LeftButton);
    EXPECT_EQ(desk.controller->modelPath(), desk.dir.path() + "/ggml-base.en.bin");
    EXPECT_EQ(desk.defaults.stringValue(Keys::modelPath), desk.dir.path() + "/ggml-base.en.bin")
        << "kept before any dictation";
    EXPECT_EQ(rowTexts(), QStringList({"large-v3-turbo-q5_0", "base.en [x]"}));
    QTest::mouseClick(section->rows().at(1), Qt::LeftButton);
    EXPECT_EQ(rowTexts(), QStringList({"large-v3-turbo-q5_0", "base.en [x]"})) << "a second click keeps it";

    // Add model…: Qt's own chooser, a child of the popover's window; cancelling changes nothing.
    named<QPushButton>(settings, "addModelButton")->click();
    auto* chooser = desk.view->window()->findChild<QFileDialog*>("modelChooser");
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle(), "Select Whisper Model");
    EXPECT_TRUE(chooser->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(chooser->parentWidget(), desk.view->window());
    QPointer<QFileDialog> cancelled = chooser;
    QTest::keyClick(chooser, Qt::Key_Escape);
    EXPECT_EQ(desk.controller->modelPath(), desk.dir.path() + "/ggml-base.en.bin");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(cancelled.isNull()) << "a closed chooser does not linger";

    // A file from another folder joins the list as a custom entry, chosen.
    named<QPushButton>(settings, "addModelButton")->click();
    chooser = desk.view->window()->findChild<QFileDialog*>("modelChooser");
    ASSERT_NE(chooser, nullptr);
    QSignalSpy rediscovered(section, &ModelSettingsSection::modelsDiscovered);
    auto* fileName = chooser->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(fileName, nullptr);
    EXPECT_EQ(chooser->directory().absolutePath(), desk.dir.path()) << "it opens where the current model is";
    chooser->setDirectory(elsewhere.path()); // the user goes to another folder
    QTest::keyClicks(fileName, "ggml-.bin");
    auto* buttons = chooser->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    buttons->button(QDialogButtonBox::Open)->click();
    EXPECT_EQ(desk.controller->modelPath(), elsewhere.path() + "/ggml-.bin");
    EXPECT_EQ(desk.defaults.stringValue(Keys::modelPath), elsewhere.path() + "/ggml-.bin");
    EXPECT_EQ(rowTexts(), QStringList({"large-v3-turbo-q5_0", "base.en", "Unknown [x]"}));
    EXPECT_EQ(section->availableModels().last().id, "custom-Unknown");
    // And it stays once the folder has been looked at again.
    ASSERT_TRUE(rediscovered.wait(5000));
    EXPECT_EQ(rowTexts(), QStringList({"large-v3-turbo-q5_0", "base.en", "Unknown [x]"}));
}

TEST(SettingsView, TheModelCardShowsInTheSettingsOnlyWhileTheModelIsNotReady)
{
    ContentViewDesk desk;
    SettingsView* settings = openSettings(desk);
    auto* card = named(settings, "modelDownloadStatus");
    ASSERT_NE(card, nullptr);
    desk.models.prepare(false);
    ASSERT_TRUE(test::waitUntil([&] { return desk.models.state().kind == WhisperModelState::Kind::missing; }, 5s));
    EXPECT_TRUE(card->isVisible());
    EXPECT_NE(titled(card, "Download"), nullptr);

    // A model that was verified before: a file of the pinned size with its marker (sparse, so nothing is written).
    WhisperModelInstaller installer(PinnedWhisperModel::largeV3TurboQ5(), desk.dir.path(),
                                    std::make_shared<HttpWhisperModelTransport>());
    QFile model(installer.modelPath());
    ASSERT_TRUE(model.open(QIODevice::WriteOnly) && model.resize(installer.model().byteCount));
    model.close();
    ASSERT_EQ(installer.writeMarker(), std::nullopt);
    desk.models.prepare(false);
    ASSERT_TRUE(test::waitUntil([&] { return desk.models.state().kind == WhisperModelState::Kind::ready; }, 5s));
    EXPECT_FALSE(card->isVisible()) << "a ready model needs no card";
}

// "Maja, , Maia ," stores two variants and the field keeps what was typed.
TEST(VocabularySettingsSection, RowsEditTheListAndTheFieldKeepsWhatWasTyped)
{
    QTemporaryDir cloud;
    ContentViewDesk desk({.cloudFolder = cloud.path()});
    SettingsView* settings = openSettings(desk);
    auto* section = settings->findChild<VocabularySettingsSection*>();
    ASSERT_NE(section, nullptr);
    EXPECT_TRUE(section->rows().isEmpty());

    named<QPushButton>(settings, "vocabularyAdd")->click();
    ASSERT_EQ(section->rows().size(), 1);
    ASSERT_EQ(desk.controller->vocabulary().size(), 1);
    EXPECT_TRUE(desk.controller->vocabulary().first().spelling.isEmpty()) << "an empty row is kept";
    VocabularyEntryRow* row = section->rows().first();
    EXPECT_EQ(QApplication::focusWidget(), row->spellingField()) << "typing starts in the new row";
    EXPECT_EQ(row->spellingField()->placeholderText(), "Correct spelling, e.g. Maya");
    EXPECT_EQ(row->variantsField()->placeholderText(), "Misspellings, e.g. Maja, Maia");

    QTest::keyClicks(row->spellingField(), "Maya ");
    QTest::keyClicks(row->variantsField(), "Maja, , Maia ,");
    const VocabularyEntry entry = desk.controller->vocabulary().first();
    EXPECT_EQ(entry.spelling, "Maya ") << "stored as typed";
    EXPECT_EQ(entry.variants, QStringList({"Maja", "Maia"}));
    EXPECT_EQ(row->variantsField()->text(), "Maja, , Maia ,");

    // The sync saves it to the cloud file.
    const QString file = cloud.path() + "/Velmora/vocabulary.json";
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(file).contains("Maia"); }, 5s));

    // Another computer changes the file: opening the settings shows the new list.
    settings->findChild<QToolButton*>("settingsCloseButton")->click();
    QJsonArray changed{QJsonObject{{"id", entry.id.toString(QUuid::WithoutBraces)},
                                   {"spelling", "Maya"},
                                   {"variants", QJsonArray{"Maja", "Maia", "Mya"}}},
                       QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                   {"spelling", "Kubernetes"},
                                   {"variants", QJsonArray{"Cooper Netties"}}}};
    test::writeFile(file, QJsonDocument(changed).toJson());
    settings = openSettings(desk);
    section = settings->findChild<VocabularySettingsSection*>();
    ASSERT_TRUE(test::waitUntil([&] { return section->rows().size() == 2; }, 5s));
    EXPECT_EQ(section->rows().at(0)->variantsField()->text(), "Maja, Maia, Mya");
    EXPECT_EQ(section->rows().at(1)->spellingField()->text(), "Kubernetes");

    section->rows().at(0)->removeButton()->click();
    ASSERT_EQ(desk.controller->vocabulary().size(), 1);
    EXPECT_EQ(desk.controller->vocabulary().first().spelling, "Kubernetes");
    ASSERT_TRUE(test::waitUntil([&] { return section->rows().size() == 1; }, 2s));
}

// Another device wrote 100,000 words: the settings show the first 1,000, say so, and add no more.
TEST(VocabularySettingsSection, AHugeCloudVocabularyShowsWhatIsUsedAndSaysWhatIsNot)
{
    QTemporaryDir cloud;
    QJsonArray words;
    for (int i = 0; i < 100000; ++i)
        words.append(QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                 {"spelling", QStringLiteral("w%1").arg(i)},
                                 {"variants", QJsonArray{}}});
    QDir().mkpath(cloud.path() + "/Velmora");
    test::writeFile(cloud.path() + "/Velmora/vocabulary.json", QJsonDocument(words).toJson(QJsonDocument::Compact));
    ContentViewDesk desk({.cloudFolder = cloud.path()});
    SettingsView* settings = openSettings(desk);
    auto* section = settings->findChild<VocabularySettingsSection*>();
    ASSERT_TRUE(test::waitUntil([&] { return section->rows().size() == 1000; }, 10s));
    EXPECT_EQ(section->rows().last()->spellingField()->text(), "w999");
    auto* hint = named<QLabel>(settings, "vocabularySyncHint");
    ASSERT_TRUE(test::waitUntil([&] { return hint->isVisible(); }, 5s));
    EXPECT_TRUE(hint->text().startsWith(QLocale().toString(99000) + " of Velmora/vocabulary.json's entries are not used"))
        << hint->text().toStdString();
    auto* add = named<QPushButton>(settings, "vocabularyAdd");
    EXPECT_FALSE(add->isEnabled());
    section->rows().first()->removeButton()->click();
    EXPECT_TRUE(add->isEnabled()) << "room for one more";
    // Saved with what it did not use, in a file that can still be read.
    ASSERT_TRUE(test::waitUntil([&] {
        const auto decoded = VocabularyStore::decodeWithinLimits(test::readFile(cloud.path() + "/Velmora/vocabulary.json"));
        return decoded && decoded->used.size() == 1000 && decoded->unused.size() == 98999
               && decoded->used.first().spelling == "w1";
    }, 10s));
}

TEST(VocabularySettingsSection, ShowsTheCloudFolderHint)
{
    QTemporaryDir root;
    ContentViewDesk desk({.cloudFolder = root.path() + "/no-such-cloud"});
    SettingsView* settings = openSettings(desk);
    auto* hint = named<QLabel>(settings, "vocabularySyncHint");
    ASSERT_TRUE(test::waitUntil([&] { return hint->isVisible(); }, 5s));
    EXPECT_EQ(hint->text(), "Cloud folder not available — vocabulary stays on this computer.");
}

TEST(DirectInsertSettingsSection, TheBannerShowsWhileInsertingIsOnAndKeysCannotBeSent)
{
    struct Case {
        bool canPost;
        bool enabled;
        bool banner;
    };
    const Case cases[] = {{true, true, false}, {false, true, true}, {false, false, false}, {true, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "canPost " << c.canPost << ", enabled " << c.enabled);
        ContentViewDesk desk;
        desk.canPostKeys = c.canPost;
        (void)desk.defaults.setBool(Keys::directInsert, !c.enabled);
        SettingsView* settings = openSettings(desk);
        named<QCheckBox>(settings, "directInsertToggle")->click();
        EXPECT_EQ(desk.controller->directInsertEnabled(), c.enabled) << "never refused for want of permission";
        auto* banner = named<MessageBanner>(settings, "directInsertPermissionBanner");
        EXPECT_EQ(banner->isVisible(), c.banner);
        EXPECT_EQ(banner->message(),
                  "Inserting needs Accessibility access to send Ctrl+V. Without it, the text is only copied.");
    }

    // Keys become possible while the settings are open: back in Velmora, the banner goes.
    ContentViewDesk desk;
    desk.canPostKeys = false;
    (void)desk.defaults.setBool(Keys::directInsert, true);
    SettingsView* settings = openSettings(desk);
    auto* banner = named<MessageBanner>(settings, "directInsertPermissionBanner");
    EXPECT_TRUE(banner->isVisible());
    desk.canPostKeys = true;
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_FALSE(banner->isVisible());

    // A Wayland session without a virtual keyboard: keys reach X11 windows only, and the banner says so.
    const QString limits = "This desktop does not let Velmora send keys to Wayland windows; there the text is only copied";
    DirectInsertSettingsSection wayland(*desk.controller, [] { return true; }, limits);
    wayland.show();
    auto* waylandBanner = wayland.findChild<MessageBanner*>("directInsertPermissionBanner");
    EXPECT_TRUE(waylandBanner->isVisible());
    EXPECT_EQ(waylandBanner->message(), limits);
    desk.controller->setDirectInsertEnabled(false);
    EXPECT_FALSE(waylandBanner->isVisible()) << "nothing to say while inserting is off";
}

TEST(BrowserBridgeSettingsSection, TheSwitchAndTheBridgesStatus)
{
    struct Case {
        const char* name;
        QString executable;
        bool allowAnyPath;
        QString socket; // relative to a temporary folder
        QString onText;
        bool listens;
    };
    const QString home = QDir::homePath();
    const Case cases[] = {
        {"a copy in ~/Applications", home + "/Applications/Velmora/bin/velmora", false, "bridge.sock",
         "Registered for Microsoft Edge", true},
        {"a build elsewhere", home + "/src/velmora/build/bin/velmora", false, "bridge.sock",
         "Not registered: only a copy in /opt or ~/Applications is registered.", true},
        {"a socket that cannot be made", home + "/Applications/Velmora/bin/velmora", false,
         "missing-folder/deeper/bridge.sock", "Bridge socket failed: ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        platform::MemoryPreferencesStore bridgeDefaults;
        (void)bridgeDefaults.setBool(Keys::browserIntegration, false);
        QFile::remove(dir.path() + "/missing-folder");
        test::writeFile(dir.path() + "/missing-folder", "a file where a folder should be");
        BrowserBridgeCoordinator bridge(&bridgeDefaults, home, c.executable, dir.path() + "/" + c.socket,
                                        c.allowAnyPath);
        ContentViewDesk desk({.bridge = &bridge});
        bridge.setController(desk.controller.get());
        SettingsView* settings = openSettings(desk);
        auto* toggle = named<QCheckBox>(settings, "browserBridgeToggle");
        auto* status = named<QLabel>(settings, "browserBridgeStatus");
        EXPECT_FALSE(toggle->isChecked());
        EXPECT_EQ(status->text(), "") << "nothing before the bridge has been applied";

        toggle->click();
        EXPECT_EQ(bridgeDefaults.boolValue(Keys::browserIntegration), true);
        EXPECT_TRUE(status->text().startsWith(c.onText)) << status->text().toStdString();
        EXPECT_EQ(bridge.isListening(), c.listens);

        toggle->click();
        EXPECT_EQ(status->text(), "Off");
        EXPECT_FALSE(bridge.isListening());
        EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))
                                   + "/microsoft-edge/NativeMessagingHosts/com.orvane.velmora.json"));
        desk.view.reset(); // the view goes before the bridge it shows
    }
}

// Keyboard: Tab visits every control in the order of the column, each has a
// name for assistive tools, and nothing is wider than the popover.
TEST(SettingsView, EveryControlIsReachableInLayoutOrderAndNamed)
{
    QTemporaryDir home;
    platform::MemoryPreferencesStore bridgeDefaults;
    BrowserBridgeCoordinator bridge(&bridgeDefaults, home.path(), QString("/opt/Velmora/bin/velmora"),
                                    home.path() + "/bridge.sock", true);
    ContentViewDesk desk({.bridge = &bridge});
    (void)desk.defaults.setBool(Keys::soundEffectsEnabled, true);
    (void)desk.defaults.setBool(Keys::autoClearTranscript, true);
    desk.controller->setVocabulary({{QUuid::createUuid(), "Maya", {"Maja"}}});
    test::writeFile(desk.dir.path() + "/ggml-base.en.bin", "model");
    SettingsView* settings = openSettings(desk);
    auto* models = settings->findChild<ModelSettingsSection*>();
    ASSERT_TRUE(test::waitUntil([&] { return models->rows().size() == 2; }, 5s));
    QWidget* sections = settings->scrollArea()->widget();
    const auto reachable = [&](QWidget* widget) {
        return sections->isAncestorOf(widget) && widget->isVisibleTo(settings) && widget->isEnabled()
               && (widget->focusPolicy() & Qt::TabFocus);
    };

    QList<QWidget*> visited;
    QWidget* current = settings->focusProxy();
    ASSERT_TRUE(reachable(current));
    for (int guard = 0; guard < 500 && !visited.contains(current); ++guard) {
        if (reachable(current))
            visited.append(current);
        current = current->nextInFocusChain();
    }
    QList<QWidget*> all;
    for (QWidget* widget : sections->findChildren<QWidget*>()) {
        if (reachable(widget))
            all.append(widget);
    }
    EXPECT_EQ(visited.size(), all.size()) << "Tab reaches every control";

    const auto place = [&](QWidget* widget) { return widget->mapTo(sections, QPoint(0, 0)); };
    for (int index = 1; index < visited.size(); ++index) {
        QWidget* before = visited[index - 1];
        QWidget* after = visited[index];
        const QPoint a = place(before), b = place(after);
        const bool sameRow = b.y() < a.y() + before->height() && a.y() < b.y() + after->height();
        EXPECT_TRUE(sameRow ? b.x() > a.x() : b.y() > a.y())
            << before->metaObject()->className() << " " << before->objectName().toStdString() << " at " << a.x()
            << "," << a.y() << " then " << after->metaObject()->className() << " "
            << after->objectName().toStdString() << " at " << b.x() << "," << b.y();
    }
    for (QWidget* widget : std::as_const(visited)) {
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        // A spin box's editor is part of the box, which carries the name.
        const QWidget* owner = qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) ? widget->parentWidget() : widget;
        EXPECT_FALSE(owner->accessibleName().isEmpty() && !(button && !button->text().isEmpty()))
            << widget->metaObject()->className() << " " << widget->objectName().toStdString() << " has no name";
    }

    // Operable by keyboard: Space chooses a focused chip.
    QAbstractButton* live = titled(settings, "Live");
    live->setFocus(Qt::TabFocusReason);
    QTest::keyClick(live, Qt::Key_Space);
    EXPECT_EQ(desk.controller->mode(), DictationMode::stream);

    // It fits: the column scrolls, nothing sticks out at the side.
    EXPECT_EQ(desk.view->size(), ContentView::preferredSize);
    EXPECT_GT(settings->scrollArea()->verticalScrollBar()->maximum(), 0);
    EXPECT_LE(sections->minimumSizeHint().width(), settings->scrollArea()->viewport()->width());
    desk.view.reset();
}

// The running triggers read the settings when they hear the notice, and the
// permission hint reads the trigger: so the settings are written first, then
// the mode, then the notice, then the permission is looked at again.
TEST(HotKeySettingsSection, SavesTheSettingsThenTheModeThenAnnouncesThenRefreshesThePermission)
{
    struct LoggingStore : platform::PreferencesStore {
        platform::MemoryPreferencesStore kept;
        QStringList* events;
        explicit LoggingStore(QStringList* log)
            : events(log)
        {
        }
        std::optional<QJsonValue> object(const QString& key) const override { return kept.object(key); }
        std::optional<platform::PreferencesError> setObject(const QString& key, const QJsonValue& value) override
        {
            events->append(key);
            return kept.setObject(key, value);
        }
        std::optional<platform::PreferencesError> remove(const QString& key) override
        {
            events->append(key);
            return kept.remove(key);
        }
    };
    QStringList events;
    LoggingStore defaults(&events);
    HotKeyCore::ShortcutRecorderController recorder;
    DoubleTapPermissionState permission([] { return true; },
                                        [&] {
                                            events.append("permission");
                                            return DoubleTapPermissionState::Settings{};
                                        },
                                        [] {});
    HotKeySettingsSection section(defaults, recorder, permission, [&] { events.append("announce"); });
    section.show();

    const auto button = [&](const QString& text) { return titled(&section, text); };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"untick", [&] { section.findChild<QCheckBox*>("hotKeyEnabled")->click(); }},
        {"tick", [&] { section.findChild<QCheckBox*>("hotKeyEnabled")->click(); }},
        {"double tap", [&] { button("Double-Tap")->click(); }},
        {"modifier", [&] { button("Shift")->click(); }},
        {"speed", [&] { section.findChild<QSlider*>("doubleTapSpeed")->setValue(2); }},
        {"combination", [&] { button("Combo")->click(); }},
        {"reset", [&] { section.resetHotKeyToDefault(); }},
    };
    const QStringList settingsKeys{Keys::hotKeyEnabled, Keys::hotKeyCode, Keys::hotKeyModifiers, Keys::hotKeyCharacter};
    const QStringList modeKeys{Keys::hotKeyMode, Keys::doubleTapModifier, Keys::doubleTapThreshold};
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        events.clear();
        change();
        ASSERT_GE(events.size(), 4) << events.join(" ").toStdString();
        const qsizetype announce = events.indexOf("announce");
        ASSERT_GE(announce, 0);
        EXPECT_EQ(events.lastIndexOf("announce"), announce) << "announced once";
        EXPECT_GT(events.indexOf("permission", announce), announce);
        qsizetype lastSettings = -1, firstMode = events.size(), lastMode = -1;
        for (qsizetype index = 0; index < announce; ++index) {
            if (settingsKeys.contains(events[index]))
                lastSettings = index;
            if (modeKeys.contains(events[index])) {
                firstMode = std::min(firstMode, index);
                lastMode = index;
            }
        }
        EXPECT_GE(lastSettings, 0);
        EXPECT_GE(lastMode, 0);
        EXPECT_LT(lastSettings, firstMode) << events.join(" ").toStdString();
    }
}

// Every symbol is drawn, theme or not: a bare desktop still shows the whole screen.
TEST(SymbolIcon, EverySymbolHasItsOwnDrawing)
{
    for (const Symbol symbol : SymbolIcon::all()) {
        SCOPED_TRACE(SymbolIcon::resourcePath(symbol).toStdString());
        const QImage image = SymbolIcon::fallback(symbol, QColor(40, 40, 40)).pixmap(16, 16).toImage();
        ASSERT_FALSE(image.isNull());
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 128) {
                    ++inked;
                    EXPECT_LT(std::abs(pixel.red() - 40), 8) << "drawn in the tint";
                }
            }
        }
        EXPECT_GT(inked, 6);
        EXPECT_LT(inked, 16 * 16);
    }
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    QIcon::setFallbackThemeName(QStringLiteral("no-such-theme"));
    for (const Symbol symbol : SymbolIcon::all())
        EXPECT_FALSE(SymbolIcon::icon(symbol, Qt::black).pixmap(16, 16).isNull());
}

} // namespace

// Recording a new shortcut must not start a dictation, and the current combination
// must be recordable again: it is let go while the recorder listens.
TEST(HotKeySettingsSection, TheCurrentShortcutIsLetGoWhileANewOneIsRecorded)
{
    struct CountingShortcuts : platform::GlobalShortcutSource {
        std::optional<platform::ShortcutGrab> held;
        std::optional<platform::ShortcutGrabError> grab(const platform::ShortcutGrab& shortcut) override
        {
            held = shortcut;
            return std::nullopt;
        }
        void release() override { held.reset(); }
    };
    auto owned = std::make_unique<CountingShortcuts>();
    CountingShortcuts* shortcuts = owned.get();
    HotKeyCore::GlobalHotKeyManager hotKey("VLMR", std::move(owned), nullptr);
    ASSERT_TRUE(hotKey.registerSettings(HotKeyCore::HotKeySettings::defaultSettings()));
    ASSERT_TRUE(shortcuts->held);
    platform::MemoryPreferencesStore defaults;
    HotKeyCore::ShortcutRecorderController recorder;
    DoubleTapPermissionState permission([] { return true; }, [] { return DoubleTapPermissionState::Settings{}; }, [] {});
    {
        HotKeySettingsSection section(defaults, recorder, permission, [] {}, nullptr, QString(), &hotKey);
        recorder.startRecording([](std::uint32_t, std::uint32_t) {});
        EXPECT_FALSE(shortcuts->held) << "nothing grabbed while recording";
        recorder.stopRecording();
        EXPECT_TRUE(shortcuts->held) << "grabbed again after";
        recorder.startRecording([](std::uint32_t, std::uint32_t) {});
        EXPECT_FALSE(shortcuts->held);
    } // the settings close mid-recording
    EXPECT_TRUE(shortcuts->held) << "the hot key works again once the section is gone";
}
