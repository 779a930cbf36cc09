#include "registry/DriverEntry.h"

#include <vector>

std::string ReadDriverEntry(HKEY driverEntries, const char* dsn) {
    if (driverEntries == NULL) return std::string();
    std::vector<char> data(261);
    for (;;) {
        DWORD size = (DWORD)data.size();
        const LONG code = ::RegQueryValueExA(driverEntries, dsn, NULL, NULL, (BYTE*)data.data(), &size);
        if (code == ERROR_MORE_DATA) {
            data.resize(size > data.size() ? size : data.size() * 2);
            continue;
        }
        if (code != ERROR_SUCCESS) return std::string();
        const std::string text(data.data(), size);
        return text.substr(0, text.find('\0'));
    }
}
