#include "registry/RegKey.h"

#include <vector>

namespace {

const DWORD kValueNameCapacity = 16384;       // the platform's longest value name and its terminator
const size_t kGrowthLimit = size_t(1) << 30;  // beyond any value the registry can hold

bool Named(const char* path) { return path != nullptr && *path != '\0'; }

// The registry keeps a link's target in this value, of type REG_LINK.
bool HoldsLinkTarget(HKEY key) {
    DWORD type = REG_NONE;
    const LONG code = ::RegQueryValueExA(key, "SymbolicLinkValue", NULL, &type, NULL, NULL);
    return (code == ERROR_SUCCESS || code == ERROR_MORE_DATA) && type == REG_LINK;
}

// A link is deleted through a handle opened on the link itself: every
// deletion by name would follow it to its target.
LONG DeleteLink(HKEY link) {
    typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
    typedef ULONG(WINAPI * ToDosErrorFn)(LONG);
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const NtDeleteKeyFn deleteKey =
        reinterpret_cast<NtDeleteKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDeleteKey")));
    const ToDosErrorFn toDosError =
        reinterpret_cast<ToDosErrorFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    if (deleteKey == nullptr || toDosError == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
    const LONG status = deleteKey(link);
    return status == 0 ? ERROR_SUCCESS : (LONG)toDosError(status);
}

}  // namespace

LONG RegKey::Open(HKEY parent, const char* path) {
    HKEY key = NULL;
    const LONG status = Named(path) ? ::RegOpenKeyA(parent, path, &key) : ERROR_FILE_NOT_FOUND;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    return status;
}

LONG RegKey::Create(HKEY parent, const char* path) {
    HKEY key = NULL;
    const LONG status = Named(path) ? ::RegCreateKeyA(parent, path, &key) : ERROR_INVALID_NAME;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    return status;
}

LONG RegKey::OpenOrCreate(HKEY parent, const char* path) {
    const LONG status = Open(parent, path);
    return status == ERROR_SUCCESS ? status : Create(parent, path);
}

LONG RegKey::OpenUnfollowed(HKEY parent, const char* name, REGSAM access, bool* isLink) {
    *isLink = false;
    HKEY key = NULL;
    const LONG status =
        Named(name) ? ::RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key)
                    : ERROR_FILE_NOT_FOUND;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    if (status == ERROR_SUCCESS) *isLink = HoldsLinkTarget(key);
    return status;
}

LONG RegKey::QueryBytes(HKEY key, const char* name, std::vector<unsigned char>& data, DWORD* type) {
    if (data.size() < 261) data.resize(261);
    for (;;) {
        DWORD size = (DWORD)data.size();
        const LONG code = ::RegQueryValueExA(key, name, NULL, type, data.data(), &size);
        if (code == ERROR_MORE_DATA && data.size() < kGrowthLimit) {
            data.resize(size > data.size() ? size : data.size() * 2);
            continue;
        }
        if (code == ERROR_SUCCESS) data.resize(size);
        return code;
    }
}

LONG RegKey::QueryText(HKEY key, const char* name, std::string& text) {
    text.clear();
    std::vector<unsigned char> data;
    const LONG code = QueryBytes(key, name, data);
    if (code != ERROR_SUCCESS) return code;
    size_t length = 0;
    while (length < data.size() && data[length] != 0) ++length;
    text.assign(reinterpret_cast<const char*>(data.data()), length);
    return code;
}

LONG RegKey::EnumSubkey(DWORD index, std::vector<char>& buffer, std::string& name) const {
    if (buffer.size() < 256) buffer.resize(256);
    for (;;) {
        DWORD size = (DWORD)buffer.size();
        const LONG status = ::RegEnumKeyExA(m_handle, index, buffer.data(), &size, NULL, NULL, NULL, NULL);
        if (status == ERROR_MORE_DATA && buffer.size() < 32768) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status == ERROR_SUCCESS) name.assign(buffer.data(), size);
        return status;
    }
}

LONG RegKey::EnumValue(DWORD index, std::vector<char>& nameBuffer, std::string& name, DWORD& type,
                       std::vector<unsigned char>& data) const {
    if (nameBuffer.size() < kValueNameCapacity) nameBuffer.resize(kValueNameCapacity);
    if (data.size() < 256) data.resize(256);
    for (;;) {
        DWORD nameSize = (DWORD)nameBuffer.size();
        DWORD dataSize = (DWORD)data.size();
        const LONG code =
            ::RegEnumValueA(m_handle, index, nameBuffer.data(), &nameSize, NULL, &type, data.data(), &dataSize);
        if (code == ERROR_MORE_DATA && dataSize > data.size()) {
            data.resize(dataSize);
            continue;
        }
        if (code == ERROR_MORE_DATA && data.size() < kGrowthLimit) {
            // No size reported, or the name is what did not fit: grow both.
            data.resize(data.size() * 2);
            if (nameBuffer.size() < kGrowthLimit / 8) nameBuffer.resize(nameBuffer.size() * 2);
            continue;
        }
        if (code != ERROR_SUCCESS) return code;
        name.assign(nameBuffer.data(), nameSize);
        data.resize(dataSize);
        return ERROR_SUCCESS;
    }
}

LONG DeleteKeyTree(HKEY parent, const char* name, int depthLeft) {
    RegKey key;
    bool isLink = false;
    LONG status = key.OpenUnfollowed(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS, &isLink);
    if (status != ERROR_SUCCESS) return status;
    if (isLink) return DeleteLink(key);
    std::vector<char> buffer;
    std::string child;
    // Always the first subkey: each one is gone before the next is asked for.
    while (key.EnumSubkey(0, buffer, child) == ERROR_SUCCESS) {
        if (depthLeft <= 0) return ERROR_KEY_HAS_CHILDREN;
        status = DeleteKeyTree(key, child.c_str(), depthLeft - 1);
        if (status != ERROR_SUCCESS) return status;
    }
    key.Close();
    // Not a link, so deleting by name reaches this very key.
    return ::RegDeleteKeyA(parent, name);
}

bool SameKeyName(const char* a, const char* b) {
    const int lengthA = ::MultiByteToWideChar(CP_ACP, 0, a, -1, NULL, 0);
    const int lengthB = ::MultiByteToWideChar(CP_ACP, 0, b, -1, NULL, 0);
    if (lengthA <= 0 || lengthB <= 0) return false;
    std::vector<wchar_t> wideA(lengthA), wideB(lengthB);
    ::MultiByteToWideChar(CP_ACP, 0, a, -1, wideA.data(), lengthA);
    ::MultiByteToWideChar(CP_ACP, 0, b, -1, wideB.data(), lengthB);
    return ::CompareStringOrdinal(wideA.data(), -1, wideB.data(), -1, TRUE) == CSTR_EQUAL;
}
