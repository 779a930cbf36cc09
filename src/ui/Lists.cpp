// Painting the two lists of the main window, and the row that becomes the
// current data source: the highlighted row, and only it.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "core/Secrets.h"
#include "core/ValueFormat.h"
#include "registry/InstalledDrivers.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/DsnNameDialog.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"
#include "ui/resource.h"

namespace {
const int kDriverColumn = 1;
const int kPlatformColumn = 2;
// Characters of a name a message box shows on one line: a box as wide as a
// 255-character name would run off the screen.
const size_t kMessageRun = 64;
}  // namespace

void MainWindow::ShowDataSources(std::vector<ListedSource> sources) {
    m_allSources = std::move(sources);
    m_ticks.clear();
    ShowFilteredRows();
}

namespace {
// Ticks are remembered by name and view while the filter hides their rows.
std::string TickKey(const ListedSource& source) { return source.name + '\0' + std::to_string((int)source.platform); }
// Whether the text holds the part (given in lower case), ASCII letters folded.
bool Holds(const std::string& text, const std::string& part) {
    return zentrel::AsciiLower(text).find(part) != std::string::npos;
}
}  // namespace

std::string MainWindow::FilterText() const {
    HWND box = GetDlgItemHwnd(IDC_FILTER);
    if (box == NULL) return std::string();
    std::string text((size_t)::GetWindowTextLengthA(box) + 1, '\0');
    text.resize((size_t)::GetWindowTextA(box, &text[0], (int)text.size()));
    return text;
}

bool MainWindow::RowHolds(ListedSource& source, const std::string& part) {
    PrepareRow(source);
    return Holds(source.name, part) || Holds(source.driver, part);
}

void MainWindow::ShowFilteredRows() {
    for (int i = 0; i < (int)m_listedSources.size() && i < m_lstDataSources.GetItemCount(); ++i)
        m_ticks[TickKey(m_listedSources[i])] = m_lstDataSources.GetCheck(i) != FALSE;
    const std::string part = zentrel::AsciiLower(FilterText());
    m_listedSources.clear();
    for (ListedSource& source : m_allSources)
        if (part.empty() || RowHolds(source, part)) m_listedSources.push_back(source);
    SortListedSources(nullptr);
    m_lstDataSources.SetRedraw(FALSE);
    m_lstDataSources.DeleteAllItems();
    m_lstDataSources.SetItemCount((int)m_listedSources.size());
    int row = 0;
    for (const ListedSource& source : m_listedSources) {
        m_lstDataSources.InsertItem(row, source.name.c_str());
        m_lstDataSources.SetItemText(row, kDriverColumn, LPSTR_TEXTCALLBACKA);
        m_lstDataSources.SetItemText(row, kPlatformColumn, LPSTR_TEXTCALLBACKA);
        ++row;
    }
    m_lstDataSources.SetCheck(-1, TRUE);
    for (int i = 0; i < (int)m_listedSources.size(); ++i) {
        const auto tick = m_ticks.find(TickKey(m_listedSources[i]));
        if (tick != m_ticks.end() && !tick->second) m_lstDataSources.SetCheck(i, FALSE);
    }
    m_lstDataSources.SetRedraw(TRUE);
    m_lstDataSources.Invalidate();
}

void MainWindow::ApplyFilter() {
    if (m_lstDataSources.m_hWnd == NULL) return;
    const int current = CurrentRow();
    const BOOL filling = m_bFilling;
    m_bFilling = TRUE;
    ShowFilteredRows();
    m_bFilling = filling;
    // The current source stays current while it is shown; a hidden one is
    // acted on by nothing.
    const int row = CurrentRow();
    HighlightRow(row);
    if (row < 0 && current >= 0) ClearCurrent();
    ShowStatusLine();
}

void MainWindow::OnFind() {
    DsnNameDialog dialog(this);
    dialog.m_strName = m_strFind;
    dialog.m_strCaption = LoadText(IDS_FIND_CAPTION);
    if (GetPrompts().RunDialog(dialog) != IDOK || dialog.m_strName.empty()) return;
    m_strFind = dialog.m_strName;
    OnFindNext();
}

