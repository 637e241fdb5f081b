#include "SettingsView.h"

#include "BrowserBridgeSettingsSection.h"
#include "DirectInsertSettingsSection.h"
#include "HotKeySettingsSection.h"
#include "LanguageChoice.h"
#include "SettingsChip.h"
#include "SettingsStyle.h"
#include "UpdateSettingsSection.h"
#include "VocabularySettingsSection.h"

#include "Dictation/DictationController.h"
#include "Shell/LaunchAtLoginPreferenceManager.h"
#include "Widgets/SymbolIcon.h"

#include "HotKeyCore/ShortcutRecorderController.h"
#include "Platform/ActivationInput.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace velmora {

namespace {

constexpr std::pair<DictationMode, const char*> modeChips[] = {
    {DictationMode::batch, "Standard"},
    {DictationMode::stream, "Live"},
};

QLabel* symbolLabel(Symbol symbol, const QColor& tint, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(SymbolIcon::icon(symbol, tint).pixmap(14, 14));
    return label;
}

// A path under the home folder as the user writes it.
QString homeAbbreviated(const QString& path)
{
    const QString home = QDir::homePath();
    if (path.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + path.mid(home.size());
    return path;
}

} // namespace

SettingsView::SettingsView(Parts parts, QWidget* parent)
    : QWidget(parent)
    , m_parts(std::move(parts))
    , m_recorder(new HotKeyCore::ShortcutRecorderController(platform::ActivationInput::keyboardLayout(), this))
{
    setObjectName(QStringLiteral("settingsView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 10);
    column->addWidget(makeHeader());
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    column->addWidget(line);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("settingsScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* sections = new QWidget(m_scroll);
    sections->setObjectName(QStringLiteral("settingsSections"));
    auto* list = new QVBoxLayout(sections);
    list->setContentsMargins(0, 4, 8, 4);
    list->setSpacing(16);

    DictationController& controller = m_parts.controller;
    list->addWidget(makeModeSection(sections));
    list->addWidget(new ModelSettingsSection(controller, m_parts.models, m_parts.model, m_parts.discoverModels,
                                             sections));
    list->addWidget(makeLanguageSection(sections));
    list->addWidget(new VocabularySettingsSection(controller, m_parts.vocabularySync, sections));
    list->addWidget(new HotKeySettingsSection(m_parts.defaults, *m_recorder, m_parts.doubleTapPermission,
                                              m_parts.announceHotKeyChange, sections, std::nullopt, m_parts.hotKey));
    m_autoCopy = SettingsStyle::toggle(QStringLiteral("Auto-copy transcript"), Symbol::docOnClipboard,
                                       QStringLiteral("autoCopyToggle"), sections);
    list->addWidget(m_autoCopy);
    list->addWidget(new DirectInsertSettingsSection(controller, m_parts.canPostKeys, std::nullopt, sections));
    if (m_parts.bridge)
        list->addWidget(new BrowserBridgeSettingsSection(*m_parts.bridge, sections));
    list->addWidget(makeSoundSection(sections));

    auto* warnings = new QWidget(sections);
    auto* warningsColumn = new QVBoxLayout(warnings);
    warningsColumn->setContentsMargins(0, 0, 0, 0);
    warningsColumn->setSpacing(2);
    m_durationWarnings = SettingsStyle::toggle(QStringLiteral("Recording duration warnings"),
                                               Symbol::exclamationmarkTriangle,
                                               QStringLiteral("durationWarningsToggle"), warnings);
    warningsColumn->addWidget(m_durationWarnings);
    warningsColumn->addWidget(SettingsStyle::caption(QStringLiteral("Notify at 3, 5, and 10 minutes"), true, warnings));
    list->addWidget(warnings);

    m_completionNotice = SettingsStyle::toggle(QStringLiteral("Notify on transcription complete"), Symbol::bellBadge,
                                               QStringLiteral("completionNoticeToggle"), sections);
    list->addWidget(m_completionNotice);
    list->addWidget(makeAutoClearSection(sections));
    if (m_parts.setLaunchAtLogin) {
        m_launchAtLogin = SettingsStyle::toggle(QStringLiteral("Launch at login"), Symbol::arrowRightCircle,
                                                QStringLiteral("launchAtLoginToggle"), sections);
        // The wish as stored, on when none is; the desktop follows it where this copy may manage it.
        m_launchAtLogin->setChecked(LaunchAtLoginPreferenceManager::store(m_parts.defaults).load(true));
        connect(m_launchAtLogin, &QCheckBox::toggled, this, [this](bool on) { m_parts.setLaunchAtLogin(on); });
        list->addWidget(m_launchAtLogin);
    }
    if (m_parts.updater)
        list->addWidget(new UpdateSettingsSection(*m_parts.updater, sections));

    if (const QString file = m_parts.defaults.filePath(); !file.isEmpty()) {
        auto* where = SettingsStyle::caption(
            QStringLiteral("Velmora keeps its settings in %1.").arg(homeAbbreviated(file)), false, sections);
        where->setObjectName(QStringLiteral("settingsLocation"));
        where->setTextInteractionFlags(Qt::TextSelectableByMouse);
        list->addWidget(where);
    }
    list->addStretch(1);
    m_scroll->setWidget(sections);
    column->addWidget(m_scroll, 1);

    connect(m_autoCopy, &QCheckBox::toggled, &controller, &DictationController::setAutoCopyToClipboard);
    connect(m_durationWarnings, &QCheckBox::toggled, &controller, &DictationController::setDurationWarningsEnabled);
    connect(m_completionNotice, &QCheckBox::toggled, &controller,
            &DictationController::setNotifyOnTranscriptionComplete);
    connect(&controller, &DictationController::preferencesChanged, this, &SettingsView::refresh);
    connect(&controller, &DictationController::languageChanged, this, &SettingsView::refresh);
    connect(&controller, &DictationController::isRecordingChanged, this, &SettingsView::refresh);
    connect(&controller, &DictationController::isTranscribingChanged, this, &SettingsView::refresh);
    // Tabbing through the column brings each control into view.
    connect(qApp, &QApplication::focusChanged, this, [this, sections](QWidget*, QWidget* now) {
        if (now && sections->isAncestorOf(now))
            m_scroll->ensureWidgetVisible(now, 8, 24);
    });
    refresh();
}

SettingsView::~SettingsView()
{
    if (m_recorder->isRecording())
        m_recorder->cancelRecording();
}

void SettingsView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_recorder->isRecording())
        m_recorder->cancelRecording();
}

QWidget* SettingsView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("Settings"), header);
    title->setFont(SettingsStyle::font(font(), 15, QFont::DemiBold));
    row->addWidget(title);
    row->addStretch(1);
    auto* close = new QToolButton(header);
    close->setObjectName(QStringLiteral("settingsCloseButton"));
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::StrongFocus);
    close->setIcon(SymbolIcon::icon(Symbol::xmarkCircleFill, SettingsStyle::secondary(palette())));
    close->setIconSize(QSize(16, 16));
    close->setToolTip(QStringLiteral("Close settings"));
    close->setAccessibleName(QStringLiteral("Close settings"));
    connect(close, &QToolButton::clicked, this, &SettingsView::closeRequested);
    row->addWidget(close);
    return header;
}

