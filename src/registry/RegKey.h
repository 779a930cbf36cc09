// Registry keys owned for a scope: opening, creating, reading whole values and
// enumerating subkeys and values without ever stopping at a long name.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "framework/Handle.h"
#include "registry/WriteFault.h"

// Calls into the registry since the last reset: every open, query,
// enumeration, write and close is one, and on a remote computer one round
// trip. Always counted, so that a test or the bench can hold a path to its
// count; writes are counted where RegistryWriteCheck lets them pass.
unsigned long long RegistryCallCount();
void ResetRegistryCallCount();
void CountRegistryCall();

// How long each connection this thread makes waits for its computer to
// answer, in milliseconds; 0: as long as the platform waits. A connection
// that answers later is closed unused, so nothing is ever read or written
// through it; the wait then fails with ERROR_TIMEOUT.
void SetConnectionLimit(DWORD waitMs);
// A seam for tests and the bench: how long the connection to a computer
// takes before it is made, as a slow network would make it, and the
// computer it then reaches (*computer may be changed). Unset, no
// connection is delayed.
typedef DWORD (*ConnectionDelay)(std::string* computer);
void SetConnectionDelay(ConnectionDelay delay);
// A seam for tests: told of each connection before it is made, with the
// computer as passed to the platform ("" for this one) and the root asked for.
typedef void (*ConnectionWatch)(const std::string& machine, HKEY root);
void SetConnectionWatch(ConnectionWatch watch);

// Closing a key is a call like any other; harmless on a predefined root.
struct CountedRegKeyTraits : NullEmpty<HKEY> {
    static bool Release(HKEY h) {
        CountRegistryCall();
        return ::RegCloseKey(h) == ERROR_SUCCESS;
    }
};

// What the registry tells of a key without reading it: its counts, and
// when it or its values (not its subkeys' own) were last written.
struct KeyStamp {
    bool known = false;
    DWORD subkeys = 0, values = 0;
    unsigned long long written = 0;  // FILETIME
    bool operator==(const KeyStamp& other) const {
        return known && other.known && subkeys == other.subkeys && values == other.values && written == other.written;
    }
};

// An open key, closed when it goes out of scope or is replaced. Converts to
// HKEY, so that it can stand wherever the platform wants a key.
class RegKey : public UniqueHandle<CountedRegKeyTraits> {
public:
    RegKey() {}
    explicit RegKey(HKEY key) : UniqueHandle(key) {}
    RegKey(RegKey&&) = default;
    RegKey& operator=(RegKey&&) = default;

    // A root key of a computer's registry: `computer` as the user names it,
    // with or without the leading backslashes, empty for this computer.
    LONG Connect(const std::string& computer, HKEY root);
    // Every open and create names its registry view (`view`: KEY_WOW64_64KEY
    // or KEY_WOW64_32KEY, see registry/Views.h).
    // Opens a subkey in place of the key held; the platform's status. An
    // empty path is refused: the platform would hand back the parent's own
    // handle, which this object would then close.
    LONG Open(HKEY parent, const char* path, REGSAM view);
    // Opens the subkey, creating it and every missing level; an empty path
    // is refused likewise. *created tells whether the last level was made.
    LONG Create(HKEY parent, const char* path, REGSAM view, bool* created = nullptr);
    // Opens the subkey when it exists, else creates it.
    LONG OpenOrCreate(HKEY parent, const char* path, REGSAM view);
    // Opens one subkey without following it should it be a registry link;
    // *isLink tells whether it is one (its only content is then the link).
    // A key is a link by how it was created, not by the values it holds.
    // Given no isLink, the registry is not asked.
    LONG OpenUnfollowed(HKEY parent, const char* name, REGSAM access, bool* isLink);
    // Opens a path's levels as they lead, and its last level without
    // following it, with every right granted; *isLink as above.
    LONG OpenPathUnfollowed(HKEY root, const char* path, REGSAM view, bool* isLink);