void MainWindow::OnFindNext() {
    if (m_strFind.empty()) {
        OnFind();
        return;
    }
    const std::string part = zentrel::AsciiLower(m_strFind);
    const int count = (int)m_listedSources.size();
    const int from = ListView_GetNextItem(m_lstDataSources.m_hWnd, -1, LVNI_FOCUSED);
    // From the row after the focused one, round to it.
    for (int k = 1; k <= count; ++k) {
        const int row = (from + k) % count;
        if (!RowHolds(m_listedSources[row], part)) continue;
        HighlightRow(row);
        ListRow(row);
        ::SetFocus(m_lstDataSources.m_hWnd);
        return;
    }
    Remark("Find", MB_OK | MB_ICONINFORMATION, IDS_NOT_FOUND, zentrel::ShownName(m_strFind));
}

void MainWindow::ShowAttributeRows() {
    m_lstAttributes.SetRedraw(FALSE);
    m_shownAttributes.assign(m_aAttributeRows.begin(), m_aAttributeRows.begin() + m_nAttributeRows);
    m_revealedSecrets.assign(m_shownAttributes.size(), false);
    for (int i = 0; i < m_nAttributeRows; ++i) {
        const AttributeRow& row = m_aAttributeRows[i];
        m_lstAttributes.InsertItem(i, row.name.c_str());
        m_lstAttributes.SetItemText(i, 1, SecretMasked(i) ? zentrel::kSecretMask : row.valueText.c_str());
        m_lstAttributes.SetItemText(i, 2, row.typeText.c_str());
    }
    m_lstAttributes.SetRedraw(TRUE);
    m_lstAttributes.Invalidate();
}

bool MainWindow::SecretMasked(int row) const {
    if (g_pSettings != nullptr && !g_pSettings->m_bMaskSecrets) return false;
    if (row < 0 || row >= (int)m_shownAttributes.size() || m_revealedSecrets[row]) return false;
    const AttributeRow& shown = m_shownAttributes[row];
    return !shown.subkey && zentrel::IsSecretValueName(shown.name.substr(shown.valueNameAt));
}

void MainWindow::ShowValueCells() {
    if (m_lstAttributes.m_hWnd == NULL) return;
    for (int i = 0; i < (int)m_shownAttributes.size() && i < m_lstAttributes.GetItemCount(); ++i)
        m_lstAttributes.SetItemText(i, 1, SecretMasked(i) ? zentrel::kSecretMask : m_shownAttributes[i].valueText.c_str());
}

void MainWindow::OnRevealSecret() {
    HWND list = m_lstAttributes.m_hWnd;
    const int first = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (first < 0) {
        Fail("Show Secret Value", IDS_NO_PROPERTY_ROW);
        return;
    }
    for (int i = first; i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED))
        if (i < (int)m_revealedSecrets.size()) m_revealedSecrets[i] = true;
    ShowValueCells();
}

void MainWindow::OnWithholdSecrets() {
    m_bWithholdSecrets = !m_bWithholdSecrets;
    if (HMENU menu = ::GetMenu(m_hWnd))
        ::CheckMenuItem(menu, ID_WITHHOLD_SECRETS, MF_BYCOMMAND | (m_bWithholdSecrets ? MF_CHECKED : MF_UNCHECKED));
}

bool MainWindow::NameInOtherView(const std::string& name, zentrel::Platform platform) const {
    if (!m_placeListed.systemScope) return false;
    for (const ListedSource& source : m_allSources) {
        if (source.platform != platform && SameKeyName(source.name.c_str(), name.c_str())) return true;
    }
    return false;
}

std::string MainWindow::SourceText(UINT plainId, UINT viewId, const std::string& name, const RegistryPlace& place,
                                   bool wrapped) const {
    const std::string shown = wrapped ? zentrel::BreakLongRuns(name, kMessageRun) : name;
    // The view goes outside the quotes, where it cannot be read as part of the name.
    if (place.known && NameInOtherView(name, place.platform))
        return zentrel::FormatText(LoadText(viewId), shown, zentrel::PlatformText(place.platform));
    return zentrel::FormatText(LoadText(plainId), shown);
}

