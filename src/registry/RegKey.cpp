#include "registry/RegKey.h"

#include <winternl.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/Utf.h"
#include "core/ValueFormat.h"
#include "registry/Views.h"

namespace {

const DWORD kValueNameCapacity = 16384;       // the platform's longest value name and its terminator
const size_t kGrowthLimit = size_t(1) << 30;  // beyond any value the registry can hold

std::atomic<unsigned long long> g_registryCalls(0);
std::atomic<ConnectionWatch> g_connectionWatch(nullptr);

bool Named(const char* path) { return path != nullptr && *path != '\0'; }

// A link keeps its target in this value; any key may hold one like it.
bool HoldsLinkTarget(HKEY key) {
    DWORD type = REG_NONE;
    CountRegistryCall();
    const LONG code = ::RegQueryValueExA(key, zentrel::kLinkTargetValue, NULL, &type, NULL, NULL);
    return (code == ERROR_SUCCESS || code == ERROR_MORE_DATA) && type == REG_LINK;
}

// The native calls a few deletions need, looked up once.
struct NativeRegistry {
    typedef LONG(WINAPI* OpenKeyFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);
    typedef LONG(WINAPI* DeleteKeyFn)(HANDLE);
    typedef ULONG(WINAPI* ToDosErrorFn)(LONG);
    typedef LONG(WINAPI* QueryKeyFn)(HANDLE, int, PVOID, ULONG, PULONG);
    OpenKeyFn openKey;
    DeleteKeyFn deleteKey;
    ToDosErrorFn toDosError;
    QueryKeyFn queryKey;

    NativeRegistry() {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        openKey = reinterpret_cast<OpenKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtOpenKey")));
        deleteKey = reinterpret_cast<DeleteKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDeleteKey")));
        toDosError =
            reinterpret_cast<ToDosErrorFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        queryKey = reinterpret_cast<QueryKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryKey")));
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

// The registry's own full name of the key a handle holds; empty when the
// platform does not tell (a remote computer's key).
std::vector<unsigned char> KeyObjectName(HKEY key) {
    std::vector<unsigned char> name(1024);
    const ULONG kKeyNameInformation = 3;
    if (Native().queryKey == nullptr) return std::vector<unsigned char>();
    for (;;) {
        ULONG size = 0;
        CountRegistryCall();
        const LONG status = Native().queryKey(key, kKeyNameInformation, name.data(), (ULONG)name.size(), &size);
        if (status == 0) {
            name.resize(size);
            return name;
        }
        const LONG kBufferTooSmall = (LONG)0xC0000023, kBufferOverflow = (LONG)0x80000005;
        if ((status != kBufferTooSmall && status != kBufferOverflow) || size <= name.size() || size > 1u << 20)
            return std::vector<unsigned char>();
        name.resize(size);
    }
}

// Whether a key opened without following links is a link. The value a link
// keeps its target in may be planted in any key, so it only says where to
// look: a link is what an ordinary open (`followedStatus`, `followed`) does
// not reach, being sent elsewhere or nowhere. Where the registry does not
// name its keys, a key holding that value counts as a link.
bool IsLinkKey(HKEY unfollowed, LONG followedStatus, HKEY followed) {
    if (!HoldsLinkTarget(unfollowed)) return false;
    if (followedStatus != ERROR_SUCCESS) return true;
    const std::vector<unsigned char> own = KeyObjectName(unfollowed);
    return own.empty() || own != KeyObjectName(followed);
}

// Opens a child whose name holds a zero byte: only the native call takes a
// counted name; a C string would stop at the zero and reach another key.
LONG OpenCountedName(HKEY parent, const std::string& name, ACCESS_MASK access, bool follow, HKEY* key) {
    *key = NULL;
    if (!Native().Present()) return ERROR_CALL_NOT_IMPLEMENTED;
    std::wstring wide = WideText(name);
    if (wide.empty() || wide.size() > 32767) return ERROR_INVALID_NAME;
    UNICODE_STRING text;
    text.Buffer = &wide[0];
    text.Length = text.MaximumLength = (USHORT)(wide.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    const ULONG kOpenLink = 0x100;  // OBJ_OPENLINK
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE | (follow ? 0 : kOpenLink), parent, NULL);
    HANDLE handle = NULL;
    CountRegistryCall();
    const LONG code = Native().Code(Native().openKey(&handle, access, &attributes));
    if (code == ERROR_SUCCESS) *key = static_cast<HKEY>(handle);
    return code;
}

bool UsesUtf8() { return ::GetACP() == CP_UTF8; }

}  // namespace

unsigned long long RegistryCallCount() { return g_registryCalls.load(std::memory_order_relaxed); }

void ResetRegistryCallCount() { g_registryCalls.store(0, std::memory_order_relaxed); }

void CountRegistryCall() { g_registryCalls.fetch_add(1, std::memory_order_relaxed); }

void SetConnectionWatch(ConnectionWatch watch) { g_connectionWatch.store(watch); }

std::wstring WideText(const std::string& text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return std::wstring();
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide((size_t)units, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], units);
    return wide;
}

bool ExactAnsi(const wchar_t* units, size_t count, std::string& out) {
    out.clear();
    if (count == 0) return true;
    if (count > 0x3FFFFFFF) return false;
    const bool utf8 = UsesUtf8();
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    const int length =
        ::WideCharToMultiByte(CP_ACP, flags, units, (int)count, NULL, 0, NULL, utf8 ? NULL : &usedDefault);
    if (length <= 0 || usedDefault) return false;
    out.resize((size_t)length);
    ::WideCharToMultiByte(CP_ACP, flags, units, (int)count, &out[0], length, NULL, utf8 ? NULL : &usedDefault);
    return !usedDefault;
}

namespace {

LONG TakeName(const wchar_t* units, size_t count, std::string& name) {
    if (ExactAnsi(units, count, name)) return ERROR_SUCCESS;
    name = zentrel::EscapedUtf16(reinterpret_cast<const uint16_t*>(units), count, !UsesUtf8());
    return ERROR_NO_UNICODE_TRANSLATION;
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::vector<wchar_t> Wide(const std::string& text) {
    std::vector<wchar_t> wide(1, L'\0');
    if (text.empty() || text.size() > 0x3FFFFFFF) return wide;
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
    if (length <= 0) return wide;
    wide.resize((size_t)length + 1);
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), wide.data(), length);
    wide[(size_t)length] = L'\0';
    return wide;
}

}  // namespace

