// libFuzzer target, a property: whatever entries an update archive holds, once
// unpacked nothing resolves outside the staging folder. The input describes the
// entries, one per line: a type letter (f file, d folder, l link, h hard link),
// the path, and for links a tab and the target.
#include "Platform/Linux/ArchiveExtractor.h"

#include <archive.h>
#include <archive_entry.h>

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

QByteArray tarOf(const QByteArray& description)
{
    archive* writer = archive_write_new();
    archive_write_set_format_pax_restricted(writer);
    QByteArray tar(1 << 20, '\0');
    size_t used = 0;
    archive_write_open_memory(writer, tar.data(), size_t(tar.size()), &used);
    for (const QByteArray& line : description.split('\n')) {
        if (line.size() < 2)
            continue;
        const QList<QByteArray> fields = line.mid(1).split('\t');
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, fields[0].constData());
        archive_entry_set_perm(entry, 0755);
        const QByteArray target = fields.value(1);
        switch (line[0]) {
        case 'd': archive_entry_set_filetype(entry, AE_IFDIR); break;
        case 'l':
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, target.constData());
            break;
        case 'h':
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, target.constData());
            break;
        default:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, target.size());
        }
        if (archive_write_header(writer, entry) == ARCHIVE_OK && line[0] != 'd' && line[0] != 'l' && line[0] != 'h')
            archive_write_data(writer, target.constData(), size_t(target.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    tar.truncate(qsizetype(used));
    return tar;
}

bool isWithin(const fs::path& path, const fs::path& folder)
{
    const auto [end, at] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray tar = tarOf(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    char pattern[] = "/tmp/velmora-archive-fuzz-XXXXXX";
    if (!mkdtemp(pattern))
        abort();
    const fs::path root = pattern;
    const fs::path destination = root / "staging";
    fs::create_directory(destination);
    {
        QFile file(QString::fromStdString((root / "update.tar").string()));
        if (!file.open(QIODevice::WriteOnly) || file.write(tar) != tar.size())
            abort();
    }
    const auto result = velmora::platform::ArchiveExtractor::extract(
        QString::fromStdString((root / "update.tar").string()), QString::fromStdString(destination.string()),
        QStringLiteral("Velmora"));
    const fs::path top = fs::canonical(destination) / "Velmora";
    std::error_code error;
    // Whatever was refused half way, what is on disk stays inside: every path resolves below the top folder.
    for (auto it = fs::recursive_directory_iterator(destination, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::path resolved = fs::weakly_canonical(it->path(), error);
        if (error)
            break; // a link loop resolves nowhere, which is nowhere outside
        if (resolved != top && !isWithin(resolved, top))
            __builtin_trap();
    }
    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.path() != destination && entry.path().filename() != "update.tar")
            __builtin_trap(); // written beside the staging folder
    }
    if (std::holds_alternative<QString>(result) && !fs::is_directory(top))
        __builtin_trap();
    fs::remove_all(root);
    return 0;
}
