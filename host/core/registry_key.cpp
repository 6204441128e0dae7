#include "tonebridge/core/registry_key.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include "platform.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>
#endif

namespace tonebridge::core {

#if defined(_WIN32)

// The real per-user registry; status codes are the registry's own.

long CRegistryKey::Close() {
    if (m_handle == nullptr) {
        return kRegistryOk;
    }
    const long status = RegCloseKey(static_cast<HKEY>(m_handle));
    m_handle = nullptr;
    m_path.clear();
    return status;
}

long CRegistryKey::Open(RegistryRoot, const std::string& subKey) {
    HKEY key = nullptr;
    const long status = RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_SUCCESS) {
        Close();
        m_handle = key;
        m_path = subKey;
    }
    return status;
}

long CRegistryKey::Create(RegistryRoot, const std::string& subKey, bool* created) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const long status =
        RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (status == ERROR_SUCCESS) {
        if (created != nullptr) {
            *created = disposition == REG_CREATED_NEW_KEY;
        }
        Close();
        m_handle = key;
        m_path = subKey;
    }
    return status;
}

long CRegistryKey::QueryRaw(void* buffer, const std::string& valueName, uint32_t& size) {
    DWORD type = 0;
    DWORD length = size;
    const long status = RegQueryValueExA(static_cast<HKEY>(m_handle), valueName.c_str(), nullptr,
                                         &type, static_cast<BYTE*>(buffer), &length);
    size = length;
    return status;
}

long CRegistryKey::SetString(const std::string& text, const std::string& valueName) {
    return RegSetValueExA(static_cast<HKEY>(m_handle), valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

long CRegistryKey::SetDword(uint32_t value, const std::string& valueName) {
    return RegSetValueExA(static_cast<HKEY>(m_handle), valueName.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value);
}

#else

// One text file per key under the user's configuration folder. The key
// "Software\A\B" lives in <config>/A/B.reg; "Software" is the folder itself, and a key
// that has subkeys is also represented by the folder of the same name.

namespace {

constexpr const char* kFileHeader = "REGEDIT4";
constexpr const char* kRootName = "HKEY_CURRENT_USER";
constexpr const char* kKeyFileSuffix = ".reg";
constexpr const char* kRootKey = "Software";
constexpr const char* kDwordPrefix = "dword:";
constexpr const char* kHexPrefix = "hex";
constexpr uint32_t kRegBinary = 3;

namespace fs = std::filesystem;

using Value = RegistryValue;

/// Largest key file read: far above any settings a user keeps, small enough that a stray
/// file in its place is never read whole.
constexpr std::uintmax_t kMaxKeyFileBytes = 1024 * 1024;
constexpr const char* kWarnBadKeyFile = "warning: settings file ignored (not a regular file of "
                                        "at most 1 MiB), the defaults are used: ";

struct KeyLocation {
    std::string directory;                  ///< folder standing for the key (holds its subkeys)
    std::string file;                       ///< the key's value file; empty for the root key
    std::string name;                       ///< full name for the section line
    std::vector<std::string> ancestorFiles; ///< value files of the keys above, nearest last
};

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

/// Maps a key path onto the store; nullopt for a path outside "Software" or one whose
/// pieces could step outside the configuration folder.
std::optional<KeyLocation> locate(const std::string& subKey) {
    std::vector<std::string> pieces;
    std::string piece;
    std::istringstream in(subKey);
    while (std::getline(in, piece, '\\')) {
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
    }
    if (pieces.empty() || !equalsIgnoreCase(pieces.front(), kRootKey)) {
        return std::nullopt;
    }
    const std::string config = platform::userConfigDirectory();
    if (config.empty()) {
        return std::nullopt;
    }
    KeyLocation where;
    where.directory = config;
    where.name = std::string(kRootName) + "\\" + pieces.front();
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const std::string& p = pieces[i];
        if (p == "." || p == ".." || p.find('/') != std::string::npos) {
            return std::nullopt;
        }
        if (i > 1) {
            where.ancestorFiles.push_back(where.directory + kKeyFileSuffix);
        }
        where.directory += "/" + p;
        where.name += "\\" + p;
    }
    if (pieces.size() > 1) {
        where.file = where.directory + kKeyFileSuffix;
    }
    return where;
}

bool keyExists(const KeyLocation& where) {
    std::error_code ec;
    // Whatever stands at the key file's place counts: a key is never created over it.
    return fs::is_directory(where.directory, ec) ||
           (!where.file.empty() && fs::exists(fs::symlink_status(where.file, ec)));
}

/// Reads a quoted text starting at line[pos] (the opening quote); pos ends after the close.
std::optional<std::string> readQuoted(const std::string& line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') {
        return std::nullopt;
    }
    std::string text;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return text;
        }
        if (c == '\\' && pos + 1 < line.size()) {
            c = line[++pos];
        }
        text += c;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> readHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.empty() || item.size() > 2 ||
            item.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
    }
    return bytes;
}

