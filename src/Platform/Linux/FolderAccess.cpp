#include "FolderAccess.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::platform::FolderAccess {

namespace {

bool onlyOurs(const struct stat& info)
{
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

bool isOnlyOurs(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && onlyOurs(info);
}

bool isOnlyOurs(const FileDescriptor& folder)
{
    struct stat info {};
    return folder && ::fstat(folder.get(), &info) == 0 && onlyOurs(info);
}

FileDescriptor open(const QString& folder)
{
    return FileDescriptor(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

FileDescriptor openFile(const QString& path)
{
    return FileDescriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
}

} // namespace velmora::platform::FolderAccess
