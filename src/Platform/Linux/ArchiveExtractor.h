#pragma once

#include "Platform/SystemError.h"

#include <QString>

#include <optional>
#include <variant>

namespace velmora::platform {

// Why an archive was not unpacked. Nothing of it is trusted: an entry that
// would land outside its folder, or anything but files, folders and links
// that stay inside, refuses the whole archive.
struct ArchiveExtractionError {
    enum class Kind { unreadable, unsafeEntry, outsideFolder, noSpace, writeFailed, tooLarge };
    Kind kind;
    QString detail;

    QString description() const;
};

// Unpacks a tar archive (any compression libarchive reads) whose every entry
// lies under `topFolder`, into `destination`. The result is destination/topFolder.
namespace ArchiveExtractor {

// What an archive may unpack to at most: a compressed bomb stops here, not when the disk is full.
struct Limits {
    qint64 bytes = qint64(4) << 30;
    int entries = 100'000;
};

std::variant<QString, ArchiveExtractionError> extract(const QString& archivePath, const QString& destination,
                                                      const QString& topFolder, Limits limits = {});
// The same from an open archive, read from its start: what was checked through this
// descriptor is what is unpacked, whatever happens to the file's name meanwhile.
std::variant<QString, ArchiveExtractionError> extract(int archiveDescriptor, const QString& destination,
                                                      const QString& topFolder, Limits limits = {});

} // namespace ArchiveExtractor

} // namespace velmora::platform