std::optional<Value> parseValueLine(const std::string& line) {
    std::size_t pos = 0;
    const auto name = readQuoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=') {
        return std::nullopt;
    }
    ++pos;
    Value value;
    value.name = *name;
    const std::string rest = line.substr(pos);
    if (!rest.empty() && rest[0] == '"') {
        std::size_t textPos = 0;
        const auto text = readQuoted(rest, textPos);
        if (!text) {
            return std::nullopt;
        }
        value.type = kRegSz;
        value.data.assign(text->begin(), text->end());
        value.data.push_back(0);
        return value;
    }
    if (rest.rfind(kDwordPrefix, 0) == 0) {
        const std::string digits = rest.substr(std::strlen(kDwordPrefix));
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return std::nullopt;
        }
        const uint32_t number = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        value.type = kRegDword;
        value.data.resize(4);
        std::memcpy(value.data.data(), &number, 4);
        return value;
    }
    if (rest.rfind(kHexPrefix, 0) == 0) {
        std::size_t colon = rest.find(':');
        if (colon == std::string::npos) {
            return std::nullopt;
        }
        value.type = kRegBinary;
        const std::string typePart =
            rest.substr(std::strlen(kHexPrefix), colon - std::strlen(kHexPrefix));
        if (!typePart.empty()) {
            if (typePart.size() < 3 || typePart.front() != '(' || typePart.back() != ')') {
                return std::nullopt;
            }
            const std::string digits = typePart.substr(1, typePart.size() - 2);
            if (digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                return std::nullopt;
            }
            value.type = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        }
        auto bytes = readHexBytes(rest.substr(colon + 1));
        if (!bytes) {
            return std::nullopt;
        }
        value.data = std::move(*bytes);
        return value;
    }
    return std::nullopt;
}

/// A regular file of sane size: anything else (a FIFO, a device, a huge file) in a key
/// file's place is never opened, so it cannot block or exhaust the program.
bool isSaneKeyFile(const std::string& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return false;
    }
    const std::uintmax_t size = fs::file_size(file, ec);
    return !ec && size <= kMaxKeyFileBytes;
}

/// The values of a key file, in file order; nullopt when it cannot be read.
std::optional<std::vector<Value>> readValues(const std::string& file) {
    if (!isSaneKeyFile(file)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<Value> values;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (auto value = parseValueLine(line)) {
            values.push_back(std::move(*value));
        }
    }
    return values;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

/// A string value fits the quoted form when it is one line of text ending in its only NUL.
bool fitsQuotedForm(const Value& value) {
    if (value.type != kRegSz || value.data.empty() || value.data.back() != 0) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
        if (value.data[i] == 0 || value.data[i] == '\n' || value.data[i] == '\r') {
            return false;
        }
    }
    return true;
}

std::string formatValue(const Value& value) {
    std::string line = quoted(value.name) + "=";
    if (fitsQuotedForm(value)) {
        return line + quoted(std::string(value.data.begin(), value.data.end() - 1));
    }
    char hex[16];
    if (value.type == kRegDword && value.data.size() == 4) {
        uint32_t number = 0;
        std::memcpy(&number, value.data.data(), 4);
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(number));
        return line + kDwordPrefix + hex;
    }
    line += kHexPrefix;
    if (value.type != kRegBinary) {
        std::snprintf(hex, sizeof hex, "(%x)", static_cast<unsigned>(value.type));
        line += hex;
    }
    line += ":";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%s%02x", i == 0 ? "" : ",", value.data[i]);
        line += hex;
    }
    return line;
}

bool writeValues(const std::string& file, const std::string& keyName,
                 const std::vector<Value>& values) {
    std::string text = std::string(kFileHeader) + "\n\n[" + keyName + "]\n";
    for (const Value& value : values) {
        text += formatValue(value) + "\n";
    }
    return platform::writeFileAtomically(file, text.data(), text.size()) ==
           platform::WriteStatus::Ok;
}

