#include "SharedLibrary.h"

#include <QFile>

#include <dlfcn.h>

namespace velmora::platform {

std::unique_ptr<SharedLibrary> SharedLibrary::open(const QString& path)
{
    int flags = RTLD_LAZY | RTLD_LOCAL;
#ifdef __SANITIZE_ADDRESS__
    // Keep it mapped after dlclose so the leak checker can name the library's own leaks.
    flags |= RTLD_NODELETE;
#endif
    void* handle = ::dlopen(QFile::encodeName(path).constData(), flags);
    if (!handle)
        return nullptr;
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary()
{
    ::dlclose(m_handle);
}

void* SharedLibrary::symbol(const char* name) const
{
    return ::dlsym(m_handle, name);
}

} // namespace velmora::platform
