// The Remove command: the current data source, asked for first when the
// settings say so.
#include <string>

#include "app/Settings.h"
#include "core/DsiSource.h"
#include "ui/Backup.h"
#include "ui/ChangeReports.h"
#include "registry/OdbcSection.h"
#include "registry/Removal.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

// The current data source is the highlighted row of the list as it stands
// now, in the scope, on the computer and in the view that row shows.
bool MainWindow::IsCurrentDsnListed() const { return CurrentRow() >= 0; }

void MainWindow::OnRemove() {
    if (!IsCurrentDsnListed()) {
        Report("Remove", MB_OK | MB_ICONSTOP, IDS_NO_CURRENT_ITEM);
        return;
    }

    if (g_pSettings != nullptr && g_pSettings->m_bAskDelete != 0) {
        const int answer =
            Report(LoadText(IDS_WARNING), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,
                   SourceText(IDS_REMOVE_QUESTION, IDS_REMOVE_QUESTION_VIEW, m_szCurrentDsn, m_placeCurrent, true));
        // Declined, the source stays current, as its highlight shows.
        if (answer != IDYES) return;
    }

    ScopeChanges changes(*this);
    if (!changes.Take(m_placeCurrent)) return;
    const REGSAM view = ViewFlag(m_placeConnected.platform);
    RegKey existing;
    // Gone meanwhile: nothing to back up, and nothing removed.
    const LONG gone = existing.OpenUnfollowed(m_hOdbcIniKey, m_szCurrentDsn, KEY_QUERY_VALUE | view, nullptr);
    existing.Close();
    if (gone != ERROR_SUCCESS) {
        Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, SystemErrorText(gone));
        return;
    }
    const std::string name = m_szCurrentDsn;
    BackupOutcome backup;
    if (!WriteBackup(*this, {BackedUpSource(m_placeCurrent, name)}, &backup) || !backup.held[0]) return;
    if (!changes.Take(m_placeCurrent)) return;
    // Another program may have changed it since it was read for the backup.
    SourceImage now;
    std::string key, why;
    if (!ReadSourceImage(m_hOdbcIniKey, view, name, &now, &key, &why) || !(now == backup.images[0])) {
        Report("Remove", MB_OK | MB_ICONSTOP, IDS_SOURCE_CHANGED, zentrel::ShownName(name));
        return;
    }
    bool entriesLink = false;
    const LONG code = RemoveDataSource(m_hOdbcIniKey, name, view, changes.ByCopy(m_placeCurrent), &entriesLink);
    if (code != ERROR_SUCCESS) {
        Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return;
    }
    if (entriesLink) Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kDriverEntriesKey);

    FillDsnList(true);
    m_szCurrentDsn[0] = '\0';
}
