// CRegistryKey: one open key of the per-user settings store. On Windows the registry;
// elsewhere one small text file per key under $XDG_CONFIG_HOME (default ~/.config), in the
// REGEDIT4 style, keeping each value's type. The file is read once, when a value is first
// wanted, and replaced atomically once, when a key whose values changed is closed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonebridge::core {

/// Root of the per-user store (HKEY_CURRENT_USER).
enum class RegistryRoot { CurrentUser };

/// Status codes, as the registry's: 0 is success.
inline constexpr long kRegistryOk = 0;
inline constexpr long kRegistryFileNotFound = 2; ///< key or value absent
inline constexpr long kRegistryMoreData = 234;   ///< value larger than the caller's buffer
inline constexpr long kRegistryAccessDenied = 5; ///< the store cannot be written

/// Value types kept by the store.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegDword = 4;

#if !defined(_WIN32)
/// One value of a key file: its name, registry type and raw data.
struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};
#endif

class CRegistryKey {
public:
    CRegistryKey() = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    ~CRegistryKey() { Close(); }

    /// Closes the held key, if any, writing its values first when they changed; returns the
    /// close status (kRegistryAccessDenied when they could not be written) or 0.
    long Close();
    /// Opens an existing key; only on success replaces the held key.
    long Open(RegistryRoot root, const std::string& subKey);
    /// Creates or opens a key; only on success replaces the held key. *created, when given,
    /// tells whether the key was new.
    long Create(RegistryRoot root, const std::string& subKey, bool* created = nullptr);
    /// Reads a value's raw data into buffer; size in: buffer size, out: data size. The stored
    /// type is fetched but not checked.
    long QueryRaw(void* buffer, const std::string& valueName, uint32_t& size);
    /// Reads a 4-byte value.
    long QueryDword(uint32_t& value, const std::string& valueName);
    /// Writes a string value (its text and terminating NUL).
    long SetString(const std::string& text, const std::string& valueName);
    /// Writes a 4-byte value.
    long SetDword(uint32_t value, const std::string& valueName);

    bool isOpen() const { return !m_path.empty(); }

private:
    std::string m_path; ///< the held key's store location; empty when none is held
#if defined(_WIN32)
    void* m_handle = nullptr; ///< the held HKEY
#else
    std::string m_keyName; ///< the key's full name, as its file's section line shows it
    /// The key file's values once read; none before, or when the file cannot be read.
    std::optional<std::vector<RegistryValue>> m_values;
    bool m_loaded = false; ///< the file has been read (or found unreadable)
    bool m_dirty = false;  ///< a value changed since the file was read
    /// Reads the key file on first use; false when it cannot be read.
    bool load();
    long setValue(RegistryValue value);
#endif
};

} // namespace tonebridge::core
