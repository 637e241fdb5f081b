#include "VocabularyFileStore.h"

#include "VocabularyStore.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/Linux/AtomicFile.h"
#include "Platform/Linux/CappedFileRead.h"
#include "Platform/Linux/XdgPaths.h"
#include "Platform/LogCategories.h"
#include "Platform/PreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <chrono>

namespace velmora {

namespace {

bool isFolder(const QString& path)
{
    return QFileInfo(path).isDir();
}

} // namespace

VocabularyFileStore::VocabularyFileStore(std::optional<QString> cloudRoot, platform::PreferencesStore& defaults)
    : m_cloudRoot(std::move(cloudRoot))
    , m_defaults(defaults)
{
}

std::optional<QString> VocabularyFileStore::defaultCloudRoot(const platform::PreferencesStore& defaults)
{
    if (const auto chosen = defaults.stringValue(PreferenceKeys::cloudFolder); chosen && !chosen->isEmpty())
        return *chosen;
    const QString home = platform::XdgPaths::home();
    for (const char* name : {"Nextcloud", "ownCloud", "Dropbox", "Sync", "OneDrive"}) {
        const QString candidate = home + QLatin1Char('/') + QLatin1String(name);
        if (isFolder(candidate))
            return candidate;
    }
    return std::nullopt;
}

bool VocabularyFileStore::isCloudUsable() const
{
    return m_cloudRoot && isFolder(*m_cloudRoot);
}

QString VocabularyFileStore::folderPath() const
{
    return m_cloudRoot.value_or(QString()) + QStringLiteral("/Velmora");
}

QString VocabularyFileStore::filePath() const
{
    return folderPath() + QStringLiteral("/vocabulary.json");
}

VocabularyFileStore::Status VocabularyFileStore::statusAfter(ReadKind kind)
{
    switch (kind) {
    case ReadKind::unreadable:
        return Status::fileUnreadable;
    case ReadKind::downloading:
        return Status::downloading;
    case ReadKind::missing:
    case ReadKind::entries:
        return Status::synced;
    }
    return Status::synced;
}

QList<VocabularyEntry> VocabularyFileStore::load()
{
    const QList<VocabularyEntry> local = VocabularyStore::load(m_defaults);
    QList<VocabularyEntry> result = local;
    if (!isCloudUsable()) {
        m_status = Status::cloudUnavailable;
        m_unusedEntries = 0;
    } else {
        const FileRead read = readFile();
        m_status = statusAfter(read.kind);
        m_unusedEntries = int(read.unused.size());
        const bool writable = read.kind == ReadKind::missing || read.kind == ReadKind::entries;
        if (writable && m_unwrittenEdit) {
            // The cloud file is older than an edit it never received: the edit wins.
            if (read.kind == ReadKind::missing || read.entries != local)
                writeOrRemember(local, read.unused);
            else
                m_unwrittenEdit = false;
        } else if (read.kind == ReadKind::missing && !local.isEmpty()) {
            writeOrRemember(local); // the cloud file starts from the local copy
        } else if (read.kind == ReadKind::entries) {
            // The cloud file wins over the local copy.
            VocabularyStore::save(read.entries, m_defaults);
            result = read.entries;
        }
    }
    m_lastDelivered = result;
    return result;
}

void VocabularyFileStore::save(const QList<VocabularyEntry>& entries)
{
    VocabularyStore::save(entries, m_defaults);
    m_lastDelivered = entries;
    if (!isCloudUsable()) {
        m_status = Status::cloudUnavailable;
        m_unusedEntries = 0;
        return;
    }
    // An unreadable file is never written over, nor one still downloading; an identical list is not rewritten.
    const FileRead read = readFile();
    m_status = statusAfter(read.kind);
    m_unusedEntries = int(read.unused.size());
    if (read.kind == ReadKind::missing || (read.kind == ReadKind::entries && read.entries != entries))
        writeOrRemember(entries, read.unused);
    else if (read.kind == ReadKind::entries)
        m_unwrittenEdit = false;
}

void VocabularyFileStore::writeOrRemember(const QList<VocabularyEntry>& entries, const QJsonArray& unused)
{
    m_unwrittenEdit = !write(entries, unused);
    if (m_unwrittenEdit)
        m_status = Status::writeFailed;
}

VocabularyFileStore::FileRead VocabularyFileStore::readFile() const
{
    // A sync client's placeholder for a file still in the cloud: it arrives by itself.
    for (const char* placeholder : {"/vocabulary.json.nextcloud", "/vocabulary.json.owncloud"}) {
        if (QFileInfo::exists(folderPath() + QLatin1String(placeholder)))
            return {ReadKind::downloading, {}};
    }
    using platform::CappedFileRead::Failure;
    // A sync client holds its lock briefly; never wait on it for long.
    const auto read = platform::CappedFileRead::read(filePath(), maximumFileSize, std::chrono::seconds(2));
    if (const auto* failure = std::get_if<Failure>(&read)) {
        if (failure->kind == Failure::Kind::missing)
            return {ReadKind::missing, {}};
        qCCritical(velmora::logging::vocabulary, "Cannot read %s: %s", qUtf8Printable(filePath()),
                   qUtf8Printable(failure->description()));
        return {ReadKind::unreadable, {}};
    }
    const QByteArray& bytes = std::get<QByteArray>(read);
    if (bytes.isEmpty()) {
        qCCritical(velmora::logging::vocabulary, "Cannot read %s: %s", qUtf8Printable(filePath()), "no data");
        return {ReadKind::unreadable, {}};
    }

    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(bytes);
    if (utf8.hasError()) {
        qCCritical(velmora::logging::vocabulary, "Malformed vocabulary file, keeping local copy: %s", "not UTF-8 text");
        return {ReadKind::unreadable, {}};
    }
    const auto decoded = VocabularyStore::decodeWithinLimits(bytes);
    if (!decoded) {
        qCCritical(velmora::logging::vocabulary, "Malformed vocabulary file, keeping local copy: %s",
                   "not a JSON array of complete entries");
        return {ReadKind::unreadable, {}};
    }
    return {ReadKind::entries, decoded->used, decoded->unused};
}

bool VocabularyFileStore::write(const QList<VocabularyEntry>& entries, const QJsonArray& unused) const
{
    QByteArray bytes = VocabularyStore::encode(entries, true, unused);
    // Indented for people to read, unless that makes a file too large to be read back.
    if (bytes.size() >= maximumFileSize)
        bytes = VocabularyStore::encode(entries, false, unused);
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    const auto fail = [](const char* why) {
        qCCritical(velmora::logging::vocabulary, "Cannot write vocabulary file: %s", why);
        return false;
    };
    if (!QDir().mkpath(folderPath()))
        return fail("the folder cannot be created");
    // Written beside the file and renamed over it, so a sync client never sees half a file.
    if (const auto error = platform::AtomicFile::write(filePath(), bytes, 0644))
        return fail(qUtf8Printable(error->description()));
    return true;
}

} // namespace velmora
