// The Remove command: the current data source, asked for first when the
// settings say so.
#include <string>

#include "ops/Remove.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"
#include "ui/resource.h"

// The current data source is the highlighted row of the list as it stands
// now, in the scope, on the computer and in the view that row shows.
bool MainWindow::IsCurrentDsnListed() const { return CurrentRow() >= 0; }

void MainWindow::OnRemove() {
    if (!IsCurrentDsnListed()) {
        Fail("Remove", IDS_NO_CURRENT_ITEM);
        return;
    }
    if (g_pSettings != nullptr && g_pSettings->m_bAskDelete != 0) {
        const int answer =
            Report(LoadText(IDS_WARNING), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,
                   SourceText(IDS_REMOVE_QUESTION, IDS_REMOVE_QUESTION_VIEW, m_szCurrentDsn, m_placeCurrent, true));
        // Declined, the source stays current, as its highlight shows.
        if (answer != IDYES) return;
    }
    if (!RemoveSource(*this, m_placeCurrent, m_szCurrentDsn)) return;
    FillDsnList(true);
    m_szCurrentDsn[0] = '\0';
}
