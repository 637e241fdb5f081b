#pragma once

#include <QString>

#include <memory>

namespace velmora::platform {

// A shared library loaded at run time, unloaded when the object goes.
class SharedLibrary {
public:
    // Null when it cannot be loaded.
    static std::unique_ptr<SharedLibrary> open(const QString& path);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The named function, or null.
    template <typename Function>
    Function function(const char* name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }

private:
    explicit SharedLibrary(void* handle) : m_handle(handle) {}
    void* symbol(const char* name) const;

    void* m_handle;
};

} // namespace velmora::platform
