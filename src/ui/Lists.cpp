// Painting the two lists of the main window, and the row that becomes the
// current data source.
#include "ui/MainWindow.h"
#include "ui/resource.h"

void MainWindow::ShowDataSources(const std::vector<ListedSource>& sources) {
    m_lstDataSources.SetRedraw(FALSE);
    m_lstDataSources.SetItemCount((int)sources.size());
    int row = 0;
    for (const ListedSource& source : sources) {
        m_lstDataSources.InsertItem(row, source.name.c_str(), static_cast<LPARAM>(source.platform));
        m_lstDataSources.SetItemText(row, 1, zentrel::PlatformColumn(source.platform, source.check).c_str());
        ++row;
    }
    m_lstDataSources.SetCheck(-1, TRUE);
    m_lstDataSources.SetRedraw(TRUE);
    m_lstDataSources.Invalidate();
}

void MainWindow::ShowAttributeRows() {
    m_lstAttributes.SetRedraw(FALSE);
    for (int i = 0; i < m_nAttributeRows; ++i) {
        const AttributeRow& row = m_aAttributeRows[i];
        m_lstAttributes.InsertItem(i, row.name.c_str());
        m_lstAttributes.SetItemText(i, 1, row.valueText.c_str());
        m_lstAttributes.SetItemText(i, 2, row.typeText.c_str());
    }
    m_lstAttributes.SetRedraw(TRUE);
    m_lstAttributes.Invalidate();
}

LRESULT MainWindow::OnDsnItemChanged(const NMHDR* header) {
    const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
    // A change reported for all rows at once (item -1) names no data source:
    // reading its text would make the empty name current and list the whole
    // ODBC section as one source.
    if (m_bFilling || change->iItem < 0) return 0;
    m_lstDataSources.GetItemText(change->iItem, 0, m_szCurrentDsn, 260);
    m_placeCurrent = RowPlace(change->iItem);
    ::SetDlgItemTextA(m_hWnd, IDC_CAPTION_LINE,
                      zentrel::FormatText(LoadText(IDS_PROPERTIES_CAPTION), m_szCurrentDsn).c_str());

    m_nAttributeRows = 0;
    m_aAttributeRows.clear();
    m_lstAttributes.DeleteAllItems();
    if (!ConnectTo(m_placeCurrent)) return 0;
    FillSubTree(m_hOdbcIniKey, m_szCurrentDsn, nullptr);
    ShowAttributeRows();
    return 0;
}