void MainWindow::ListRow(int row) {
    // Whole or not at all: a cut name would be another key's.
    const std::string name = m_lstDataSources.GetItemText(row, 0);
    if (name.size() >= sizeof(m_szCurrentDsn)) {
        ClearCurrent();
        return;
    }
    memcpy(m_szCurrentDsn, name.c_str(), name.size() + 1);
    m_placeCurrent = RowPlace(row);
    const std::string caption =
        SourceText(IDS_PROPERTIES_CAPTION, IDS_PROPERTIES_CAPTION_VIEW, m_szCurrentDsn, m_placeCurrent);
    ::SetDlgItemTextA(m_hWnd, IDC_CAPTION_LINE, caption.c_str());
    m_nAttributeRows = 0;
    m_aAttributeRows.clear();
    m_shownAttributes.clear();
    m_strIncomplete.clear();
    m_lstAttributes.DeleteAllItems();
    if (!ConnectTo(m_placeCurrent)) {
        ShowStatusLine();
        return;
    }
    ListSubTree(m_hOdbcIniKey, m_szCurrentDsn);
    m_strIncomplete = MarkIncompleteListing();
    ShowAttributeRows();
    if (!m_strIncomplete.empty())
        ::SetDlgItemTextA(m_hWnd, IDC_CAPTION_LINE,
                          zentrel::FormatText(LoadText(IDS_CAPTION_INCOMPLETE), caption, m_strIncomplete).c_str());
    ShowStatusLine();
    // Told once per source until the list is filled again: arrowing
    // through the list is no reason to be stopped at every visit.
    const std::string seen = m_placeCurrent.computer + (m_placeCurrent.systemScope ? "|S|" : "|U|") +
                             std::to_string((int)m_placeCurrent.platform) + "|" + name;
    if (m_listingProblems.empty() || !m_reportedListings.insert(seen).second) return;
    std::string text;
    for (const ListingProblem& problem : m_listingProblems)
        text += (text.empty() ? "" : "\n\n") + ListingProblemText(problem);
    Fail("FillSubTree", text);
}

void MainWindow::ClearCurrent() {
    m_szCurrentDsn[0] = '\0';
    m_placeCurrent = RegistryPlace();
    m_nAttributeRows = 0;
    m_aAttributeRows.clear();
    m_shownAttributes.clear();
    m_strIncomplete.clear();
    if (m_lstAttributes.m_hWnd != NULL) m_lstAttributes.DeleteAllItems();
    if (m_hWnd != NULL) ::SetDlgItemTextA(m_hWnd, IDC_CAPTION_LINE, "");
    ShowStatusLine();
}

int MainWindow::CurrentRow() const {
    if (m_szCurrentDsn[0] == '\0' || m_lstDataSources.m_hWnd == NULL) return -1;
    if (!m_placeCurrent.known || !m_placeCurrent.SameScope(m_placeListed)) return -1;
    const int count = m_lstDataSources.GetItemCount();
    for (int i = 0; i < count; ++i) {
        if (m_lstDataSources.GetItemText(i, 0) == m_szCurrentDsn && RowPlace(i) == m_placeCurrent) return i;
    }
    return -1;
}

void MainWindow::HighlightRow(int row) {
    const BOOL filling = m_bFilling;
    m_bFilling = TRUE;
    m_lstDataSources.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0) {
        m_lstDataSources.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(m_lstDataSources.m_hWnd, row, FALSE);
    }
    m_bFilling = filling;
}

LRESULT MainWindow::OnDsnItemChanged(const NMHDR* header) {
    const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
    // A change reported for all rows at once (item -1) names no data source.
    if (m_bFilling || change->iItem < 0 || (change->uChanged & LVIF_STATE) == 0) return 0;
    // Ticks and the focus leave the current data source alone: only the
    // highlight chooses it.
    const bool was = (change->uOldState & LVIS_SELECTED) != 0, is = (change->uNewState & LVIS_SELECTED) != 0;
    if (was == is) return 0;
    if (is) {
        ListRow(change->iItem);
    } else if (ListView_GetNextItem(m_lstDataSources.m_hWnd, -1, LVNI_SELECTED) < 0) {
        ClearCurrent();
    }
    return 0;
}

