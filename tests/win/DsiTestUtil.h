// Helpers shared by the DSI exchange tests.
#pragma once
#include "TestSupport.h"
#include "WindowHelpers.h"

#include <map>

#include "ui/resource.h"

// Every value and key below a registry path: "sub\key|value" -> type and
// bytes; keys appear as "sub\key\" with type -1 and no bytes.
struct RegValue {
    long long type = 0;
    std::vector<unsigned char> data;
    bool operator==(const RegValue& o) const { return type == o.type && data == o.data; }
};
using RegTree = std::map<std::string, RegValue>;

inline void SnapshotInto(HKEY key, const std::string& prefix, RegTree& tree) {
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof(name);
        if (::RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        const std::string path = prefix + name + "\\";
        tree[path] = RegValue{-1, {}};
        HKEY sub = NULL;
        if (::RegOpenKeyA(key, name, &sub) == ERROR_SUCCESS) {
            SnapshotInto(sub, path, tree);
            ::RegCloseKey(sub);
        }
    }
    std::vector<char> valueName(16384);
    std::vector<unsigned char> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = (DWORD)valueName.size(), dataSize = (DWORD)data.size(), type = 0;
        const LONG code = ::RegEnumValueA(key, i, valueName.data(), &nameSize, NULL, &type, data.data(), &dataSize);
        if (code == ERROR_MORE_DATA) {
            data.resize(data.size() * 4);
            --i;
            continue;
        }
        if (code != ERROR_SUCCESS) break;
        tree[prefix + "|" + std::string(valueName.data(), nameSize)] =
            RegValue{(long long)type, std::vector<unsigned char>(data.begin(), data.begin() + dataSize)};
    }
}

inline RegTree Snapshot(HKEY root, const std::string& path) {
    RegTree tree;
    HKEY key = NULL;
    if (::RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return tree;
    SnapshotInto(key, "", tree);
    ::RegCloseKey(key);
    return tree;
}

inline std::vector<unsigned char> Bytes(const std::string& s) { return std::vector<unsigned char>(s.begin(), s.end()); }
inline std::vector<unsigned char> Text(const std::string& s) {
    std::vector<unsigned char> v = Bytes(s);
    v.push_back(0);
    return v;
}
inline std::vector<unsigned char> Dword(DWORD d) {
    return {(unsigned char)d, (unsigned char)(d >> 8), (unsigned char)(d >> 16), (unsigned char)(d >> 24)};
}
inline std::vector<unsigned char> Pattern(size_t n) {
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = (unsigned char)(i * 37 + 11);
    return v;
}

// Text as the registry stores it, terminator included, and a value written
// with the wide call, so that a name in any script arrives as it is.
inline std::vector<unsigned char> WideSz(const std::wstring& text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.c_str());
    return std::vector<unsigned char>(p, p + (text.size() + 1) * sizeof(wchar_t));
}
inline void PutWide(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                    const std::vector<unsigned char>& data) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name.c_str(), 0, type, data.data(), (DWORD)data.size()));
    ::RegCloseKey(key);
}

// The path of a backup file in LOCALAPPDATA `appData` whose name matches
// `pattern`; empty when there is none.
inline std::string FirstBackup(const std::string& appData, const char* pattern = "*.dsi") {
    const std::string folder = appData + "\\Zentrel\\Backups\\";
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return std::string();
    ::FindClose(search);
    return folder + found.cFileName;
}

// The value as stored, or type -2 when it does not exist.
inline RegValue ValueOf(HKEY root, const std::string& path, const char* name) {
    DWORD type = 0;
    std::vector<unsigned char> data;
    if (!GetValue(root, path, name, &type, &data)) return RegValue{-2, {}};
    return RegValue{(long long)type, data};
}

inline std::ostream& operator<<(std::ostream& os, const RegValue& v) {
    os << "type " << v.type << ", " << v.data.size() << " bytes:";
    for (size_t i = 0; i < v.data.size() && i < 24; ++i) {
        char hex[4];
        snprintf(hex, sizeof(hex), " %02X", v.data[i]);
        os << hex;
    }
    return os;
}
