// The Remove command: the current data source, asked for first when the
// settings say so.
#include <algorithm>
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
    const int removedRow = CurrentRow();
    const int topRow = ListView_GetTopIndex(m_lstDataSources.m_hWnd);
    if (!RemoveSource(*this, m_placeCurrent, m_szCurrentDsn)) return;
    FillDsnList(true);
    m_szCurrentDsn[0] = '\0';
    // The row that moved into its place becomes current, and the list stays
    // where it was scrolled to.
    const int count = m_lstDataSources.GetItemCount();
    if (count == 0 || removedRow < 0) return;
    RECT row = {};
    if (topRow > 0 && ListView_GetItemRect(m_lstDataSources.m_hWnd, 0, &row, LVIR_BOUNDS))
        ListView_Scroll(m_lstDataSources.m_hWnd, 0, std::min(topRow, count - 1) * (row.bottom - row.top));
    const int next = std::min(removedRow, count - 1);
    HighlightRow(next);
    ListRow(next);
}