LRESULT MainWindow::OnDsnListClick(const NMHDR* header) {
    // The list reports no change for a click on the row already highlighted,
    // which may have stopped being current (a declined Remove).
    const NMITEMACTIVATE* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
    const int row = click->iItem;
    if (row < 0 || (m_lstDataSources.Send(LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) == 0) return 0;
    if (CurrentRow() != row) ListRow(row);
    return 0;
}

LRESULT MainWindow::OnDsnListFocus(const NMHDR*) {
    HWND list = m_lstDataSources.m_hWnd;
    // Only the focus moves: a highlight would pick a data source.
    if (ListView_GetItemCount(list) > 0 && ListView_GetNextItem(list, -1, LVNI_FOCUSED) < 0)
        m_lstDataSources.SetItemState(ListView_GetTopIndex(list), LVIS_FOCUSED, LVIS_FOCUSED);
    return 0;
}

void MainWindow::PrepareRow(ListedSource& source) {
    if (!source.column.empty()) return;
    if (m_listedDrivers) {
        source.driver = m_listedDrivers->Driver(source.platform, source.name);
        source.check = m_listedDrivers->Check(source.platform, source.driver);
    }
    source.column = zentrel::PlatformColumn(source.platform, source.check);
}

LRESULT MainWindow::OnDsnListDisplayInfo(const NMHDR* header) {
    NMLVDISPINFOA* info = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header));
    const int row = info->item.iItem;
    const int column = info->item.iSubItem;
    if ((info->item.mask & LVIF_TEXT) == 0 || (column != kDriverColumn && column != kPlatformColumn) || row < 0 ||
        row >= (int)m_listedSources.size())
        return 0;
    ListedSource& source = m_listedSources[row];
    PrepareRow(source);
    lstrcpynA(info->item.pszText, (column == kDriverColumn ? source.driver : source.column).c_str(),
              info->item.cchTextMax);
    return 0;
}

void MainWindow::SortListedSources(std::vector<bool>* checks) {
    if (m_nSortColumn < 0 || m_nSortColumn > kPlatformColumn) return;
    if (m_nSortColumn != 0)
        for (ListedSource& source : m_listedSources) PrepareRow(source);
    std::vector<size_t> order(m_listedSources.size());
    std::iota(order.begin(), order.end(), size_t(0));
    const int column = m_nSortColumn;
    const bool descending = m_bSortDescending;
    std::stable_sort(order.begin(), order.end(), [this, column, descending](size_t a, size_t b) {
        const ListedSource& x = m_listedSources[descending ? b : a];
        const ListedSource& y = m_listedSources[descending ? a : b];
        const std::string& left = column == 0 ? x.name : column == kDriverColumn ? x.driver : x.column;
        const std::string& right = column == 0 ? y.name : column == kDriverColumn ? y.driver : y.column;
        return ::lstrcmpiA(left.c_str(), right.c_str()) < 0;
    });
    std::vector<ListedSource> sorted;
    std::vector<bool> sortedChecks;
    sorted.reserve(order.size());
    for (size_t i : order) {
        sorted.push_back(std::move(m_listedSources[i]));
        if (checks != nullptr) sortedChecks.push_back((*checks)[i]);
    }
    m_listedSources = std::move(sorted);
    if (checks != nullptr) *checks = std::move(sortedChecks);
}

LRESULT MainWindow::OnDsnColumnClick(const NMHDR* header) {
    const int column = reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem;
    m_bSortDescending = column == m_nSortColumn && !m_bSortDescending;
    m_nSortColumn = column;
    // The highlight follows its source, found again by name and view.
    const int highlighted = ListView_GetNextItem(m_lstDataSources.m_hWnd, -1, LVNI_SELECTED);
    std::string name;
    zentrel::Platform platform = zentrel::Platform::Shared;
    if (highlighted >= 0 && highlighted < (int)m_listedSources.size()) {
        name = m_listedSources[highlighted].name;
        platform = m_listedSources[highlighted].platform;
    }
    std::vector<bool> checks;
    for (int i = 0; i < (int)m_listedSources.size(); ++i) checks.push_back(m_lstDataSources.GetCheck(i) != FALSE);
    SortListedSources(&checks);
    const BOOL filling = m_bFilling;
    m_bFilling = TRUE;
    int highlight = -1;
    for (int i = 0; i < (int)m_listedSources.size(); ++i) {
        m_lstDataSources.SetItemText(i, 0, m_listedSources[i].name.c_str());
        m_lstDataSources.SetCheck(i, checks[i] ? TRUE : FALSE);
        if (highlighted >= 0 && m_listedSources[i].name == name && m_listedSources[i].platform == platform)
            highlight = i;
    }
    m_bFilling = filling;
    HighlightRow(highlight);
    ShowSortMark();
    m_lstDataSources.Invalidate();
    return 0;
}

void MainWindow::ShowSortMark() {
    HWND headerControl = ListView_GetHeader(m_lstDataSources.m_hWnd);
    const int columns = Header_GetItemCount(headerControl);
    for (int i = 0; i < columns; ++i) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        Header_GetItem(headerControl, i, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == m_nSortColumn) item.fmt |= m_bSortDescending ? HDF_SORTDOWN : HDF_SORTUP;
        Header_SetItem(headerControl, i, &item);
    }
}