QWidget* SettingsView::makeModeSection(QWidget* parent)
{
    auto* section = new QWidget(parent);
    section->setObjectName(QStringLiteral("modeSection"));
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Dictation Mode"), Symbol::waveform, section));
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    m_modes = new QButtonGroup(section);
    m_modes->setExclusive(false); // the chosen chip follows the stored mode, never a click alone
    for (const auto& [mode, title] : modeChips) {
        auto* chip = new SettingsChip(QString::fromLatin1(title),
                                      mode == DictationMode::batch ? Symbol::squareAndArrowDown : Symbol::waveform,
                                      section);
        chip->setObjectName(QStringLiteral("modeChip"));
        chip->setAccessibleName(QStringLiteral("Dictation mode: %1").arg(QString::fromLatin1(title)));
        m_modes->addButton(chip, int(mode));
        row->addWidget(chip);
    }
    column->addLayout(row);
    setFocusProxy(m_modes->buttons().first()); // opening the settings puts the keyboard here
    connect(m_modes, &QButtonGroup::idClicked, this,
            [this](int id) {
                m_parts.controller.setMode(DictationMode(id));
                refresh();
            });
    return section;
}

QWidget* SettingsView::makeLanguageSection(QWidget* parent)
{
    auto* section = new QWidget(parent);
    section->setObjectName(QStringLiteral("languageSection"));
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Language"), Symbol::globe, section));
    auto* grid = new QGridLayout;
    grid->setSpacing(6);
    m_languages = new QButtonGroup(section);
    m_languages->setExclusive(false); // a stored language outside the table lights no chip
    const QList<LanguageChoice>& choices = LanguageChoice::all();
    for (int index = 0; index < choices.size(); ++index) {
        auto* chip = new SettingsChip(choices[index].title, std::nullopt, section);
        chip->setObjectName(QStringLiteral("languageChip"));
        chip->setProperty("languageCode", choices[index].code);
        chip->setAccessibleName(QStringLiteral("Language: %1").arg(choices[index].title));
        m_languages->addButton(chip, index);
        grid->addWidget(chip, index / 5, index % 5);
    }
    column->addLayout(grid);
    connect(m_languages, &QButtonGroup::idClicked, this,
            [this](int index) {
                m_parts.controller.setLanguage(LanguageChoice::all().at(index).code);
                refresh();
            });
    return section;
}

