// Removal of the current data source from the connected scope: its key with
// everything below it first, then its driver entry.
#include <string>

#include "app/Settings.h"
#include "dsi/Backup.h"
#include "registry/RegistryLimits.h"
#include "registry/RegKey.h"
#include "registry/SafeReplace.h"
#include "registry/Views.h"
#include "ui/ChangeReports.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

// The current data source survives a refill of the list, so after a scope
// switch or a refresh against another computer its name may stand for a
// source the user never picked there. Only the source picked in the list as
// it stands now, in the view of the row picked, is acted on.
bool MainWindow::IsCurrentDsnListed() const {
    if (m_szCurrentDsn[0] == '\0' || m_lstDataSources.m_hWnd == NULL) return false;
    if (!m_placeCurrent.known || !m_placeCurrent.SameScope(m_placeListed)) return false;
    const int count = m_lstDataSources.GetItemCount();
    for (int i = 0; i < count; ++i) {
        if (m_lstDataSources.GetItemText(i, 0) == m_szCurrentDsn && RowPlace(i) == m_placeCurrent) return true;
    }
    return false;
}

void MainWindow::OnRemove() {
    if (!IsCurrentDsnListed()) {
        Report("Export", MB_OK | MB_ICONSTOP, IDS_NO_CURRENT_ITEM);
        return;
    }

    if (g_pSettings != nullptr && g_pSettings->m_bAskDelete != 0) {
        const int answer = Report(LoadText(IDS_WARNING), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,
                                  IDS_REMOVE_QUESTION, m_szCurrentDsn);
        if (answer != IDYES) {
            m_szCurrentDsn[0] = '\0';
            return;
        }
    }

    if (!ConnectTo(m_placeCurrent)) return;
    const REGSAM view = ViewFlag(m_placeConnected.platform);
    RegKey existing;
    // Gone meanwhile: nothing to back up, and nothing removed.
    const LONG code = existing.OpenUnfollowed(m_hOdbcIniKey, m_szCurrentDsn, KEY_QUERY_VALUE | view, nullptr);
    existing.Close();
    if (code != ERROR_SUCCESS) {
        Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return;
    }
    const std::string dsn = m_szCurrentDsn;
    std::string backup;
    if (!WriteBackup(*this, {BackedUpSource(m_placeCurrent, dsn)}, &backup)) return;
    if (!ConnectTo(m_placeCurrent)) return;
    // The source and its driver entry go together, or neither does.
    if (!ReportChange(*this, RemoveSource(m_hOdbcIniKey, view, dsn), dsn)) return;

    FillDsnList();
    m_szCurrentDsn[0] = '\0';
}
