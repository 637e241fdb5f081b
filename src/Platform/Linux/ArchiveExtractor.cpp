#include "ArchiveExtractor.h"

#include "FileDescriptor.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::platform {

QString ArchiveExtractionError::description() const
{
    switch (kind) {
    case Kind::unreadable:
        return QStringLiteral("The update archive could not be read: ") + detail;
    case Kind::unsafeEntry:
        return QStringLiteral("The update archive holds an entry Velmora does not unpack: ") + detail;
    case Kind::outsideFolder:
        return QStringLiteral("The update archive holds a path outside its folder: ") + detail;
    case Kind::noSpace:
        return QStringLiteral("There is not enough disk space to unpack the update.");
    case Kind::writeFailed:
        return QStringLiteral("The update could not be unpacked: ") + detail;
    case Kind::tooLarge:
        return QStringLiteral("The update archive unpacks to more than an update can be; it was not unpacked.");
    }
    return detail;
}

namespace {

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

// A relative path of plain names inside `topFolder`; ".." and "." never pass.
bool staysInside(const QString& path, const QString& topFolder)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.first() != topFolder)
        return false;
    return !parts.contains(QStringLiteral("..")) && !parts.contains(QStringLiteral("."));
}

// A link's target, taken from the link's own folder, must stay inside too. It never climbs: a
// parent step may pass through another link (`t -> s/..` with `s -> .`), which the text cannot show.
bool linkStaysInside(const QString& linkPath, const QString& target, const QString& topFolder)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/'))
        || target.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return false;
    const QString folder = linkPath.section(QLatin1Char('/'), 0, -2);
    const QString resolved = QDir::cleanPath(folder + QLatin1Char('/') + target);
    return resolved == topFolder || resolved.startsWith(topFolder + QLatin1Char('/'));
}

ArchiveExtractionError writeError(archive* writer)
{
    const int code = archive_errno(writer);
    if (code == ENOSPC || code == EDQUOT)
        return {ArchiveExtractionError::Kind::noSpace, {}};
    return {ArchiveExtractionError::Kind::writeFailed, QString::fromLocal8Bit(archive_error_string(writer))};
}

} // namespace

std::variant<QString, ArchiveExtractionError> ArchiveExtractor::extract(const QString& archivePath,
                                                                       const QString& destination,
                                                                       const QString& topFolder, Limits limits)
{
    const FileDescriptor archiveFile(::open(QFile::encodeName(archivePath).constData(), O_RDONLY | O_CLOEXEC));
    if (!archiveFile)
        return ArchiveExtractionError{ArchiveExtractionError::Kind::unreadable, SystemError::last().description()};
    return extract(archiveFile.get(), destination, topFolder, limits);
}

std::variant<QString, ArchiveExtractionError> ArchiveExtractor::extract(int archiveDescriptor,
                                                                       const QString& destination,
                                                                       const QString& topFolder, Limits limits)
{
    Reader reader(archive_read_new(), &archive_read_free);
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_gnutar(reader.get());
    if (::lseek(archiveDescriptor, 0, SEEK_SET) != 0
        || archive_read_open_fd(reader.get(), archiveDescriptor, 64 * 1024) != ARCHIVE_OK)
        return ArchiveExtractionError{ArchiveExtractionError::Kind::unreadable,
                                      QString::fromLocal8Bit(archive_error_string(reader.get()))};
    Writer writer(archive_write_disk_new(), &archive_write_free);
    // Every name is checked above and written under `destination` as an absolute path, so
    // libarchive's own refusal of absolute paths is the one guard left off.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM
                                                     | ARCHIVE_EXTRACT_SECURE_NODOTDOT
                                                     | ARCHIVE_EXTRACT_SECURE_SYMLINKS
                                                     | ARCHIVE_EXTRACT_NO_OVERWRITE);
    const QByteArray base = QFile::encodeName(destination) + '/';
    bool sawTop = false;
    qint64 unpacked = 0;
    int entries = 0;
    const ArchiveExtractionError tooLarge{ArchiveExtractionError::Kind::tooLarge, {}};
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            return ArchiveExtractionError{ArchiveExtractionError::Kind::unreadable,
                                          QString::fromLocal8Bit(archive_error_string(reader.get()))};
        if (++entries > limits.entries)
            return tooLarge;
        const QString path = QString::fromUtf8(archive_entry_pathname(entry));
        if (!staysInside(path, topFolder))
            return ArchiveExtractionError{ArchiveExtractionError::Kind::outsideFolder, path};
        const mode_t type = archive_entry_filetype(entry);
        // The top entry is the bundle's folder: as a file or a link there is no bundle to stage.
        if (path.split(QLatin1Char('/'), Qt::SkipEmptyParts).size() == 1 && type != AE_IFDIR)
            return ArchiveExtractionError{ArchiveExtractionError::Kind::unsafeEntry, path};
        if (type == AE_IFLNK) {
            const QString target = QString::fromUtf8(archive_entry_symlink(entry));
            if (!linkStaysInside(path, target, topFolder))
                return ArchiveExtractionError{ArchiveExtractionError::Kind::outsideFolder, path + QStringLiteral(" -> ") + target};
        } else if (archive_entry_hardlink(entry)) {
            return ArchiveExtractionError{ArchiveExtractionError::Kind::unsafeEntry, path};
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return ArchiveExtractionError{ArchiveExtractionError::Kind::unsafeEntry, path};
        }
        sawTop = true;
        // Owners are the unpacking user's, whatever the archive says.
        archive_entry_set_uid(entry, 0);
        archive_entry_set_gid(entry, 0);
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0755);
        archive_entry_set_pathname(entry, (base + path.toUtf8()).constData());
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            return writeError(writer.get());
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        for (;;) {
            const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
            if (read == ARCHIVE_EOF)
                break;
            if (read != ARCHIVE_OK)
                return ArchiveExtractionError{ArchiveExtractionError::Kind::unreadable,
                                              QString::fromLocal8Bit(archive_error_string(reader.get()))};
            // A block far into a sparse entry counts by its offset: many disks store the holes.
            unpacked += qint64(size);
            if (unpacked > limits.bytes || qint64(offset) + qint64(size) > limits.bytes)
                return tooLarge;
            if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK)
                return writeError(writer.get());
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            return writeError(writer.get());
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return writeError(writer.get());
    if (!sawTop)
        return ArchiveExtractionError{ArchiveExtractionError::Kind::unreadable, QStringLiteral("the archive is empty")};
    return destination + QLatin1Char('/') + topFolder;
}

} // namespace velmora::platform
