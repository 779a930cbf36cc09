#include "registry/Removal.h"

#include "core/RegistryLimits.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"

LONG RemoveDataSource(HKEY odbcIni, const std::string& name, REGSAM view) {
    const LONG code = DeleteKeyTree(odbcIni, name, (int)zentrel::kMaxDsnDepth, view);
    if (code != ERROR_SUCCESS) return code;
    RegKey sources;
    if (sources.Open(odbcIni, kDriverEntriesKey, view) == ERROR_SUCCESS) sources.DeleteValue(name.c_str());
    return ERROR_SUCCESS;
}
