// Painting the two lists of the main window, and the row that becomes the
// current data source.
#include <cstring>

#include "ui/MainWindow.h"

#include "registry/InstalledDrivers.h"
#include "ui/resource.h"

void MainWindow::ShowDataSources(std::vector<ListedSource> sources) {
    m_listedSources = std::move(sources);
    m_lstDataSources.SetRedraw(FALSE);
    m_lstDataSources.SetItemCount((int)m_listedSources.size());
    int row = 0;
    for (const ListedSource& source : m_listedSources) {
        m_lstDataSources.InsertItem(row, source.name.c_str());
        m_lstDataSources.SetItemText(row, 1, LPSTR_TEXTCALLBACKA);
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
    // Whole or not at all: a cut name would be another key's.
    const std::string name = m_lstDataSources.GetItemText(change->iItem, 0);
    if (name.size() >= sizeof(m_szCurrentDsn)) return 0;
    memcpy(m_szCurrentDsn, name.c_str(), name.size() + 1);
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

LRESULT MainWindow::OnDsnListDisplayInfo(const NMHDR* header) {
    NMLVDISPINFOA* info = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header));
    const int row = info->item.iItem;
    if ((info->item.mask & LVIF_TEXT) == 0 || info->item.iSubItem != 1 || row < 0 ||
        row >= (int)m_listedSources.size())
        return 0;
    ListedSource& source = m_listedSources[row];
    if (source.column.empty()) {
        if (m_listedDrivers) {
            source.driver = m_listedDrivers->Driver(source.platform, source.name);
            source.check = m_listedDrivers->Check(source.platform, source.driver);
        }
        source.column = zentrel::PlatformColumn(source.platform, source.check);
    }
    lstrcpynA(info->item.pszText, source.column.c_str(), info->item.cchTextMax);
    return 0;
}
