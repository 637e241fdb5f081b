#pragma once

#include "../PreferencesStore.h"

#include <QJsonObject>
#include <QMutex>

#include <sys/stat.h>

#include <functional>
#include <memory>

namespace velmora::platform {

// The preferences domain as one JSON object in a file. Every write goes to disk
// at once (re-read, change, temporary file, rename) under an advisory lock, so
// other processes and a user editing the file by hand are never overwritten
// with stale values. A file that does not parse reads as empty and is moved
// aside before the next write, never overwritten.
class JsonFilePreferencesStore final : public PreferencesStore {
public:
    explicit JsonFilePreferencesStore(QString filePath);

    // $XDG_CONFIG_HOME/Velmora/preferences.json
    static QString standardPath();
    // The process's store at the standard path, created on first use.
    static std::shared_ptr<JsonFilePreferencesStore> standard();

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

    const QString m_filePath;
    mutable QMutex m_mutex;
    mutable QJsonObject m_values;
    mutable bool m_broken = false;
    mutable FileIdentity m_identity;
    mutable bool m_loaded = false;
};

} // namespace velmora::platform
