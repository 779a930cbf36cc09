#include "ops/Remove.h"

#include <string>

#include "ops/Backup.h"
#include "ops/RunContext.h"
#include "registry/OdbcSection.h"
#include "registry/Removal.h"
#include "registry/Views.h"
#include "res/resource.h"

bool RemoveSource(RunContext& run, const RegistryPlace& place, const std::string& name) {
    if (!run.ConnectTo(place)) return false;
    RegKey existing;
    // Gone meanwhile: nothing to back up, and nothing removed.
    const LONG gone = existing.OpenUnfollowed(run.m_hOdbcIniKey, name.c_str(),
                                              KEY_QUERY_VALUE | ViewFlag(run.m_placeConnected.platform), nullptr);
    existing.Close();
    if (gone != ERROR_SUCCESS) {
        run.Fail("SHDeleteKey Error", RunContext::SystemErrorText(gone));
        return false;
    }
    std::string backup;
    if (!WriteBackup(run, {BackedUpSource(place, name)}, &backup)) return false;
    if (!run.ConnectTo(place)) return false;
    bool entriesLink = false;
    const LONG code =
        RemoveDataSource(run.m_hOdbcIniKey, name.c_str(), ViewFlag(run.m_placeConnected.platform), &entriesLink);
    if (code != ERROR_SUCCESS) {
        run.Fail("SHDeleteKey Error", RunContext::SystemErrorText(code));
        return false;
    }
    if (entriesLink) run.Fail("RegOpenKey", IDS_KEY_LINK, kDriverEntriesKey);
    return true;
}
