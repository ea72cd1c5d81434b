#include "platform/ActiveX.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// The servers' entry points return an HRESULT: negative means failure.
using ServerEntry = std::int32_t (*)();

// A loaded library, unloaded when it goes out of scope.
class LoadedLibrary
{
public:
    explicit LoadedLibrary(const QString& absolutePath)
    {
#ifdef _WIN32
        const QString nativePath = QDir::toNativeSeparators(absolutePath);
        m_handle = LoadLibraryW(reinterpret_cast<LPCWSTR>(nativePath.utf16()));
#else
        m_handle = dlopen(QFile::encodeName(absolutePath).constData(), RTLD_NOW | RTLD_LOCAL);
#endif
    }

    ~LoadedLibrary()
    {
        if (!m_handle)
            return;
#ifdef _WIN32
        FreeLibrary(m_handle);
#else
        dlclose(m_handle);
#endif
    }

    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool isLoaded() const
    {
        return m_handle != nullptr;
    }

    ServerEntry entry(const char* name) const
    {
#ifdef _WIN32
        return reinterpret_cast<ServerEntry>(GetProcAddress(m_handle, name));
#else
        return reinterpret_cast<ServerEntry>(dlsym(m_handle, name));
#endif
    }

private:
#ifdef _WIN32
    HMODULE m_handle = nullptr;
#else
    void* m_handle = nullptr;
#endif
};

} // namespace

bool RegisterActiveXFile(const QString& path, int mode)
{
    // An empty name would hand back the program itself on some loaders, and a
    // bare name would be searched for on the system's library path.
    if (path.isEmpty())
        return false;

    const LoadedLibrary library(QFileInfo(path).absoluteFilePath());
    if (!library.isLoaded())
        return false;

    const ServerEntry entry = library.entry(mode == 1 ? "DllRegisterServer" : "DllUnregisterServer");
    if (!entry)
        return false;
    return entry() >= 0;
}
