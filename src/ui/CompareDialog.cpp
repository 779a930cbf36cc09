#include "ui/CompareDialog.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/Fonts.h"
#include "ui/MainWindow.h"
#include "ui/ValueViewer.h"
#include "ui/resource.h"

namespace {
const int kPlaced[] = {IDC_COMPARE_SUMMARY, IDC_COMPARE_SOURCES, IDC_COMPARE_ENTRIES,
                      IDC_COMPARE_VIEW,    IDCANCEL,            IDC_COMPARE_DIFFERENCES};

// Differences lead: differing, only in the file, only in the registry, identical.
int Rank(zentrel::SourceStatus status) {
    switch (status) {
    case zentrel::SourceStatus::Differs: return 0;
    case zentrel::SourceStatus::OnlyInFile: return 1;
    case zentrel::SourceStatus::OnlyInRegistry: return 2;
    default: return 3;
    }
}
}  // namespace

CompareDialog::CompareDialog(CWnd* parent, std::vector<zentrel::SourceComparison> comparisons, std::string summary)
    : CDialog(IDD_COMPARE, parent), m_comparisons(std::move(comparisons)), m_summary(std::move(summary)) {}

void CompareDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_COMPARE_SOURCES, m_lstSources);
    DDX_Control(pDX, IDC_COMPARE_ENTRIES, m_lstEntries);
}

BOOL CompareDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_font.Attach(CreateMessageFont());
    SetControlsFont(m_hWnd, kPlaced, 3, m_font);
    RECT client, window;
    ::GetClientRect(m_hWnd, &client);
    ::GetWindowRect(m_hWnd, &window);
    m_sizeTemplate = SIZE{client.right, client.bottom};
    m_sizeMinimum = SIZE{window.right - window.left, window.bottom - window.top};
    m_places.clear();
    for (int id : kPlaced) {
        RECT r;
        ::GetWindowRect(GetDlgItemHwnd(id), &r);
        ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        m_places.push_back(std::make_pair(id, r));
    }
    ::SetDlgItemTextA(m_hWnd, IDC_COMPARE_SUMMARY, m_summary.c_str());
    m_lstSources.InsertColumn(0, "Data Source Name", LVCFMT_LEFT, Scaled(220));
    m_lstSources.InsertColumn(1, "Platform", LVCFMT_LEFT, Scaled(80));
    m_lstSources.InsertColumn(2, "Status", LVCFMT_LEFT, Scaled(110));
    m_lstSources.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_lstEntries.InsertColumn(0, "Property name", LVCFMT_LEFT, Scaled(150));
    m_lstEntries.InsertColumn(1, "Registry", LVCFMT_LEFT, Scaled(150));
    m_lstEntries.InsertColumn(2, "File", LVCFMT_LEFT, Scaled(150));
    m_lstEntries.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    ::CheckDlgButton(m_hWnd, IDC_COMPARE_DIFFERENCES, BST_CHECKED);
    int counts[4] = {0, 0, 0, 0};
    for (const zentrel::SourceComparison& c : m_comparisons) ++counts[Rank(c.status)];
    ::SetWindowTextA(m_hWnd, zentrel::FormatText(MainWindow::LoadText(IDS_COMPARE_CAPTION), counts[0], counts[1],
                                                 counts[2], counts[3])
                                 .c_str());
    ShowSources();
    return TRUE;
}

void CompareDialog::ShowSources() {
    const bool differencesOnly = ::IsDlgButtonChecked(m_hWnd, IDC_COMPARE_DIFFERENCES) == BST_CHECKED;
    const int shown = m_shownSource;
    m_rows.clear();
    for (int i = 0; i < (int)m_comparisons.size(); ++i)
        if (!differencesOnly || m_comparisons[i].status != zentrel::SourceStatus::Identical) m_rows.push_back(i);
    const int column = m_sortColumn;
    const auto key = [this, column](int i) {
        const zentrel::SourceComparison& c = m_comparisons[i];
        return column == 0 ? c.name : column == 1 ? std::string(zentrel::PlatformText(c.platform)) : std::string();
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](int a, int b) {
        if (m_sortDescending) std::swap(a, b);
        if (column == 0 || column == 1) return ::lstrcmpiA(key(a).c_str(), key(b).c_str()) < 0;
        return Rank(m_comparisons[a].status) < Rank(m_comparisons[b].status);
    });
    m_lstSources.SetRedraw(FALSE);
    m_lstSources.DeleteAllItems();
    m_lstSources.SetItemCount((int)m_rows.size());
    int highlight = -1;
    for (int row = 0; row < (int)m_rows.size(); ++row) {
        const zentrel::SourceComparison& c = m_comparisons[m_rows[row]];
        m_lstSources.InsertItem(row, c.name.c_str());
        m_lstSources.SetItemText(row, 1, zentrel::PlatformText(c.platform));
        m_lstSources.SetItemText(row, 2, zentrel::SourceStatusText(c.status));
        if (m_rows[row] == shown) highlight = row;
    }
    m_lstSources.SetRedraw(TRUE);
    // The source shown below stays picked while it is listed; at first the
    // first difference is.
    if (highlight < 0 && shown < 0 && !m_rows.empty()) highlight = 0;
    if (highlight >= 0) {
        m_lstSources.SetItemState(highlight, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(m_lstSources.m_hWnd, highlight, FALSE);
    } else {
        ShowEntries(-1);
    }
}

