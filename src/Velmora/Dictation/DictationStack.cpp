#include "DictationStack.h"

#include "RuntimeRestore.h"
#include "SegmentProducer.h"

#include "Audio/AudioDeviceManager.h"
#include "Audio/AudioRecorderService.h"
#include "Audio/SDL2DeviceLookup.h"
#include "Audio/SoundEffectService.h"
#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperStreamTranscriber.h"
#include "Engine/WhisperTranscriber.h"
#include "Engine/WhisperWarmUp.h"
#include "Model/HttpWhisperModelTransport.h"
#include "Model/PinnedWhisperModel.h"
#include "Model/WhisperModelInstaller.h"
#include "Model/WhisperModelManager.h"
#include "Preferences/AppPreferences.h"
#include "Paths/VelmoraPaths.h"
#include "TextDelivery/DirectInserter.h"
#include "TextDelivery/OwnApplicationFocus.h"
#include "TextDelivery/SelectionOwnerPasteboard.h"
#include "TextDelivery/SystemPasteboard.h"
#include "TextDelivery/TranscriptionNotificationService.h"
#include "Vocabulary/VocabularyFileStore.h"
#include "Vocabulary/VocabularyStore.h"
#include "Vocabulary/VocabularySync.h"

#include "Platform/LogCategories.h"
#include "Platform/TextDelivery.h"
#include "Preferences/PreferenceKeys.h"

#include <QFile>
#include <QFileInfo>

