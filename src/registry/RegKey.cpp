#include "registry/RegKey.h"

#include <winternl.h>

#include <string>
#include <vector>

#include "registry/ValueFormat.h"
#include "registry/Views.h"

namespace {

const DWORD kValueNameCapacity = 16384;       // the platform's longest value name and its terminator
const size_t kGrowthLimit = size_t(1) << 30;  // beyond any value the registry can hold

bool Named(const char* path) { return path != nullptr && *path != '\0'; }

// The registry keeps a link's target in this value, of type REG_LINK.
const char kLinkTargetValue[] = "SymbolicLinkValue";

bool HoldsLinkTarget(HKEY key) {
    DWORD type = REG_NONE;
    const LONG code = ::RegQueryValueExA(key, kLinkTargetValue, NULL, &type, NULL, NULL);
    return (code == ERROR_SUCCESS || code == ERROR_MORE_DATA) && type == REG_LINK;
}

// The native calls a few deletions need, looked up once.
struct NativeRegistry {
    typedef LONG(WINAPI* OpenKeyFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);
    typedef LONG(WINAPI* DeleteKeyFn)(HANDLE);
    typedef ULONG(WINAPI* ToDosErrorFn)(LONG);
    OpenKeyFn openKey;
    DeleteKeyFn deleteKey;
    ToDosErrorFn toDosError;

    NativeRegistry() {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        openKey = reinterpret_cast<OpenKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtOpenKey")));
        deleteKey = reinterpret_cast<DeleteKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDeleteKey")));
        toDosError =
            reinterpret_cast<ToDosErrorFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    bool Present() const { return openKey != nullptr && deleteKey != nullptr && toDosError != nullptr; }
    LONG Code(LONG status) const { return status == 0 ? ERROR_SUCCESS : (LONG)toDosError(status); }
};

const NativeRegistry& Native() {
    static const NativeRegistry native;
    return native;
}

// Deletes the key a handle names, link or not: every deletion by name would
// follow a link to its target.
LONG DeleteOpenKey(HKEY key) {
    if (!Native().Present()) return ERROR_CALL_NOT_IMPLEMENTED;
    return Native().Code(Native().deleteKey(key));
}

// Opens a child whose name holds a zero byte, without following a link:
// only the native call takes a counted name; a C string would stop at the
// zero and reach another key.
LONG OpenCountedName(HKEY parent, const std::string& name, ACCESS_MASK access, HKEY* key) {
    *key = NULL;
    if (!Native().Present()) return ERROR_CALL_NOT_IMPLEMENTED;
    const int length = ::MultiByteToWideChar(CP_ACP, 0, name.data(), (int)name.size(), NULL, 0);
    if (length <= 0 || length > 32767) return ERROR_INVALID_NAME;
    std::vector<wchar_t> wide(length);
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), (int)name.size(), wide.data(), length);
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = text.MaximumLength = (USHORT)(length * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    const ULONG kOpenLink = 0x100;  // OBJ_OPENLINK
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE | kOpenLink, parent, NULL);
    HANDLE handle = NULL;
    const LONG code = Native().Code(Native().openKey(&handle, access, &attributes));
    if (code == ERROR_SUCCESS) *key = static_cast<HKEY>(handle);
    return code;
}

}  // namespace

LONG RegKey::Connect(const std::string& computer, HKEY root) {
    std::string machine;
    if (!computer.empty()) machine = computer[0] == '\\' ? computer : "\\\\" + computer;
    HKEY key = NULL;
    const LONG status = ::RegConnectRegistryA(machine.empty() ? NULL : machine.c_str(), root, &key);
    Attach(status == ERROR_SUCCESS ? key : NULL);
    return status;
}

LONG RegKey::Open(HKEY parent, const char* path, REGSAM view) {
    HKEY key = NULL;
    const LONG status =
        Named(path) ? ::RegOpenKeyExA(parent, path, 0, MAXIMUM_ALLOWED | view, &key) : ERROR_FILE_NOT_FOUND;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    return status;
}