namespace {

thread_local DWORD t_connectionLimit = 0;
ConnectionDelay g_connectionDelay = nullptr;

std::string MachineName(const std::string& computer) {
    if (computer.empty()) return computer;
    return computer[0] == '\\' ? computer : "\\\\" + computer;
}

// One connection made on a thread of its own, so that its caller can stop
// waiting for it; shared by both until the later one lets go.
struct PendingConnection {
    std::string computer;
    HKEY root = NULL;
    DWORD delay = 0;
    HKEY key = NULL;
    LONG status = ERROR_SUCCESS;
    HANDLE done = NULL;
    volatile LONG state = 0;  // 0 awaited, 1 made, 2 given up
    volatile LONG holders = 2;
    void Release() {
        if (::InterlockedDecrement(&holders) != 0) return;
        ::CloseHandle(done);
        delete this;
    }
};

// Not counted as a call: it may end after the run that asked for it.
DWORD WINAPI ConnectApart(void* param) {
    PendingConnection* pending = static_cast<PendingConnection*>(param);
    if (pending->delay != 0) ::Sleep(pending->delay);
    const std::string machine = MachineName(pending->computer);
    pending->status = ::RegConnectRegistryA(machine.empty() ? NULL : machine.c_str(), pending->root, &pending->key);
    // Given up: nobody may use it.
    if (::InterlockedCompareExchange(&pending->state, 1, 0) != 0 && pending->status == ERROR_SUCCESS)
        ::RegCloseKey(pending->key);
    ::SetEvent(pending->done);
    pending->Release();
    return 0;
}

// The thread is never waited for beyond the limit, nor at the process's
// end: a connection the network holds up holds nothing else up.
LONG ConnectWithin(const std::string& computer, HKEY root, DWORD limit, DWORD delay, HKEY* key) {
    PendingConnection* pending = new PendingConnection;
    pending->computer = computer;
    pending->root = root;
    pending->delay = delay;
    pending->done = ::CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = pending->done == NULL ? NULL : ::CreateThread(NULL, 0, &ConnectApart, pending, 0, NULL);
    if (thread == NULL) {
        const LONG code = (LONG)::GetLastError();
        if (pending->done != NULL) ::CloseHandle(pending->done);
        delete pending;
        return code;
    }
    ::CloseHandle(thread);
    const DWORD waited = ::WaitForSingleObject(pending->done, limit != 0 ? limit : INFINITE);
    LONG status = ERROR_TIMEOUT;
    // Made just as the wait ended counts as made in time.
    if (waited == WAIT_OBJECT_0 || ::InterlockedCompareExchange(&pending->state, 2, 0) == 1) {
        status = pending->status;
        if (status == ERROR_SUCCESS) *key = pending->key;
    }
    pending->Release();
    return status;
}

}  // namespace

void SetConnectionLimit(DWORD waitMs) { t_connectionLimit = waitMs; }

void SetConnectionDelay(ConnectionDelay delay) { g_connectionDelay = delay; }

