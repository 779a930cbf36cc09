// The Remove command: the current data source, asked for first when the
// settings say so.
#include <string>

#include "app/Settings.h"
#include "registry/OdbcSection.h"
#include "registry/Removal.h"
#include "registry/Views.h"
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
    bool entriesLink = false;
    const LONG code =
        RemoveDataSource(m_hOdbcIniKey, m_szCurrentDsn, ViewFlag(m_placeConnected.platform), &entriesLink);
    if (code != ERROR_SUCCESS) {
        Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return;
    }
    if (entriesLink) Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kDriverEntriesKey);

    FillDsnList();
    m_szCurrentDsn[0] = '\0';
}
