// Loading a melody engine library by bare file name, for the GD plug-ins.
#pragma once

#include "tonebridge/dynamic_library.h"

#include <string>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace tonebridge::gd {

namespace detail {
/// Any function of this module: its address tells dladdr which file the module is.
inline void moduleAnchor() {}
} // namespace detail

/// Loads an engine ("lsp_coder", "lsp_decoder") by bare file name through the platform's
/// ordinary search, which includes the plug-in's own folder (RUNPATH $ORIGIN), then from the
/// plug-in's own folder by path. Never released.
///
/// Windows searches the program's folder, the system folders and PATH, never the folder of
/// the module that asks, so there the second step is what finds an engine beside the plug-in.
///
/// WATCHOUT: a sanitizer runtime intercepts dlopen, so the loader sees the runtime rather than
/// this plug-in as the caller and skips the plug-in's RUNPATH. Looking in the plug-in's own
/// folder next gives the same result as the ordinary search in every build.
inline LibraryHandle loadEngine(const char* baseName) {
    const std::string file = std::string(baseName) + kLibrarySuffix;
    LibraryHandle engine = loadLibrary(file);
#if defined(_WIN32)
    if (engine == nullptr) {
        HMODULE self = nullptr;
        const DWORD flags =
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
        if (GetModuleHandleExA(flags,
                               static_cast<LPCSTR>(reinterpret_cast<void*>(&detail::moduleAnchor)),
                               &self) != 0) {
            char buffer[MAX_PATH];
            const DWORD length = GetModuleFileNameA(self, buffer, MAX_PATH);
            if (length > 0 && length < MAX_PATH) {
                std::string path(buffer, length);
                const std::string::size_type slash = path.find_last_of("\\/");
                if (slash != std::string::npos) {
                    engine = loadLibrary(path.substr(0, slash + 1) + file);
                }
            }
        }
    }
#else
    if (engine == nullptr) {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&detail::moduleAnchor), &info) != 0 &&
            info.dli_fname != nullptr) {
            std::string path = info.dli_fname;
            const std::string::size_type slash = path.rfind('/');
            if (slash != std::string::npos) {
                engine = loadLibrary(path.substr(0, slash + 1) + file);
            }
        }
    }
#endif
    return engine;
}

} // namespace tonebridge::gd
