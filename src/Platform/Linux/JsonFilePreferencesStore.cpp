#include "JsonFilePreferencesStore.h"

#include "Platform/LogCategories.h"

#include "AtomicFile.h"
#include "CappedFileRead.h"
#include "FileDescriptor.h"
#include "FileLock.h"
#include "XdgPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>

namespace velmora::platform {

namespace {

// Larger than any real preferences file; a bigger one is treated as damaged
// rather than read into memory.
constexpr qint64 maximumFileSize = 32 * 1024 * 1024;

} // namespace

bool JsonFilePreferencesStore::FileIdentity::operator==(const FileIdentity& other) const
{
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size
           && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

JsonFilePreferencesStore::JsonFilePreferencesStore(QString filePath, Writes writes)
    : m_filePath(std::move(filePath))
    , m_writes(writes)
{
}

JsonFilePreferencesStore::~JsonFilePreferencesStore()
{
    {
        std::lock_guard guard(m_pendingLock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable())
        m_writer.join(); // it writes what is queued before it ends
}

void JsonFilePreferencesStore::flush()
{
    std::unique_lock lock(m_pendingLock);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_writing; });
}

std::optional<PreferencesError> JsonFilePreferencesStore::change(const QString& key, const std::optional<QJsonValue>& value)
{
    if (m_writes == Writes::immediate)
        return update([&](QJsonObject& values) { value ? (void)values.insert(key, *value) : values.remove(key); });
    {
        std::lock_guard guard(m_pendingLock);
        const bool queued = std::find(m_queue.begin(), m_queue.end(), key) != m_queue.end();
        m_pending[key] = Pending{value, ++m_sequence};
        if (!queued)
            m_queue.push_back(key);
        if (!m_writer.joinable())
            m_writer = std::thread([this] { writeBehind(); });
    }
    m_wake.notify_all();
    return std::nullopt;
}

void JsonFilePreferencesStore::writeBehind()
{
    std::unique_lock lock(m_pendingLock);
    while (true) {
        if (m_queue.empty()) {
            m_idle.notify_all();
            if (m_stopping)
                return;
            m_wake.wait(lock);
            continue;
        }
        const QString key = m_queue.front();
        m_queue.pop_front();
        const Pending pending = m_pending.at(key);
        m_writing = true;
        lock.unlock();
        // A failure is logged by update(), and the value stays for the session.
        (void)update([&](QJsonObject& values) {
            pending.value ? (void)values.insert(key, *pending.value) : values.remove(key);
        });
        lock.lock();
        m_writing = false;
        // Changed again meanwhile: that change is queued and keeps its entry.
        if (m_pending.at(key).sequence == pending.sequence)
            m_pending.erase(key);
    }
}

QString JsonFilePreferencesStore::standardPath()
{
    return XdgPaths::configHome() + QStringLiteral("/Velmora/preferences.json");
}

std::shared_ptr<JsonFilePreferencesStore> JsonFilePreferencesStore::standard()
{
    static const auto store = std::make_shared<JsonFilePreferencesStore>(standardPath(), Writes::behind);
    return store;
}

JsonFilePreferencesStore::FileIdentity JsonFilePreferencesStore::currentIdentity() const
{
    struct stat info {};
    if (::stat(m_filePath.toLocal8Bit().constData(), &info) != 0)
        return {};
    return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

void JsonFilePreferencesStore::reloadIfChanged() const
{
    const FileIdentity identity = currentIdentity();
    if (!m_loaded || !(identity == m_identity))
        reload(identity);
}

void JsonFilePreferencesStore::reload(const FileIdentity& identity) const
{
    m_loaded = true;
    m_identity = identity;
    m_values = {};
    m_broken = false;
    if (!identity.exists)
        return;
    const auto read = CappedFileRead::read(m_filePath, maximumFileSize);
    if (const auto* failure = std::get_if<CappedFileRead::Failure>(&read)) {
        // Gone since it was looked at: nothing to keep out of the way.
        if (failure->kind == CappedFileRead::Failure::Kind::missing)
            return;
        qCWarning(velmora::logging::preferences).noquote() << m_filePath << "is not a readable preferences file; using defaults:"
                                           << failure->description();
        // What cannot be read cannot be merged: keep it out of the next write's way.
        m_broken = true;
        return;
    }
    const QByteArray& bytes = std::get<QByteArray>(read);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qCWarning(velmora::logging::preferences) << m_filePath << "does not hold a JSON object; using defaults until the next change"
                                 << error.errorString();
        m_broken = true;
        return;
    }
    m_values = document.object();
}

std::optional<QJsonValue> JsonFilePreferencesStore::object(const QString& key) const
{
    {
        // A change on its way to the disk is what the store holds.
        std::lock_guard guard(m_pendingLock);
        if (const auto it = m_pending.find(key); it != m_pending.end())
            return it->second.value;
    }
    QMutexLocker lock(&m_mutex);
    reloadIfChanged();
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<PreferencesError> JsonFilePreferencesStore::setObject(const QString& key, const QJsonValue& value)
{
    return change(key, value);
}

std::optional<PreferencesError> JsonFilePreferencesStore::remove(const QString& key)
{
    return change(key, std::nullopt);
}

std::optional<PreferencesError> JsonFilePreferencesStore::update(const std::function<void(QJsonObject&)>& change)
{
    QMutexLocker lock(&m_mutex);
    const QString folder = QFileInfo(m_filePath).absolutePath();
    std::optional<PreferencesError> error;
    if (!QDir().mkpath(folder)) {
        error = PreferencesError::folderUnavailable;
    } else {
        // Another writer holds the lock only for one small write.
        FileDescriptor lockFile(::open((m_filePath + QStringLiteral(".lock")).toLocal8Bit().constData(),
                                       O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!lockFile || FileLock::lock(lockFile.get(), FileLock::Kind::exclusive, std::chrono::seconds(2))) {
            error = PreferencesError::lockUnavailable;
        } else {
            // Start from what is on disk now: another process may have written since our last read.
            reload(currentIdentity());
            const QJsonObject before = m_values;
            change(m_values);
            // A change that changes nothing is not written: the file, even a damaged one, stays as it is.
            if (m_values != before)
                error = writeLocked();
            // Closing the descriptor releases the lock.
        }
    }
    if (error) {
        // Keep the value for this session; persistence is what failed.
        reloadIfChanged();
        change(m_values);
        qCWarning(velmora::logging::preferences).noquote() << describe(*error) << m_filePath;
    }
    return error;
}

std::optional<PreferencesError> JsonFilePreferencesStore::writeLocked()
{
    const QByteArray path = m_filePath.toLocal8Bit();
    if (m_broken && m_identity.exists) {
        const QString aside = m_filePath + QStringLiteral(".broken-")
                              + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'"));
        // link + unlink never replaces an existing file of the same name.
        if (::link(path.constData(), aside.toLocal8Bit().constData()) != 0
            || ::unlink(path.constData()) != 0) {
            qCWarning(velmora::logging::preferences) << "cannot move the damaged preferences file aside:" << ::strerror(errno);
            return PreferencesError::writeFailed;
        }
        qCWarning(velmora::logging::preferences) << "moved the damaged preferences file to" << aside;
        m_broken = false;
    }

    if (AtomicFile::write(m_filePath, QJsonDocument(m_values).toJson(QJsonDocument::Indented), 0600))
        return PreferencesError::writeFailed;
    m_identity = currentIdentity();
    return std::nullopt;
}

} // namespace velmora::platform