/// A key file that holds no value and is a key file at all (starts with the header).
bool isEmptyKeyFile(const std::string& file) {
    if (!isSaneKeyFile(file)) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first)) {
        return false;
    }
    if (!first.empty() && first.back() == '\r') {
        first.pop_back();
    }
    if (first != kFileHeader) {
        return false;
    }
    const auto values = readValues(file);
    return values && values->empty();
}

} // namespace

long CRegistryKey::Close() {
    long status = kRegistryOk;
    if (m_dirty && m_values && !writeValues(m_path, m_keyName, *m_values)) {
        status = kRegistryAccessDenied;
    }
    m_path.clear();
    m_keyName.clear();
    m_values.reset();
    m_loaded = false;
    m_dirty = false;
    return status;
}

long CRegistryKey::Open(RegistryRoot, const std::string& subKey) {
    const auto where = locate(subKey);
    if (!where || !keyExists(*where)) {
        return kRegistryFileNotFound;
    }
    Close();
    // The root key has no value file: its location is its folder, marked by the separator.
    m_path = where->file.empty() ? where->directory + "/" : where->file;
    m_keyName = where->name;
    return kRegistryOk;
}

bool CRegistryKey::load() {
    if (!m_loaded) {
        m_loaded = true;
        std::error_code ec;
        if (!fs::exists(m_path, ec)) {
            m_values.emplace(); // a key file not written yet holds no value
        } else {
            m_values = readValues(m_path);
            if (!m_values) {
                std::cerr << kWarnBadKeyFile << m_path << '\n';
            }
        }
    }
    return m_values.has_value();
}

long CRegistryKey::Create(RegistryRoot root, const std::string& subKey, bool* created) {
    const auto where = locate(subKey);
    if (!where) {
        return kRegistryAccessDenied;
    }
    std::error_code ec;
    const bool existed = keyExists(*where);
    if (!existed) {
        const fs::path folder =
            where->file.empty() ? fs::path(where->directory) : fs::path(where->file).parent_path();
        fs::create_directories(folder, ec);
        if (ec) {
            return kRegistryAccessDenied;
        }
        if (!where->file.empty() && !writeValues(where->file, where->name, {})) {
            return kRegistryAccessDenied;
        }
    }
    // The folders now stand for every key above: their empty value files are clutter.
    for (const std::string& file : where->ancestorFiles) {
        if (isEmptyKeyFile(file)) {
            fs::remove(file, ec);
        }
    }
    if (created != nullptr) {
        *created = !existed;
    }
    return Open(root, subKey);
}

long CRegistryKey::QueryRaw(void* buffer, const std::string& valueName, uint32_t& size) {
    if (!isOpen() || m_path.back() == '/' || !load()) {
        return kRegistryFileNotFound;
    }
    for (const Value& value : *m_values) {
        if (!equalsIgnoreCase(value.name, valueName)) {
            continue;
        }
        const uint32_t needed = static_cast<uint32_t>(value.data.size());
        if (buffer == nullptr) {
            size = needed;
            return kRegistryOk;
        }
        if (needed > size) {
            size = needed;
            return kRegistryMoreData;
        }
        if (needed > 0) {
            std::memcpy(buffer, value.data.data(), needed);
        }
        size = needed;
        return kRegistryOk;
    }
    return kRegistryFileNotFound;
}

long CRegistryKey::setValue(Value value) {
    if (!isOpen() || m_path.back() == '/' || !load()) {
        return kRegistryAccessDenied;
    }
    for (Value& old : *m_values) {
        if (equalsIgnoreCase(old.name, value.name)) {
            old.type = value.type;
            old.data = std::move(value.data);
            m_dirty = true;
            return kRegistryOk;
        }
    }
    m_values->push_back(std::move(value));
    m_dirty = true;
    return kRegistryOk;
}

long CRegistryKey::SetString(const std::string& text, const std::string& valueName) {
    Value value{valueName, kRegSz, std::vector<uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    return setValue(std::move(value));
}

long CRegistryKey::SetDword(uint32_t number, const std::string& valueName) {
    Value value{valueName, kRegDword, std::vector<uint8_t>(4)};
    std::memcpy(value.data.data(), &number, 4);
    return setValue(std::move(value));
}

#endif

long CRegistryKey::QueryDword(uint32_t& value, const std::string& valueName) {
    uint32_t size = sizeof value;
    value = 0;
    return QueryRaw(&value, valueName, size);
}

} // namespace tonebridge::core
