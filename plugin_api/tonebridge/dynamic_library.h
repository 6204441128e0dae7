// The thin portability layer over the platform's dynamic libraries: load by file name or
// path, look an export up by name. Libraries are never unloaded.
#pragma once

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tonebridge {

/// Native handle of a loaded library.
#if defined(_WIN32)
using LibraryHandle = HMODULE;
#else
using LibraryHandle = void*;
#endif

/// File-name suffix of a shared library on this platform.
#if defined(_WIN32)
inline constexpr const char* kLibrarySuffix = ".dll";
#else
inline constexpr const char* kLibrarySuffix = ".so";
#endif

/// Loads a library by path (or by bare file name, through the platform's ordinary search).
/// Returns null when it does not load.
inline LibraryHandle loadLibrary(const std::string& path) {
#if defined(_WIN32)
    return LoadLibraryA(path.c_str());
#else
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

/// Releases a library that was loaded but is not kept (a rejected plug-in).
inline void unloadLibrary(LibraryHandle handle) {
    if (handle == nullptr) {
        return;
    }
#if defined(_WIN32)
    FreeLibrary(handle);
#else
    dlclose(handle);
#endif
}

/// Looks up an export by name and casts it to the wanted function type; null if missing.
template <typename Fn> Fn findExport(LibraryHandle handle, const char* name) {
    if (handle == nullptr) {
        return nullptr;
    }
#if defined(_WIN32)
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
#else
    return reinterpret_cast<Fn>(dlsym(handle, name));
#endif
}

} // namespace tonebridge
