#include "registry/RegKey.h"

#include <vector>

namespace {

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

LONG RegKey::OpenUnfollowed(HKEY parent, const char* name, REGSAM access, bool* isLink) {
    *isLink = false;
    if (name == nullptr || *name == '\0') {
        Reset(NULL);
        return ERROR_FILE_NOT_FOUND;
    }
    HKEY key = NULL;
    const LONG status = ::RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key);
    Reset(status == ERROR_SUCCESS ? key : NULL);
    if (status == ERROR_SUCCESS) *isLink = HoldsLinkTarget(key);
    return status;
}

LONG DeleteKeyTree(HKEY parent, const char* name, int depthLeft) {
    RegKey key;
    bool isLink = false;
    LONG status = key.OpenUnfollowed(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS, &isLink);
    if (status != ERROR_SUCCESS) return status;
    if (isLink) return DeleteLink(key.Get());
    std::vector<char> buffer;
    std::string child;
    // Always the first subkey: each one is gone before the next is asked for.
    while (EnumSubkeyName(key.Get(), 0, buffer, child) == ERROR_SUCCESS) {
        if (depthLeft <= 0) return ERROR_KEY_HAS_CHILDREN;
        status = DeleteKeyTree(key.Get(), child.c_str(), depthLeft - 1);
        if (status != ERROR_SUCCESS) return status;
    }
    key.Reset(NULL);
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
