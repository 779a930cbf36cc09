// Enumeration of subkey names that never stops at a long name.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

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
