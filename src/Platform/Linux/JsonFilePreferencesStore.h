#pragma once

#include "../PreferencesStore.h"

#include <QJsonObject>
#include <QMutex>

#include <sys/stat.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora::platform {

// The preferences domain as one JSON object in a file. Every write goes to disk
// at once (re-read, change, temporary file, rename) under an advisory lock, so
// other processes and a user editing the file by hand are never overwritten
// with stale values. A file that does not parse reads as empty and is moved
// aside before the next write, never overwritten.
//
// Written behind, a change is readable at once and reaches the disk on a thread of
// its own, in the order made (a key changed again before its write goes once, with
// its last value); the caller never waits for the lock or the disk. A write that
// fails is logged there and the value still applies for the session.
class JsonFilePreferencesStore final : public PreferencesStore {
public:
    enum class Writes { immediate, behind };

    explicit JsonFilePreferencesStore(QString filePath, Writes writes = Writes::immediate);
    ~JsonFilePreferencesStore() override; // flushes

    // $XDG_CONFIG_HOME/Velmora/preferences.json
    static QString standardPath();
    // The process's store at the standard path, written behind, created on first use.
    static std::shared_ptr<JsonFilePreferencesStore> standard();
    // Waits until every change made so far is on disk (or its write failed).
    void flush();

    QString filePath() const override { return m_filePath; }

    std::optional<QJsonValue> object(const QString& key) const override;
    std::optional<PreferencesError> setObject(const QString& key, const QJsonValue& value) override;
    std::optional<PreferencesError> remove(const QString& key) override;

private:
    struct FileIdentity {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const FileIdentity& other) const;
    };

    FileIdentity currentIdentity() const;
    void reloadIfChanged() const;
    void reload(const FileIdentity& identity) const;
    std::optional<PreferencesError> update(const std::function<void(QJsonObject&)>& change);
    std::optional<PreferencesError> writeLocked();
    std::optional<PreferencesError> change(const QString& key, const std::optional<QJsonValue>& value);
    void writeBehind();

    const QString m_filePath;
    const Writes m_writes;
    // Changes on their way to the disk, by key, and the order their keys go in.
    struct Pending {
        std::optional<QJsonValue> value; // none: removed
        quint64 sequence = 0;
    };
    mutable std::mutex m_pendingLock;
    std::condition_variable m_wake, m_idle;
    std::map<QString, Pending> m_pending;
    std::deque<QString> m_queue;
    quint64 m_sequence = 0;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_writer;
    mutable QMutex m_mutex;
    mutable QJsonObject m_values;
    mutable bool m_broken = false;
    mutable FileIdentity m_identity;
    mutable bool m_loaded = false;
};

} // namespace velmora::platform
