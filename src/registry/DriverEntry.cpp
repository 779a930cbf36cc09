#include "registry/DriverEntry.h"

#include "registry/RegKey.h"

std::string ReadDriverEntry(HKEY driverEntries, const char* dsn) {
    std::string text;
    if (driverEntries != NULL) RegKey::QueryText(driverEntries, dsn, text);
    return text;
}
