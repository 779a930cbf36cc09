// Registry keys owned for a scope, and subkey enumeration that never stops
// at a long name.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// An open key closed when it goes out of scope or is replaced.
class RegKey {
public:
    RegKey() : m_hKey(NULL) {}
    ~RegKey() { Reset(NULL); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY Get() const { return m_hKey; }
    // Opens a subkey in place of the key held; the platform's status. An
    // empty path is refused: the platform would hand back the parent's own
    // handle, which this object would then close.
    LONG Open(HKEY parent, const char* path) {
        HKEY key = NULL;
        const LONG status = path != nullptr && *path != '\0' ? ::RegOpenKeyA(parent, path, &key) : ERROR_FILE_NOT_FOUND;
        Reset(status == ERROR_SUCCESS ? key : NULL);
        return status;
    }
    // Opens one subkey without following it should it be a registry link;
    // *isLink tells whether it is one (its only content is then the link).
    LONG OpenUnfollowed(HKEY parent, const char* name, REGSAM access, bool* isLink);
    void Reset(HKEY key) {
        if (m_hKey != NULL) ::RegCloseKey(m_hKey);
        m_hKey = key;
    }

private:
    HKEY m_hKey;
};

// Deletes a key with everything below it without following registry links:
// a link found on the way is removed itself, never what it points at.
// A name with a zero byte inside is deleted whole, not as its first part.
// `depthLeft` bounds the nesting walked. Returns the platform's status.
LONG DeleteKeyTree(HKEY parent, const std::string& name, int depthLeft);

// Whether two key names are the same key: the registry ignores case, as
// the platform folds it, in the names it receives from the ANSI code page.
bool SameKeyName(const char* a, const char* b);

// The index-th subkey's name. The buffer starts at the platform's longest key
// name (255 characters and the terminator) and grows should the registry hold
// a longer one, so that no key after it is lost. Returns the platform's status.
inline LONG EnumSubkeyName(HKEY key, DWORD index, std::vector<char>& buffer, std::string& name) {
    if (buffer.size() < 256) buffer.resize(256);
    for (;;) {
        DWORD size = (DWORD)buffer.size();
        const LONG status = ::RegEnumKeyExA(key, index, buffer.data(), &size, NULL, NULL, NULL, NULL);
        if (status == ERROR_MORE_DATA && buffer.size() < 32768) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status == ERROR_SUCCESS) name.assign(buffer.data(), size);
        return status;
    }
}
