// The driver name that the ODBC section's driver-entries key gives a data source.
#pragma once
#include <windows.h>

#include <string>

// The entry's text, whole, up to its first zero; empty when the key is NULL
// or the source has no readable entry.
std::string ReadDriverEntry(HKEY driverEntries, const char* dsn);