namespace velmora {

DictationStack::DictationStack(std::shared_ptr<platform::PreferencesStore> defaults, const QString& temporaryFolder,
                               const QString& soundsFolder, const platform::MainBundle& bundle)
    : m_defaults(std::move(defaults))
{
    platform::PreferencesStore& store = *m_defaults;
    m_devices = std::make_unique<AudioDeviceManager>(store);
    m_recorder = std::make_unique<AudioRecorderService>(temporaryFolder);
    m_transcriber = std::make_shared<WhisperTranscriber>(temporaryFolder);
    m_warmUp = std::make_unique<WhisperWarmUp>(temporaryFolder);
    platform::TextDelivery::prepareFrontmostApplication();
    platform::TextDelivery::prepareKeyInjection(
        [defaults = m_defaults] { return defaults->stringValue(PreferenceKeys::remoteDesktopRestoreToken).value_or(QString()); },
        [defaults = m_defaults](const QString& token) {
            if (defaults->setString(PreferenceKeys::remoteDesktopRestoreToken, token))
                qCWarning(logging::preferences) << "the desktop's permission to send keys was not saved";
        });
    if (std::shared_ptr<platform::SelectionOwner> owner = platform::TextDelivery::selectionOwner()) {
        std::shared_ptr<platform::SelectionReader> reader = platform::TextDelivery::selectionReader();
        m_clipboard = std::make_unique<SelectionOwnerPasteboard>(platform::Selection::clipboard, owner, reader);
        m_primary = std::make_unique<SelectionOwnerPasteboard>(platform::Selection::primary, owner, reader);
    } else {
        m_clipboard = std::make_unique<SystemPasteboard>(platform::Selection::clipboard);
        m_primary = std::make_unique<SystemPasteboard>(platform::Selection::primary);
    }
    m_inserter = std::make_unique<DirectInserter>(*m_clipboard, *m_primary, DirectInserter::Paster{},
                                                  DirectInserter::FrontmostLookup{},
                                                  AppPreferences(store).terminalWindowClasses());
    m_sounds = std::make_unique<SoundEffectService>(soundsFolder, store);
    m_notices = std::make_unique<TranscriptionNotificationService>();
    m_models = std::make_unique<WhisperModelManager>(std::make_shared<WhisperModelInstaller>(
        PinnedWhisperModel::largeV3TurboQ5(), VelmoraPaths::modelsFolder(), std::make_shared<HttpWhisperModelTransport>()));
    m_vocabulary = std::make_unique<VocabularySync>(
        std::make_unique<VocabularyFileStore>(VocabularyFileStore::defaultCloudRoot(store), store));

    const QString managed = VelmoraPaths::managedModelPath();
    DictationServices services;
    services.defaults = &store;
    services.recorder = m_recorder.get();
    services.captureDevice = [devices = m_devices.get()] { return devices->activeCaptureDevice(); };
    services.produceSegment = defaultSegmentProducer(m_transcriber);
    services.cancelWarmUp = [warmUp = m_warmUp.get()] { warmUp->cancel(); };
    services.startWarmUpOnce = [warmUp = m_warmUp.get()](const WhisperConfiguration& c) { (void)warmUp->startOnce(c); };
    services.inserter = m_inserter.get();
    services.clipboard = m_clipboard.get();
    services.canPostKeys = &DictationStack::canPostKeys;
    services.frontmost = &platform::TextDelivery::currentFrontmostApplication;
    services.ownFocus = &ownApplicationHasFocus;
    services.logger = DictationActivationEventLogger::standard();
    services.notices = m_notices.get();
    services.playSound = [sounds = m_sounds.get()](DictationSound sound) {
        sound == DictationSound::start ? sounds->playStartSound() : sounds->playStopSound();
    };
    services.setSoundVolume = [sounds = m_sounds.get()](float volume) { sounds->setVolume(volume); };
    services.managedModelPath = managed;
    services.modelState = [models = m_models.get()] { return models->state(); };
    services.downloadModel = [models = m_models.get()] { models->download(); };
    services.onModelStateChanged = [models = m_models.get()](QObject* context, std::function<void()> changed) {
        return QObject::connect(models, &WhisperModelManager::stateChanged, context, std::move(changed));
    };
    services.restoredRuntime = [bundle, managed](const WhisperConfiguration& current) {
        return restoredRuntime(current, managed, BundledWhisperRuntime::current(bundle));
    };
    services.removeFile = [](const QString& path) { QFile::remove(path); };
    services.vocabularyChanged = [sync = m_vocabulary.get()](const QList<VocabularyEntry>& entries) {
        sync->vocabularyDidChange(entries);
    };
    services.refreshVocabulary = [sync = m_vocabulary.get()] { sync->refresh(); };
    services.whenVocabularyCurrent = [sync = m_vocabulary.get()](QObject* context, std::function<void()> then) {
        sync->whenCurrent(context, std::move(then));
    };
    // The local copy is there at once; the file, read off the main thread from launch on,
    // replaces it when it differs, and the first transcription waits for that answer.
    services.loadVocabulary = [&store] { return VocabularyStore::load(store); };
    services.makeStream = [] { return std::make_unique<WhisperStreamTranscriber>(); };
    services.streamExecutable = [bundle]() -> std::optional<QString> {
        const auto runtime = BundledWhisperRuntime::current(bundle);
        return runtime ? runtime->streamExecutablePath : std::nullopt;
    };
    services.captureDeviceIndex = [devices = m_devices.get()](const QString& streamExecutable) -> std::optional<int> {
        const auto device = devices->activeCaptureDevice();
        if (!device)
            return std::nullopt;
        return SDL2DeviceLookup::captureDeviceIndex(
            device->name, QFileInfo(streamExecutable).absolutePath() + QStringLiteral("/libSDL2-2.0.so.0"));
    };

    m_controller = std::make_unique<DictationController>(
        std::move(services), WhisperConfiguration::defaultConfiguration(store, managed, bundle));
    // A change made to the file elsewhere replaces the list; handed back, it is not written again.
    m_vocabulary->onExternalChange = [controller = m_controller.get()](const QList<VocabularyEntry>& entries) {
        controller->setVocabulary(entries);
    };
    m_vocabulary->refresh();
}

DictationStack::~DictationStack()
{
    m_vocabulary->onExternalChange = {};
    m_controller.reset();
}

bool DictationStack::canPostKeys()
{
    return platform::TextDelivery::keyInjector()->canPost();
}

} // namespace velmora