LONG RegKey::Connect(const std::string& computer, HKEY root) {
    std::string reached = computer;
    const DWORD delay = g_connectionDelay != nullptr ? g_connectionDelay(&reached) : 0;
    const std::string machine = MachineName(reached);
    HKEY key = NULL;
    if (const ConnectionWatch watch = g_connectionWatch.load()) watch(machine, root);
    CountRegistryCall();
    const LONG status = t_connectionLimit != 0 || delay != 0
                            ? ConnectWithin(reached, root, t_connectionLimit, delay, &key)
                            : ::RegConnectRegistryA(machine.empty() ? NULL : machine.c_str(), root, &key);
    Attach(status == ERROR_SUCCESS ? key : NULL);
    return status;
}

LONG RegKey::Open(HKEY parent, const char* path, REGSAM view) {
    HKEY key = NULL;
    if (Named(path)) CountRegistryCall();
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
    // A key that exists but cannot be opened is not made anew: creating it
    // would open it with whatever rights are left.
    return status == ERROR_FILE_NOT_FOUND ? Create(parent, path, view) : status;
}

LONG RegKey::OpenUnfollowed(HKEY parent, const char* name, REGSAM access, bool* isLink) {
    if (isLink != nullptr) *isLink = false;
    HKEY key = NULL;
    if (Named(name)) CountRegistryCall();
    const LONG status =
        Named(name) ? ::RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key)
                    : ERROR_FILE_NOT_FOUND;
    Attach(status == ERROR_SUCCESS ? key : NULL);
    if (status == ERROR_SUCCESS && isLink != nullptr && HoldsLinkTarget(key)) {
        RegKey followed;
        const LONG reached = followed.Open(parent, name, access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY));
        *isLink = IsLinkKey(key, reached, followed);
    }
    return status;
}

LONG RegKey::OpenPathUnfollowed(HKEY root, const char* path, REGSAM view, bool* isLink) {
    *isLink = false;
    const std::string text = path != nullptr ? path : "";
    const size_t last = text.rfind('\\');
    if (last == std::string::npos) return OpenUnfollowed(root, text.c_str(), MAXIMUM_ALLOWED | view, isLink);
    RegKey parent;
    const LONG status = parent.Open(root, text.substr(0, last).c_str(), view);
    if (status != ERROR_SUCCESS) {
        Close();
        return status;
    }
    return OpenUnfollowed(parent, text.c_str() + last + 1, MAXIMUM_ALLOWED | view, isLink);
}

LONG RegKey::Unguarded::CreateVolatile(HKEY parent, const char* name, REGSAM view, RegKey* key, bool* created) {
    HKEY made = NULL;
    DWORD disposition = 0;
    const LONG code = ::RegCreateKeyExA(parent, name, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS | view, NULL, &made,
                                        &disposition);
    key->Attach(code == ERROR_SUCCESS ? made : NULL);
    *created = code == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return code;
}

LONG RegKey::Unguarded::SetValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    return ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG RegKey::Unguarded::DeleteLeaf(HKEY parent, const char* name, REGSAM view) {
    return ::RegDeleteKeyExA(parent, name, view, 0);
}

LONG RegKey::Unguarded::Reopen(HKEY key, REGSAM access, RegKey* reopened) {
    HKEY own = NULL;
    const LONG code = ::RegOpenKeyExA(key, "", 0, access, &own);
    reopened->Attach(code == ERROR_SUCCESS ? own : NULL);
    return code;
}

LONG RegKey::Unguarded::WrittenAt(HKEY key, unsigned long long* written) {
    FILETIME at = {0, 0};
    const LONG code = ::RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &at);
    *written = code == ERROR_SUCCESS ? ((unsigned long long)at.dwHighDateTime << 32) | at.dwLowDateTime : 0;
    return code;
}

LONG RegKey::QueryStamp(KeyStamp* stamp) const {
    CountRegistryCall();
    FILETIME written = {0, 0};
    const LONG code = ::RegQueryInfoKeyA(m_handle, NULL, NULL, NULL, &stamp->subkeys, NULL, NULL, &stamp->values, NULL,
                                         NULL, NULL, &written);
    stamp->known = code == ERROR_SUCCESS;
    stamp->written = ((unsigned long long)written.dwHighDateTime << 32) | written.dwLowDateTime;
    return code;
}

namespace {

// Asks for a value's data until the buffer holds it whole, grown as the
// registry says it must be.
template <class Ask>
LONG QueryWhole(std::vector<unsigned char>& data, const Ask& ask) {
    if (data.size() < 261) data.resize(261);
    for (;;) {
        DWORD size = (DWORD)data.size();
        CountRegistryCall();
        const LONG code = ask(data.data(), &size);
        if (code == ERROR_MORE_DATA && data.size() < kGrowthLimit) {
            data.resize(size > data.size() ? size : data.size() * 2);
            continue;
        }
        if (code == ERROR_SUCCESS) data.resize(size);
        return code;
    }
}

}  // namespace