    // A value into a fixed buffer; *size in: capacity, out: bytes stored.
    LONG QueryValue(const char* name, void* data, DWORD* size, DWORD* type = nullptr) const {
        CountRegistryCall();
        return ::RegQueryValueExA(m_handle, name, NULL, type, static_cast<BYTE*>(data), size);
    }
    // How many subkeys and values the key holds, and when it was written.
    LONG QueryStamp(KeyStamp* stamp) const;
    // A value's data whole, however large it has grown.
    LONG QueryBytes(const char* name, std::vector<unsigned char>& data, DWORD* type = nullptr) const {
        return QueryBytes(m_handle, name, data, type);
    }
    static LONG QueryBytes(HKEY key, const char* name, std::vector<unsigned char>& data, DWORD* type = nullptr);
    // A value's bytes as stored, text types untouched.
    static LONG QueryStoredBytes(HKEY key, const std::string& name, std::vector<unsigned char>& data, DWORD* type);
    // A value's text whole, up to its first zero.
    LONG QueryText(const char* name, std::string& text) const { return QueryText(m_handle, name, text); }
    static LONG QueryText(HKEY key, const char* name, std::string& text);
    LONG SetValue(const char* name, DWORD type, const void* data, DWORD size) { return SetValue(m_handle, name, type, data, size); }
    static LONG SetValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
        const LONG fault = RegistryWriteCheck();
        if (fault != ERROR_SUCCESS) return fault;
        return ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    // A REG_SZ value, its terminating zero counted in the data.
    LONG SetText(const char* name, const std::string& text) {
        return SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    LONG DeleteValue(const char* name) { return DeleteValue(m_handle, name); }
    static LONG DeleteValue(HKEY key, const char* name) {
        const LONG fault = RegistryWriteCheck();
        return fault != ERROR_SUCCESS ? fault : ::RegDeleteValueA(key, name);
    }
    // Deletes a subkey that has none of its own, by name; the platform's
    // status (refused for a key with subkeys).
    static LONG DeleteLeaf(HKEY parent, const char* name, REGSAM view) {
        const LONG fault = RegistryWriteCheck();
        return fault != ERROR_SUCCESS ? fault : ::RegDeleteKeyExA(parent, name, view, 0);
    }
    // The scope lock's own calls: neither the write seam nor the call count
    // sees them, since they guard the writes that are counted, and a lock
    // left behind by a counted failure would outlive the "run" the seam ended.
    struct Unguarded {
        // A volatile key, all access; *created: this call made it.
        static LONG CreateVolatile(HKEY parent, const char* name, REGSAM view, RegKey* key, bool* created);
        static LONG SetValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size);
        static LONG DeleteLeaf(HKEY parent, const char* name, REGSAM view);
        // A handle of its own to the same key.
        static LONG Reopen(HKEY key, REGSAM access, RegKey* reopened);
        // When the key or its values were last written (FILETIME).
        static LONG WrittenAt(HKEY key, unsigned long long* written);
    };
    // Renames a key; `to` in UTF-16, the registry's own form.
    static LONG Rename(HKEY key, const std::wstring& to) {
        const LONG fault = RegistryWriteCheck();
        return fault != ERROR_SUCCESS ? fault : ::RegRenameKey(key, NULL, to.c_str());
    }

    // The registry's names are UTF-16; here they are text in the ANSI code
    // page. A name without an exact form there (an unpaired surrogate, or
    // without the UTF-8 code page any character the code page lacks) gives
    // ERROR_NO_UNICODE_TRANSLATION, with `name` escaped for a message only.

    // The index-th subkey's name. The buffer starts at the platform's longest
    // key name (255 characters and the terminator) and grows should the
    // registry hold a longer one, so that no key after it is lost.
    LONG EnumSubkey(DWORD index, std::vector<wchar_t>& buffer, std::string& name) const;
    // The index-th value whole, the buffers growing as the value asks. Text
    // types come in the ANSI code page when their bytes are whole, exactly
    // convertible UTF-16; otherwise `data` holds the stored bytes untouched
    // and *stored is set.
    LONG EnumValue(DWORD index, std::vector<wchar_t>& nameBuffer, std::string& name, DWORD& type,
                   std::vector<unsigned char>& data, bool* stored = nullptr) const;
    // Stores the bytes as they are, text types included: no conversion.
    static LONG SetStoredValue(HKEY key, const std::string& name, DWORD type, const std::vector<unsigned char>& data);
};

// Text of the ANSI code page as UTF-16, zero bytes inside included; empty
// when there is none.
std::wstring WideText(const std::string& text);
// UTF-16 in the ANSI code page, exactly or not at all: never a substitute
// or a best-fit look-alike.
bool ExactAnsi(const wchar_t* units, size_t count, std::string& out);

// Deletes a key with everything below it without following registry links:
// a link found on the way is removed itself, never what it points at.
// A name with a zero byte inside is deleted whole, not as its first part.
// `depthLeft` bounds the nesting walked. Returns the platform's status.
LONG DeleteKeyTree(HKEY parent, const std::string& name, int depthLeft, REGSAM view);

// Whether two key names are the same key: the registry ignores case, as
// the platform folds it, in the names it receives from the ANSI code page.
bool SameKeyName(const char* a, const char* b);
