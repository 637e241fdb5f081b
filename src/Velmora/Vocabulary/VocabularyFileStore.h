#pragma once

#include "VocabularyEntry.h"

#include <QJsonArray>
#include <QList>
#include <QString>

#include <optional>

namespace velmora::platform {
class PreferencesStore;
}

namespace velmora {

// The vocabulary file in the user's cloud folder, with the preferences as the
// local copy. The cloud file wins on load; a file that cannot be read is never
// written to; an identical list is not written again. Blocking file I/O: the
// sync layer calls it off the main thread.
class VocabularyFileStore {
public:
    enum class Status { synced, cloudUnavailable, fileUnreadable, downloading, writeFailed };

    // `cloudRoot`: none when no cloud folder is known.
    VocabularyFileStore(std::optional<QString> cloudRoot, platform::PreferencesStore& defaults);

    // velmora.cloudFolder when set, else the first existing of ~/Nextcloud,
    // ~/ownCloud, ~/Dropbox, ~/Sync, ~/OneDrive.
    static std::optional<QString> defaultCloudRoot(const platform::PreferencesStore& defaults);

    QList<VocabularyEntry> load();
    void save(const QList<VocabularyEntry>& entries);

    Status status() const { return m_status; }
    // A local edit that has not reached the cloud file yet; the next load or save writes it.
    bool hasUnwrittenEdit() const { return m_unwrittenEdit; }
    const std::optional<QList<VocabularyEntry>>& lastDelivered() const { return m_lastDelivered; }
    // Entries of the file read last that lie past the vocabulary's limits: kept in the file, not used.
    int unusedEntries() const { return m_unusedEntries; }
    const std::optional<QString>& cloudRoot() const { return m_cloudRoot; }
    bool isCloudUsable() const;
    QString folderPath() const;
    QString filePath() const;

    // A vocabulary file is a few kilobytes; anything far larger is not one.
    static constexpr qint64 maximumFileSize = 8 * 1024 * 1024;

private:
    enum class ReadKind { missing, unreadable, downloading, entries };
    struct FileRead {
        ReadKind kind;
        QList<VocabularyEntry> entries;
        QJsonArray unused;
    };

    static Status statusAfter(ReadKind kind);
    FileRead readFile() const;
    [[nodiscard]] bool write(const QList<VocabularyEntry>& entries, const QJsonArray& unused) const;
    void writeOrRemember(const QList<VocabularyEntry>& entries, const QJsonArray& unused = {});

    std::optional<QString> m_cloudRoot;
    platform::PreferencesStore& m_defaults;
    Status m_status = Status::synced;
    bool m_unwrittenEdit = false;
    std::optional<QList<VocabularyEntry>> m_lastDelivered;
    int m_unusedEntries = 0;
};

} // namespace velmora