LONG RegKey::Create(HKEY parent, const char* path, REGSAM view, bool* created) {
    HKEY key = NULL;
    DWORD disposition = 0;
    const LONG fault = RegistryWriteCheck();
    const LONG status = fault != ERROR_SUCCESS ? fault : Named(path) ? ::RegCreateKeyExA(parent, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                                                        MAXIMUM_ALLOWED | view, NULL, &key, &disposition)
                                    : ERROR_INVALID_NAME;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    if (created != nullptr) *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

LONG RegKey::OpenOrCreate(HKEY parent, const char* path, REGSAM view) {
    const LONG status = Open(parent, path, view);
    return status == ERROR_SUCCESS ? status : Create(parent, path, view);
}

LONG RegKey::OpenUnfollowed(HKEY parent, const char* name, REGSAM access, bool* isLink) {
    if (isLink != nullptr) *isLink = false;
    HKEY key = NULL;
    const LONG status =
        Named(name) ? ::RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key)
                    : ERROR_FILE_NOT_FOUND;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    if (status == ERROR_SUCCESS && isLink != nullptr) *isLink = HoldsLinkTarget(key);
    return status;
}

bool IsLinkTarget(const std::string& valueName, DWORD type) {
    // Value names compare without case; this one is ASCII.
    return type == REG_LINK && zentrel::SameAsciiIgnoringCase(valueName, kLinkTargetValue);
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
    text = zentrel::TextUpToZero(data.data(), data.size());
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

LONG DeleteKeyTree(HKEY parent, const std::string& name, int depthLeft, REGSAM view) {
    RegKey key;
    bool isLink = false;
    const bool counted = name.find('\0') != std::string::npos;
    LONG status;
    if (counted) {
        HKEY opened = NULL;
        status = OpenCountedName(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | view, &opened);
        key.Attach(opened);
        isLink = status == ERROR_SUCCESS && HoldsLinkTarget(opened);
    } else {
        status = key.OpenUnfollowed(parent, name.c_str(), DELETE | KEY_ENUMERATE_SUB_KEYS | view, &isLink);
    }
    if (status != ERROR_SUCCESS) return status;
    if (!isLink) {
        std::vector<char> buffer;
        std::string child;
        // Always the first subkey: each one is gone before the next is asked for.
        while (key.EnumSubkey(0, buffer, child) == ERROR_SUCCESS) {
            if (depthLeft <= 0) return ERROR_KEY_HAS_CHILDREN;
            status = DeleteKeyTree(key, child, depthLeft - 1, view);
            if (status != ERROR_SUCCESS) return status;
        }
    }
    const LONG fault = RegistryWriteCheck();
    if (fault != ERROR_SUCCESS) return fault;
    if (isLink || counted) return DeleteOpenKey(key);
    key.Close();
    // Not a link, and named whole, so deleting by name reaches this very key.
    // (The native deletion takes no remote computer's key.)
    return ::RegDeleteKeyExA(parent, name.c_str(), view, 0);
}

bool SameKeyName(const char* a, const char* b) {
    const std::string textA(a), textB(b);
    if (zentrel::IsPlainAscii(textA) && zentrel::IsPlainAscii(textB)) return zentrel::SameAsciiIgnoringCase(textA, textB);
    const int lengthA = ::MultiByteToWideChar(CP_ACP, 0, a, -1, NULL, 0);
    const int lengthB = ::MultiByteToWideChar(CP_ACP, 0, b, -1, NULL, 0);
    if (lengthA <= 0 || lengthB <= 0) return false;
    std::vector<wchar_t> wideA(lengthA), wideB(lengthB);
    ::MultiByteToWideChar(CP_ACP, 0, a, -1, wideA.data(), lengthA);
    ::MultiByteToWideChar(CP_ACP, 0, b, -1, wideB.data(), lengthB);
    return ::CompareStringOrdinal(wideA.data(), -1, wideB.data(), -1, TRUE) == CSTR_EQUAL;
}
