// The ODBC section of a scope: where it lies and which of its subkeys are
// not data sources.
#pragma once
#include <windows.h>

// The registry path of the ODBC section below a scope's root.
extern const char kOdbcIniPath[];
// The subkey of the ODBC section whose values name each source's driver.
extern const char kDriverEntriesKey[];
// Subkeys of the ODBC section that are not data sources.
extern const char* const kReservedDsnNames[3];
// Whether a subkey name is one of them, as the registry compares key names.
bool IsReservedDsnName(const char* name);

class RegKey;

// Opens the driver entries' key of an open ODBC section with `access` (its
// view among it), without following it: a link there is closed again and
// told by *isLink, so that nothing is read or written through it.
LONG OpenDriverEntries(HKEY odbc, REGSAM access, RegKey& key, bool* isLink);
