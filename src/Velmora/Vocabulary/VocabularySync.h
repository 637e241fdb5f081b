#pragma once

#include "VocabularyEntry.h"
#include "VocabularyFileStore.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace velmora {

// Keeps the application's vocabulary and the cloud file in step: edits are
// saved 0.5 s after the last one, outside changes are picked up by a folder
// watcher. State lives on the main thread; every file access runs on one
// worker thread, one at a time, and reports back through a queued call.
class VocabularySync final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString hint READ hintText NOTIFY hintChanged)

public:
    struct Timing {
        std::chrono::milliseconds saveDelay{500};
        std::chrono::milliseconds watchSettle{100};
    };

    // The store is used on the worker thread only from here on.
    explicit VocabularySync(std::unique_ptr<VocabularyFileStore> store, bool observeApplication = true,
                            QObject* parent = nullptr);
    VocabularySync(std::unique_ptr<VocabularyFileStore> store, bool observeApplication, Timing timing,
                   QObject* parent = nullptr);
    // Saves a pending edit and waits for the file work to end.
    ~VocabularySync() override;

    // Lists that came from the file (or the local copy at the first refresh).
    std::function<void(const QList<VocabularyEntry>&)> onExternalChange;

    void vocabularyDidChange(const QList<VocabularyEntry>& entries);
    void refresh();
    // Saves a pending edit now; with wait, returns when it is on disk.
    void flush(bool wait = false);
    // Calls `then` on the main thread, while `context` lives, once the file work asked
    // for so far has ended and its lists have been handed on.
    void whenCurrent(QObject* context, std::function<void()> then);

    std::optional<QString> hint() const { return m_hint; }
    QString hintText() const { return m_hint.value_or(QString()); }
    bool hasPendingEdit() const { return m_pending.has_value(); }
    bool isWatching() const { return m_watcher != nullptr; }

    static std::optional<QString> hintFor(VocabularyFileStore::Status status, int unusedEntries = 0);

    // What one piece of file work found, carried back to the main thread.
    struct Outcome {
        VocabularyFileStore::Status status;
        std::optional<QList<VocabularyEntry>> lastDelivered;
        QList<VocabularyEntry> loaded;
        QString folder;
        bool cloudUsable;
        int unusedEntries = 0;
    };

signals:
    void hintChanged();
    // After every finished load or save; for observers and tests.
    void fileWorkFinished();

private:
    void runOnWorker(std::function<Outcome(VocabularyFileStore&)> job, std::function<void(const Outcome&)> then);
    void applyOutcome(const Outcome& outcome);
    void watchFolderIfPossible(const Outcome& outcome);
    void rearmWatcher();

    std::shared_ptr<VocabularyFileStore> m_store;
    Timing m_timing;
    QThreadPool m_worker;
    std::optional<QString> m_hint;
    std::optional<QList<VocabularyEntry>> m_lastDelivered;
    std::optional<QList<VocabularyEntry>> m_pending;
    // Counts local edits, so a read can tell that one came after it began.
    quint64 m_editGeneration = 0;
    QTimer* m_saveTimer = nullptr;
    QTimer* m_settleTimer = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QString m_watchedFile;
};

} // namespace velmora
