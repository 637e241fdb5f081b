#include "ContentViewDesk.h"

#include "TestSupport.h"

#include "Model/HttpWhisperModelTransport.h"
#include "Model/WhisperModelInstaller.h"
#include "Preferences/PreferenceKeys.h"

#include <gtest/gtest.h>

namespace velmora::test {

using namespace std::chrono_literals;
namespace Keys = PreferenceKeys;

void HeldRecorder::startRecording(const std::optional<AudioInputDevice>&, Completion done)
{
    ++starts;
    pendingStart = std::move(done);
}

void HeldRecorder::stopRecording(Completion done)
{
    ++stops;
    pendingStop = std::move(done);
}

ContentViewDesk::ContentViewDesk(Options options)
    : models(std::make_shared<WhisperModelInstaller>(PinnedWhisperModel::largeV3TurboQ5(), dir.path(),
                                                     std::make_shared<HttpWhisperModelTransport>()))
    , permission([] { return true; }, [] { return DoubleTapPermissionState::Settings{}; }, [] {})
{
    (void)defaults.setBool(Keys::notifyOnTranscriptionComplete, false);
    (void)defaults.setBool(Keys::autoClearTranscript, false);
    (void)defaults.setBool(Keys::directInsert, false);
    (void)defaults.setBool(Keys::autoCopyToClipboard, false);
    DictationServices services;
    services.defaults = &defaults;
    services.recorder = &recorder;
    services.produceSegment = [future = result](const QString&, const WhisperConfiguration&,
                                                const QList<VocabularyEntry>&,
                                                const std::shared_ptr<RunCancellation>&) { return future.get(); };
    services.removeFile = [](const QString&) {};
    services.clipboard = &clipboard;
    services.copyIndicatorTime = 300ms;
    services.managedModelPath = dir.path() + "/ggml-large-v3-turbo-q5_0.bin";
    services.modelState = [this] { return models.state(); };
    const QString model = options.managedModel ? services.managedModelPath : dir.path() + "/mine.bin";
    if (options.cloudFolder) {
        sync = std::make_unique<VocabularySync>(std::make_unique<VocabularyFileStore>(*options.cloudFolder, defaults),
                                                false);
        services.vocabularyChanged = [this](const QList<VocabularyEntry>& entries) { sync->vocabularyDidChange(entries); };
        services.refreshVocabulary = [this] { sync->refresh(); };
    }
    controller = std::make_unique<DictationController>(std::move(services), WhisperConfiguration{"/cli", model, "en"});
    if (sync)
        sync->onExternalChange = [this](const QList<VocabularyEntry>& entries) { controller->setVocabulary(entries); };
    view = std::make_unique<ContentView>(ContentView::Parts{*controller, defaults, devices, models,
                                                            PinnedWhisperModel::largeV3TurboQ5(), permission,
                                                            options.versionLabel, options.quit, options.checkForUpdates,
                                                            nullptr, sync.get(),
                                                            options.bridge, [this] { return canPostKeys; },
                                                            options.setLaunchAtLogin, options.updater});
    if (!options.show)
        return;
    view->show();
    view->activateWindow();
    EXPECT_TRUE(waitUntil([&] { return view->isActiveWindow(); }, 5s));
}

ContentViewDesk::~ContentViewDesk()
{
    // A transcription left waiting must end before the controller goes.
    try {
        answer.set_value(QString());
    } catch (const std::future_error&) {
    }
    view.reset();
    if (sync)
        sync->onExternalChange = {};
    controller.reset();
    sync.reset();
}

bool ContentViewDesk::visible(const char* name) const
{
    QWidget* widget = find<QWidget>(name);
    return widget && widget->isVisible();
}

} // namespace velmora::test