QWidget* SettingsView::makeSoundSection(QWidget* parent)
{
    auto* section = new QWidget(parent);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    m_sound = SettingsStyle::toggle(QStringLiteral("Sound effects"), Symbol::speakerWave2,
                                    QStringLiteral("soundEffectsToggle"), section);
    column->addWidget(m_sound);
    m_volumeRow = new QWidget(section);
    auto* row = new QHBoxLayout(m_volumeRow);
    row->setContentsMargins(20, 0, 0, 0);
    const QColor tertiary = SettingsStyle::tertiary(palette());
    row->addWidget(symbolLabel(Symbol::speakerFill, tertiary, m_volumeRow));
    m_volume = new QSlider(Qt::Horizontal, m_volumeRow);
    m_volume->setObjectName(QStringLiteral("soundEffectsVolume"));
    m_volume->setAccessibleName(QStringLiteral("Sound effects volume"));
    m_volume->setRange(0, 100);
    m_volume->setPageStep(10);
    // Stored when the handle is let go, not at every pixel of the drag.
    m_volume->setTracking(false);
    row->addWidget(m_volume, 1);
    row->addWidget(symbolLabel(Symbol::speakerWave3Fill, tertiary, m_volumeRow));
    column->addWidget(m_volumeRow);
    connect(m_sound, &QCheckBox::toggled, &m_parts.controller, &DictationController::setSoundEffectsEnabled);
    connect(m_volume, &QSlider::valueChanged, this,
            [this](int value) { m_parts.controller.setSoundEffectsVolume(float(value) / 100.0f); });
    return section;
}

QWidget* SettingsView::makeAutoClearSection(QWidget* parent)
{
    auto* section = new QWidget(parent);
    auto* row = new QHBoxLayout(section);
    row->setContentsMargins(0, 0, 0, 0);
    m_autoClear = SettingsStyle::toggle(QStringLiteral("Auto-clear transcript"), Symbol::clockArrowCirclepath,
                                        QStringLiteral("autoClearToggle"), section);
    row->addWidget(m_autoClear);
    m_autoClearRow = new QWidget(section);
    auto* after = new QHBoxLayout(m_autoClearRow);
    after->setContentsMargins(0, 0, 0, 0);
    auto* word = new QLabel(QStringLiteral("after"), m_autoClearRow);
    word->setFont(SettingsStyle::font(font(), 11));
    after->addWidget(word);
    m_autoClearDelay = new QSpinBox(m_autoClearRow);
    m_autoClearDelay->setObjectName(QStringLiteral("autoClearDelay"));
    m_autoClearDelay->setAccessibleName(QStringLiteral("Clear after, in seconds"));
    m_autoClearDelay->setRange(3, 60);
    m_autoClearDelay->setSingleStep(1);
    m_autoClearDelay->setSuffix(QStringLiteral("s"));
    // A typed number is kept when it is complete, not digit by digit.
    m_autoClearDelay->setKeyboardTracking(false);
    after->addWidget(m_autoClearDelay);
    row->addWidget(m_autoClearRow);
    row->addStretch(1);
    connect(m_autoClear, &QCheckBox::toggled, &m_parts.controller, &DictationController::setAutoClearTranscript);
    connect(m_autoClearDelay, &QSpinBox::valueChanged, this,
            [this](int seconds) { m_parts.controller.setAutoClearDelay(seconds); });
    return section;
}

void SettingsView::refresh()
{
    const DictationController& controller = m_parts.controller;
    const bool busy = controller.isRecording() || controller.isTranscribing();
    for (QAbstractButton* chip : m_modes->buttons()) {
        chip->setChecked(m_modes->id(chip) == int(controller.mode()));
        chip->setEnabled(!busy);
    }
    const QString language = controller.configuration().language;
    for (QAbstractButton* chip : m_languages->buttons())
        chip->setChecked(chip->property("languageCode").toString() == language);

    const QSignalBlocker copyBlock(m_autoCopy), soundBlock(m_sound), volumeBlock(m_volume),
        warningsBlock(m_durationWarnings), noticeBlock(m_completionNotice), clearBlock(m_autoClear),
        delayBlock(m_autoClearDelay);
    m_autoCopy->setChecked(controller.autoCopyToClipboard());
    m_sound->setChecked(controller.soundEffectsEnabled());
    m_volumeRow->setVisible(controller.soundEffectsEnabled());
    if (!m_volume->isSliderDown())
        m_volume->setValue(int(std::lround(controller.soundEffectsVolume() * 100)));
    m_durationWarnings->setChecked(controller.durationWarningsEnabled());
    m_completionNotice->setChecked(controller.notifyOnTranscriptionComplete());
    m_autoClear->setChecked(controller.autoClearTranscript());
    m_autoClearRow->setVisible(controller.autoClearTranscript());
    m_autoClearDelay->setValue(int(controller.autoClearDelay()));
}

} // namespace velmora
