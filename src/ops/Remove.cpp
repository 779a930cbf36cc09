#include "ops/Remove.h"

#include <string>

#include "core/DsiSource.h"
#include "ops/Backup.h"
#include "ops/ChangeReports.h"
#include "ops/RunContext.h"
#include "registry/OdbcSection.h"
#include "registry/Removal.h"
#include "registry/Views.h"
#include "res/resource.h"

bool RemoveSource(RunContext& run, const RegistryPlace& place, const std::string& name) {
    ScopeChanges changes(run);
    if (!changes.Take(place)) return false;
    const REGSAM view = ViewFlag(run.m_placeConnected.platform);
    RegKey existing;
    // Gone meanwhile: nothing to back up, and nothing removed.
    const LONG gone = existing.OpenUnfollowed(run.m_hOdbcIniKey, name.c_str(), KEY_QUERY_VALUE | view, nullptr);
    existing.Close();
    if (gone != ERROR_SUCCESS) {
        run.Fail("SHDeleteKey Error", RunContext::SystemErrorText(gone));
        return false;
    }
    BackupOutcome backup;
    if (!WriteBackup(run, {BackedUpSource{place, name}}, &backup) || !backup.held[0]) return false;
    if (!changes.Take(place)) return false;
    // Another program may have changed it since it was read for the backup.
    SourceImage now;
    std::string key, why;
    if (!ReadSourceImage(run.m_hOdbcIniKey, view, name, &now, &key, &why) || !(now == backup.images[0])) {
        run.Fail("Remove", IDS_SOURCE_CHANGED, zentrel::ShownName(name));
        return false;
    }
    bool entriesLink = false;
    const LONG code = RemoveDataSource(run.m_hOdbcIniKey, name, view, changes.ByCopy(place), &entriesLink);
    if (code != ERROR_SUCCESS) {
        run.Fail("SHDeleteKey Error", RunContext::SystemErrorText(code));
        return false;
    }
    if (entriesLink) run.Fail("RegOpenKey", IDS_KEY_LINK, kDriverEntriesKey);
    return true;
}
