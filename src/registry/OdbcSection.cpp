#include "registry/OdbcSection.h"

#include "registry/RegKey.h"
#include "registry/SafeReplace.h"

const char kOdbcIniPath[] = "Software\\ODBC\\ODBC.INI";

const char kDriverEntriesKey[] = "ODBC Data Sources";
const char* const kReservedDsnNames[3] = {kDriverEntriesKey, "ODBC File DSN", "ODBC"};

// A change's temporary keys are not sources either.
// "odbc data sources" is the driver entries' key all the same: compared
// exactly, it would be listed, exported and removed as a data source.
bool IsReservedDsnName(const char* name) {
    if (IsTransientKeyName(name)) return true;
    for (const char* reserved : kReservedDsnNames) {
        if (SameKeyName(name, reserved)) return true;
    }
    return false;
}

LONG OpenDriverEntries(HKEY odbc, REGSAM access, RegKey& key, bool* isLink) {
    const LONG code = key.OpenUnfollowed(odbc, kDriverEntriesKey, access, isLink);
    if (*isLink) key.Close();
    return code;
}
