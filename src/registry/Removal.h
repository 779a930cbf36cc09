// Removal of a data source from a connected ODBC section.
#pragma once
#include <windows.h>

#include <string>

// Removes the source's key with everything below it first, then its driver
// entry (a source without one is removed all the same); returns the status
// of the key's removal. *entriesLink tells that the driver entries' key is a
// registry link, left alone. `byCopy`: without renaming keys.
LONG RemoveDataSource(HKEY odbcIni, const std::string& name, REGSAM view, bool byCopy, bool* entriesLink);
