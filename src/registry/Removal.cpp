#include "registry/Removal.h"

#include "core/RegistryLimits.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"

LONG RemoveDataSource(HKEY odbcIni, const std::string& name, REGSAM view, bool* entriesLink) {
    *entriesLink = false;
    const LONG code = DeleteKeyTree(odbcIni, name, (int)zentrel::kMaxDsnDepth, view);
    if (code != ERROR_SUCCESS) return code;
    RegKey sources;
    // A source without a driver entry is removed all the same; a link in the
    // entries' place is not written through.
    if (OpenDriverEntries(odbcIni, KEY_SET_VALUE | view, sources, entriesLink) == ERROR_SUCCESS && !*entriesLink)
        sources.DeleteValue(name.c_str());
    return ERROR_SUCCESS;
}
