// The Remove command: the current data source, asked for first when the
// settings say so.
#include <string>

#include "app/Settings.h"
#include "ui/Backup.h"
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

    if (!ConnectTo(m_placeCurrent)) return;
    RegKey existing;
    // Gone meanwhile: nothing to back up, and nothing removed.
    const LONG gone = existing.OpenUnfollowed(m_hOdbcIniKey, m_szCurrentDsn,
                                              KEY_QUERY_VALUE | ViewFlag(m_placeConnected.platform), nullptr);
    existing.Close();
    if (gone != ERROR_SUCCESS) {
        Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, SystemErrorText(gone));
        return;
    }
    std::string backup;
    if (!WriteBackup(*this, {BackedUpSource(m_placeCurrent, m_szCurrentDsn)}, &backup)) return;
    if (!ConnectTo(m_placeCurrent)) return;
    bool entriesLink = false;
    const LONG code =
        RemoveDataSource(m_hOdbcIniKey, m_szCurrentDsn, ViewFlag(m_placeConnected.platform), &entriesLink);
    if (code != ERROR_SUCCESS) {
        Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return;
    }
    if (entriesLink) Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kDriverEntriesKey);

    FillDsnList(true);
    m_szCurrentDsn[0] = '\0';
}
