#include "VocabularySync.h"

#include "VocabularyStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QLocale>
#include <QPointer>
#include <QTimer>

namespace velmora {

VocabularySync::VocabularySync(std::unique_ptr<VocabularyFileStore> store, bool observeApplication, QObject* parent)
    : VocabularySync(std::move(store), observeApplication, Timing{}, parent)
{
}

VocabularySync::VocabularySync(std::unique_ptr<VocabularyFileStore> store, bool observeApplication, Timing timing,
                               QObject* parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_timing(timing)
{
    m_worker.setMaxThreadCount(1);
    m_worker.setExpiryTimeout(-1);

    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(m_timing.saveDelay);
    connect(m_saveTimer, &QTimer::timeout, this, [this] { flush(); });

    // A sync client touches the folder several times per change; settle first, then read once.
    m_settleTimer = new QTimer(this);
    m_settleTimer->setSingleShot(true);
    m_settleTimer->setInterval(m_timing.watchSettle);
    connect(m_settleTimer, &QTimer::timeout, this, &VocabularySync::refresh);

    if (observeApplication && QCoreApplication::instance()) {
        // A pending edit must reach the disk even when the user quits right after typing.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { flush(true); });
        if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            connect(gui, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    refresh();
            });
        }
    }
}

VocabularySync::~VocabularySync()
{
    flush(true);
    m_worker.waitForDone();
}

std::optional<QString> VocabularySync::hintFor(VocabularyFileStore::Status status, int unusedEntries)
{
    switch (status) {
    case VocabularyFileStore::Status::synced:
        if (unusedEntries > 0) {
            const VocabularyStore::Limits limits;
            return QStringLiteral("%1 of Velmora/vocabulary.json's entries are not used: Velmora uses at most %2 "
                                  "words, each up to %3 characters with at most %4 misspellings. They stay in the file.")
                .arg(QLocale().toString(unusedEntries), QLocale().toString(limits.entries))
                .arg(limits.characters)
                .arg(limits.variants);
        }
        return std::nullopt;
    case VocabularyFileStore::Status::cloudUnavailable:
        return QStringLiteral("Cloud folder not available — vocabulary stays on this computer.");
    case VocabularyFileStore::Status::fileUnreadable:
        return QStringLiteral(
            "Velmora/vocabulary.json in the cloud folder is unreadable — using the local copy, file left untouched.");
    case VocabularyFileStore::Status::downloading:
        return QStringLiteral("Waiting for the cloud folder to download the vocabulary…");
    case VocabularyFileStore::Status::writeFailed:
        return QStringLiteral(
            "Could not write Velmora/vocabulary.json in the cloud folder — changes kept on this computer.");
    }
    return std::nullopt;
}

void VocabularySync::runOnWorker(std::function<Outcome(VocabularyFileStore&)> job,
                                 std::function<void(const Outcome&)> then)
{
    m_worker.start([this, store = m_store, job = std::move(job), then = std::move(then)] {
        const Outcome outcome = job(*store);
        // The destructor waits for this worker, so `this` is alive here; a
        // result that arrives after it is gone is dropped with the object.
        QMetaObject::invokeMethod(this, [this, outcome, then] {
            then(outcome);
            emit fileWorkFinished();
        }, Qt::QueuedConnection);
    });
}

namespace {

VocabularySync::Outcome outcomeOf(const VocabularyFileStore& store, QList<VocabularyEntry> loaded = {})
{
    return {store.status(), store.lastDelivered(), std::move(loaded), store.folderPath(), store.isCloudUsable(),
            store.unusedEntries()};
}

} // namespace

void VocabularySync::vocabularyDidChange(const QList<VocabularyEntry>& entries)
{
    // The list that came from the file, or was already saved, goes nowhere.
    if (m_lastDelivered && *m_lastDelivered == entries && !m_pending)
        return;
    m_pending = entries;
    ++m_editGeneration;
    m_saveTimer->start();
}

void VocabularySync::flush(bool wait)
{
    m_saveTimer->stop();
    if (!m_pending)
        return;
    const QList<VocabularyEntry> entries = *std::exchange(m_pending, std::nullopt);
    m_lastDelivered = entries;
    runOnWorker(
        [entries](VocabularyFileStore& store) {
            store.save(entries);
            return outcomeOf(store);
        },
        [this](const Outcome& outcome) { applyOutcome(outcome); });
    if (wait)
        m_worker.waitForDone();
}

void VocabularySync::refresh()
{
    if (m_pending)
        return;
    const quint64 generation = m_editGeneration;
    runOnWorker(
        [](VocabularyFileStore& store) {
            QList<VocabularyEntry> loaded = store.load();
            if (store.isCloudUsable())
                QDir().mkpath(store.folderPath());
            return outcomeOf(store, std::move(loaded));
        },
        [this, generation](const Outcome& outcome) {
            // An edit made after the read began is newer than what it found, even once saved.
            if (m_pending || generation != m_editGeneration)
                return;
            const bool isNew = !m_lastDelivered || *m_lastDelivered != outcome.loaded;
            applyOutcome(outcome);
            if (isNew && onExternalChange)
                onExternalChange(outcome.loaded);
        });
}

void VocabularySync::whenCurrent(QObject* context, std::function<void()> then)
{
    // One worker, first come first served, and its results come back in the order they
    // were posted: this one arrives after every read that was asked for before it.
    m_worker.start([this, context = QPointer<QObject>(context), then = std::move(then)] {
        QMetaObject::invokeMethod(this, [context, then] {
            if (context)
                then();
        }, Qt::QueuedConnection);
    });
}

void VocabularySync::applyOutcome(const Outcome& outcome)
{
    if (!m_pending)
        m_lastDelivered = outcome.lastDelivered;
    const auto hint = hintFor(outcome.status, outcome.unusedEntries);
    if (hint != m_hint) {
        m_hint = hint;
        emit hintChanged();
    }
    watchFolderIfPossible(outcome);
    rearmWatcher();
}

void VocabularySync::watchFolderIfPossible(const Outcome& outcome)
{
    if (m_watcher || !outcome.cloudUsable || !QFileInfo(outcome.folder).isDir())
        return;
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(outcome.folder);
    m_watchedFile = outcome.folder + QStringLiteral("/vocabulary.json");
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_settleTimer->start(); });
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        rearmWatcher();
        m_settleTimer->start();
    });
}

void VocabularySync::rearmWatcher()
{
    // A rename replaces the file, and the watch on the old one ends with it.
    if (m_watcher && !m_watcher->files().contains(m_watchedFile) && QFileInfo::exists(m_watchedFile))
        m_watcher->addPath(m_watchedFile);
}

} // namespace velmora
