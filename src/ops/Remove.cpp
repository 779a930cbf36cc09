#include "ops/Remove.h"

#include <string>
#include <vector>

#include "core/DsiSource.h"
#include "ops/Backup.h"
#include "ops/ChangeReports.h"
#include "ops/Compare.h"
#include "ops/Listing.h"
#include "ops/RunContext.h"
#include "registry/OdbcSection.h"
#include "registry/Removal.h"
#include "registry/SafeReplace.h"
#include "registry/ScopeLock.h"
#include "registry/Views.h"
#include "res/resource.h"

bool RemoveSource(RunContext& run, const RegistryPlace& place, const std::string& name) {
    return RemoveSources(run, place, {name}) == 1;
}

size_t RemoveSources(RunContext& run, const RegistryPlace& place, const std::vector<std::string>& names,
                     std::string* backupPath) {
    if (backupPath != nullptr) backupPath->clear();
    ScopeChanges changes(run);
    if (!changes.Take(place)) return 0;
    const REGSAM view = ViewFlag(run.m_placeConnected.platform);
    std::vector<std::string> present;
    for (const std::string& name : names) {
        RegKey existing;
        // Gone meanwhile: nothing to back up, and nothing removed.
        const LONG gone = existing.OpenUnfollowed(run.m_hOdbcIniKey, name.c_str(), KEY_QUERY_VALUE | view, nullptr);
        if (gone != ERROR_SUCCESS) {
            run.Fail("SHDeleteKey Error", RunContext::SystemErrorText(gone));
        } else {
            present.push_back(name);
        }
    }
    if (present.empty()) return 0;
    std::vector<BackedUpSource> sources;
    for (const std::string& name : present) sources.push_back(BackedUpSource{place, name});
    BackupOutcome backup;
    if (!WriteBackup(run, sources, &backup)) return 0;
    if (backupPath != nullptr) *backupPath = backup.path;
    if (!changes.Take(place)) return 0;
    size_t removed = 0;
    for (size_t i = 0; i < present.size(); ++i) {
        if (!backup.held[i]) continue;
        const std::string& name = present[i];
        // Another program may have changed it since it was read for the backup.
        SourceImage now;
        std::string key, why;
        if (!ReadSourceImage(run.m_hOdbcIniKey, view, name, &now, &key, &why) || !(now == backup.images[i])) {
            run.Fail("Remove", IDS_SOURCE_CHANGED, zentrel::ShownName(name));
            continue;
        }
        bool entriesLink = false;
        const LONG code = RemoveDataSource(run.m_hOdbcIniKey, name, view, changes.ByCopy(place), &entriesLink);
        if (code != ERROR_SUCCESS) {
            run.Fail("SHDeleteKey Error", RunContext::SystemErrorText(code));
            continue;
        }
        if (entriesLink) run.Fail("RegOpenKey", IDS_KEY_LINK, kDriverEntriesKey);
        ++removed;
    }
    return removed;
}

namespace {

// None of these is a data source; a backslash would reach a key below one.
bool Removable(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos && !IsReservedDsnName(name.c_str()) &&
           !IsLockKeyName(name.c_str()) && !IsTransientKeyName(name.c_str());
}

// The names of one scope in one view: what is there removed (or, in a
// preview, told), each found marked in *found. False when the view's
// section cannot be reached (reported for the first view).
bool RemoveInView(RunContext& run, const ScopePlace& where, zentrel::Platform view, bool first,
                  const std::vector<std::string>& names, std::vector<bool>* found, int* removed) {
    run.m_bSectionNotMade = true;
    const int connected = run.ConnectToRemoteSystem(where.computer, where.systemScope, view, !first);
    run.m_bSectionNotMade = false;
    // No section: no sources.
    if (connected == RunContext::kNoSection || connected == -3) return true;
    if (connected != 0) return !first;
    const REGSAM flag = ViewFlag(run.m_placeConnected.platform);
    std::vector<std::string> present;
    for (size_t i = 0; i < names.size(); ++i) {
        RegKey existing;
        if (existing.OpenUnfollowed(run.m_hOdbcIniKey, names[i].c_str(), KEY_QUERY_VALUE | flag, nullptr) !=
            ERROR_SUCCESS)
            continue;
        (*found)[i] = true;
        present.push_back(names[i]);
    }
    if (present.empty()) return true;
    if (run.facts.Preview()) {
        std::string lines;
        for (const std::string& name : present) lines += PreviewLine("remove", name, run.m_placeConnected.platform);
        run.facts.WriteOut(run.facts.OutputLines(lines));
        return true;
    }
    std::string backup;
    const size_t count = RemoveSources(run, run.m_placeConnected, present, &backup);
    *removed += (int)count;
    // Each one left is reported where it was left; the run did not complete.
    if (count < present.size()) run.MarkFailed();
    if (!backup.empty()) run.facts.WriteErr(zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_WRITTEN), backup));
    return true;
}

}  // namespace

int RemoveNamedSources(RunContext& run, const std::vector<zentrel::RemovalSwitch>& names) {
    int removed = 0;
    for (const BOOL systemScope : {FALSE, TRUE}) {
        std::vector<std::string> scopeNames;
        for (const zentrel::RemovalSwitch& removal : names) {
            if (removal.userScope == (systemScope != FALSE)) continue;
            if (Removable(removal.text)) {
                scopeNames.push_back(removal.text);
            } else {
                run.Fail("Remove", IDS_REMOVE_REFUSED, zentrel::ShownName(removal.text));
            }
        }
        if (scopeNames.empty()) continue;
        const ScopePlace where = run.BatchPlace(systemScope);
        std::vector<bool> found(scopeNames.size(), false);
        bool reached = true;
        const std::vector<zentrel::Platform> views = ViewsOf(where);
        for (size_t v = 0; v < views.size() && reached; ++v)
            reached = RemoveInView(run, where, views[v], v == 0, scopeNames, &found, &removed);
        if (!reached) continue;
        for (size_t i = 0; i < scopeNames.size(); ++i)
            if (!found[i])
                run.Remark("Remove", MB_OK | MB_ICONINFORMATION, IDS_REMOVE_ABSENT, zentrel::ShownName(scopeNames[i]),
                           systemScope ? "System" : "User");
    }
    return removed;
}
