#include "registry/Removal.h"

#include "core/RegistryLimits.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"
#include "registry/SafeReplace.h"

LONG RemoveDataSource(HKEY odbcIni, const std::string& name, REGSAM view, bool byCopy, bool* entriesLink) {
    RegKey sources;
    OpenDriverEntries(odbcIni, KEY_QUERY_VALUE | view, sources, entriesLink);
    sources.Close();
    // The source and its driver entry go together, or neither does; a link
    // in the entries' place is not written through.
    const ChangeResult result = RemoveSource(odbcIni, view, name, byCopy);
    return result.Ok() ? ERROR_SUCCESS : result.code;
}