void CompareDialog::ShowEntries(int row) {
    m_shownSource = row >= 0 && row < (int)m_rows.size() ? m_rows[row] : -1;
    m_lstEntries.DeleteAllItems();
    if (m_shownSource < 0) return;
    int item = 0;
    for (const zentrel::EntryDifference& d : m_comparisons[m_shownSource].differences) {
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
    if (header->idFrom == IDC_COMPARE_SOURCES && header->code == LVN_COLUMNCLICK) {
        const int column = reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem;
        m_sortDescending = column == m_sortColumn && !m_sortDescending;
        m_sortColumn = column;
        ShowSources();
        *result = 0;
        return TRUE;
    }
    if (header->idFrom == IDC_COMPARE_ENTRIES && header->code == NM_DBLCLK) {
        ViewSelectedEntry();
        *result = 0;
        return TRUE;
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

BOOL CompareDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_COMPARE_VIEW && HIWORD(wParam) == BN_CLICKED) {
        ViewSelectedEntry();
        return TRUE;
    }
    if (LOWORD(wParam) == IDC_COMPARE_DIFFERENCES && HIWORD(wParam) == BN_CLICKED) {
        ShowSources();
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

void CompareDialog::ViewSelectedEntry() {
    const int entry = ListView_GetNextItem(m_lstEntries.m_hWnd, -1, LVNI_SELECTED);
    if (entry >= 0) ViewEntry(m_shownSource, entry);
}

void CompareDialog::OnOK() {
    const int entry = ListView_GetNextItem(m_lstEntries.m_hWnd, -1, LVNI_SELECTED);
    ViewEntry(m_shownSource, entry >= 0 ? entry : 0);
}

void CompareDialog::ViewEntry(int source, int entry) {
    if (source < 0 || source >= (int)m_comparisons.size()) return;
    const std::vector<zentrel::EntryDifference>& differences = m_comparisons[source].differences;
    if (entry < 0 || entry >= (int)differences.size()) return;
    const zentrel::EntryDifference& d = differences[entry];
    const std::string text = "Registry:\r\n" + d.registry + "\r\n\r\nFile:\r\n" + d.file;
    ValueViewer viewer(this, d.path.empty() ? "(driver)" : d.path, text, false);
    MainWindow* owner = dynamic_cast<MainWindow*>(m_pParentWnd);
    if (owner != nullptr) {
        owner->GetPrompts().RunDialog(viewer);
    } else {
        viewer.DoModal();
    }
}

void CompareDialog::LayoutControls() {
    if (m_places.empty() || ::IsIconic(m_hWnd)) return;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int dx = client.right - m_sizeTemplate.cx, dy = client.bottom - m_sizeTemplate.cy;
    const int upper = dy / 2;
    for (const auto& place : m_places) {
        RECT r = place.second;
        switch (place.first) {
        case IDC_COMPARE_SUMMARY: r.right += dx; break;
        case IDC_COMPARE_SOURCES: r.right += dx; r.bottom += upper; break;
        case IDC_COMPARE_ENTRIES: r.right += dx; r.top += upper; r.bottom += dy; break;
        default: ::OffsetRect(&r, dx, dy); break;
        }
        ::SetWindowPos(GetDlgItemHwnd(place.first), NULL, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(m_hWnd, NULL, TRUE);
}

BOOL CompareDialog::OnMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    if (msg == WM_SIZE) {
        LayoutControls();
        return FALSE;
    }
    if (msg == WM_GETMINMAXINFO && m_sizeMinimum.cx > 0) {
        MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize.x = m_sizeMinimum.cx;
        limits->ptMinTrackSize.y = m_sizeMinimum.cy;
        *result = 0;
        return TRUE;
    }
    return FALSE;
}