LONG RegKey::QueryBytes(HKEY key, const char* name, std::vector<unsigned char>& data, DWORD* type) {
    return QueryWhole(data, [&](BYTE* into, DWORD* size) {
        return ::RegQueryValueExA(key, name, NULL, type, into, size);
    });
}

LONG RegKey::QueryStoredBytes(HKEY key, const std::string& name, std::vector<unsigned char>& data, DWORD* type) {
    const std::vector<wchar_t> wide = Wide(name);
    return QueryWhole(data, [&](BYTE* into, DWORD* size) {
        return ::RegQueryValueExW(key, wide.data(), NULL, type, into, size);
    });
}

LONG RegKey::QueryText(HKEY key, const char* name, std::string& text) {
    text.clear();
    std::vector<unsigned char> data;
    const LONG code = QueryBytes(key, name, data);
    if (code != ERROR_SUCCESS) return code;
    text = zentrel::TextUpToZero(data.data(), data.size());
    return code;
}

LONG RegKey::EnumSubkey(DWORD index, std::vector<wchar_t>& buffer, std::string& name) const {
    if (buffer.size() < 256) buffer.resize(256);
    for (;;) {
        DWORD size = (DWORD)buffer.size();
        CountRegistryCall();
        const LONG status = ::RegEnumKeyExW(m_handle, index, buffer.data(), &size, NULL, NULL, NULL, NULL);
        if (status == ERROR_MORE_DATA && buffer.size() < 32768) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        return TakeName(buffer.data(), size, name);
    }
}

LONG RegKey::EnumValue(DWORD index, std::vector<wchar_t>& nameBuffer, std::string& name, DWORD& type,
                       std::vector<unsigned char>& data, bool* stored) const {
    if (stored != nullptr) *stored = false;
    if (nameBuffer.size() < kValueNameCapacity) nameBuffer.resize(kValueNameCapacity);
    if (data.size() < 256) data.resize(256);
    for (;;) {
        DWORD nameSize = (DWORD)nameBuffer.size();
        DWORD dataSize = (DWORD)data.size();
        // The wide call hands text data over as stored: the ANSI one converts
        // it, losing an odd last byte or an unpaired surrogate.
        CountRegistryCall();
        const LONG code =
            ::RegEnumValueW(m_handle, index, nameBuffer.data(), &nameSize, NULL, &type, data.data(), &dataSize);
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
        data.resize(dataSize);
        if (IsTextType(type)) {
            std::string text;
            if (dataSize % 2 == 0 && ExactAnsi(reinterpret_cast<const wchar_t*>(data.data()), dataSize / 2, text)) {
                data.assign(text.begin(), text.end());
            } else if (stored != nullptr) {
                *stored = true;
            }
        }
        return TakeName(nameBuffer.data(), nameSize, name);
    }
}

LONG RegKey::SetStoredValue(HKEY key, const std::string& name, DWORD type, const std::vector<unsigned char>& data) {
    static const unsigned char kNothing = 0;
    const LONG fault = RegistryWriteCheck();
    if (fault != ERROR_SUCCESS) return fault;
    return ::RegSetValueExW(key, Wide(name).data(), 0, type, data.empty() ? &kNothing : data.data(),
                            (DWORD)data.size());
}

LONG DeleteKeyTree(HKEY parent, const std::string& name, int depthLeft, REGSAM view) {
    RegKey key;
    bool isLink = false;
    const bool counted = name.find('\0') != std::string::npos;
    LONG status;
    if (counted) {
        HKEY opened = NULL;
        status = OpenCountedName(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | view, false, &opened);
        key.Attach(opened);
        if (status == ERROR_SUCCESS && HoldsLinkTarget(opened)) {
            RegKey followed;
            HKEY reached = NULL;
            const LONG code = OpenCountedName(parent, name, KEY_QUERY_VALUE | view, true, &reached);
            followed.Attach(reached);
            isLink = IsLinkKey(opened, code, followed);
        }
    } else {
        status = key.OpenUnfollowed(parent, name.c_str(), DELETE | KEY_ENUMERATE_SUB_KEYS | view, &isLink);
    }
    if (status != ERROR_SUCCESS) return status;
    if (!isLink) {
        std::vector<wchar_t> buffer;
        std::string child;
        // Always the first subkey: each one is gone before the next is asked for.
        LONG found;
        while ((found = key.EnumSubkey(0, buffer, child)) != ERROR_NO_MORE_ITEMS) {
            // A name without exact form here would be deleted as its substitute.
            if (found != ERROR_SUCCESS) return found;
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
