#include "ui/CompareDialog.h"

#include <commctrl.h>

#include "ui/resource.h"

CompareDialog::CompareDialog(CWnd* parent, std::vector<zentrel::SourceComparison> comparisons, std::string summary)
    : CDialog(IDD_COMPARE, parent), m_comparisons(std::move(comparisons)), m_summary(std::move(summary)) {}

void CompareDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_COMPARE_SOURCES, m_lstSources);
    DDX_Control(pDX, IDC_COMPARE_ENTRIES, m_lstEntries);
}

BOOL CompareDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextA(m_hWnd, IDC_COMPARE_SUMMARY, m_summary.c_str());
    m_lstSources.InsertColumn(0, "Data Source Name", LVCFMT_LEFT, 220);
    m_lstSources.InsertColumn(1, "Platform", LVCFMT_LEFT, 80);
    m_lstSources.InsertColumn(2, "Status", LVCFMT_LEFT, 110);
    m_lstSources.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_lstEntries.InsertColumn(0, "Property name", LVCFMT_LEFT, 150);
    m_lstEntries.InsertColumn(1, "Registry", LVCFMT_LEFT, 150);
    m_lstEntries.InsertColumn(2, "File", LVCFMT_LEFT, 150);
    m_lstEntries.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (size_t i = 0; i < m_comparisons.size(); ++i) {
        const zentrel::SourceComparison& c = m_comparisons[i];
        const int row = m_lstSources.InsertItem((int)i, c.name.c_str());
        m_lstSources.SetItemText(row, 1, zentrel::PlatformText(c.platform));
        m_lstSources.SetItemText(row, 2, zentrel::SourceStatusText(c.status));
    }
    return TRUE;
}

void CompareDialog::ShowEntries(int row) {
    m_lstEntries.DeleteAllItems();
    if (row < 0 || row >= (int)m_comparisons.size()) return;
    int item = 0;
    for (const zentrel::EntryDifference& d : m_comparisons[row].differences) {
        // The driver has no path of its own.
        const std::string name = d.path.empty() && std::string(d.kind) == "driver" ? "(driver)" : d.path;
        item = m_lstEntries.InsertItem(item, name.c_str()) + 1;
        m_lstEntries.SetItemText(item - 1, 1, d.registry.c_str());
        m_lstEntries.SetItemText(item - 1, 2, d.file.c_str());
    }
}

BOOL CompareDialog::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom == IDC_COMPARE_SOURCES && header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change->uNewState & LVIS_SELECTED) != 0 && (change->uOldState & LVIS_SELECTED) == 0)
            ShowEntries(change->iItem);
        *result = 0;
        return TRUE;
    }
    return CDialog::OnNotify(wParam, lParam, result);
}
