#include "ui/ValueViewer.h"

#include <algorithm>
#include <memory>

#include "ops/Prompts.h"
#include "ops/RunContext.h"
#include "ui/Fonts.h"
#include "ui/resource.h"

namespace {
// Bytes of one row: below what a list row can show (260 characters), and
// still wider than most screens.
const size_t kRowBytes = 200;
// Rows whose width is measured: the first ones, and the longest of all.
const int kMeasuredRows = 2000;
// Rows the dialog grows to show before it scrolls.
const int kFittedRows = 200;

// Where a row of at most kRowBytes from `from` ends: between characters.
size_t RowCut(const std::string& text, size_t from) {
    size_t at = from + kRowBytes;
    while (at > from + kRowBytes - 3 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80 ? from + kRowBytes : at;
}
}  // namespace

ValueViewer::ValueViewer(CWnd* parent, std::string title, std::string text, bool fixedPitch)
    : CDialog(IDD_VALUE_VIEWER, parent),
      m_title(std::move(title)),
      m_text(std::move(text)),
      m_fixedPitch(fixedPitch),
      m_minimum({0, 0}) {
    SplitRows();
}

void ValueViewer::SplitRows() {
    m_rows.clear();
    for (size_t start = 0;;) {
        const size_t lineBreak = m_text.find('\n', start);
        const size_t next = lineBreak == std::string::npos ? m_text.size() : lineBreak + 1;
        size_t end = lineBreak == std::string::npos ? m_text.size() : lineBreak;
        if (end > start && m_text[end - 1] == '\r') --end;
        for (size_t cut; end - start > kRowBytes; start = cut) {
            cut = RowCut(m_text, start);
            m_rows.push_back(Row{start, cut, cut});
        }
        m_rows.push_back(Row{start, end, next});
        if (lineBreak == std::string::npos) break;
        start = next;
    }
}

std::string ValueViewer::RowText(int row) const {
    if (row < 0 || row >= (int)m_rows.size()) return std::string();
    return m_text.substr(m_rows[row].begin, m_rows[row].end - m_rows[row].begin);
}

std::string ValueViewer::SelectedText() const {
    std::string text;
    HWND list = GetDlgItemHwnd(IDC_VALUE_TEXT);
    if (list == NULL) return text;
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0 && i < (int)m_rows.size();
         i = ListView_GetNextItem(list, i, LVNI_SELECTED)) {
        // A run of rows is one piece of the text.
        int last = i;
        while (last + 1 < (int)m_rows.size() && (ListView_GetItemState(list, last + 1, LVIS_SELECTED) & LVIS_SELECTED))
            ++last;
        text.append(m_text, m_rows[i].begin, m_rows[last].next - m_rows[i].begin);
        i = last;
    }
    return text;
}

BOOL ValueViewer::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetWindowTextA(m_hWnd, m_title.c_str());
    HWND list = GetDlgItemHwnd(IDC_VALUE_TEXT);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    ::SendMessageA(list, LVM_INSERTCOLUMNA, 0, (LPARAM)&column);
    ListView_SetItemCountEx(list, (int)m_rows.size(), LVSICF_NOINVALIDATEALL);
    ApplyFont();
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    m_minimum = SIZE{(window.right - window.left) / 2, (window.bottom - window.top) / 2};
    FitToScreen();
    LayoutControls();
    if (!m_rows.empty()) ListView_SetItemState(list, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    return TRUE;
}

void ValueViewer::ApplyFont() {
    HWND list = GetDlgItemHwnd(IDC_VALUE_TEXT);
    m_font.Attach(m_fixedPitch ? CreateFixedFont(Dpi()) : CreateMessageFont(Dpi()));
    if (m_font.Valid()) ::SendMessageA(list, WM_SETFONT, (WPARAM)m_font.Get(), TRUE);
    ListView_SetColumnWidth(list, 0, WidestRow(list) + Scaled(12));
}

int ValueViewer::WidestRow(HWND list) const {
    // The rows of most bytes are the widest as a rule; the first rows stand
    // for the rest.
    std::vector<int> measured;
    for (int i = 0; i < (int)m_rows.size() && i < kMeasuredRows; ++i) measured.push_back(i);
    size_t longest = 0;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].end - m_rows[i].begin > m_rows[longest].end - m_rows[longest].begin) longest = i;
    if (!m_rows.empty()) measured.push_back((int)longest);
    int widest = 0;
    HDC dc = ::GetDC(list);
    if (dc == NULL) return Scaled(400);
    HGDIOBJ old = ::SelectObject(dc, (HFONT)::SendMessageA(list, WM_GETFONT, 0, 0));
    for (int i : measured) {
        SIZE extent = {0, 0};
        const Row& row = m_rows[i];
        ::GetTextExtentPoint32A(dc, m_text.c_str() + row.begin, (int)(row.end - row.begin), &extent);
        widest = std::max<int>(widest, extent.cx);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(list, dc);
    return widest;
}

void ValueViewer::FitToScreen() {
    // Wide enough for the widest row and tall enough for the rows, as far as
    // the screen allows; the list scrolls for the rest.
    HWND list = GetDlgItemHwnd(IDC_VALUE_TEXT);
    RECT window, listRect, rowRect = {0, 0, 0, Scaled(16)};
    ::GetWindowRect(m_hWnd, &window);
    ::GetWindowRect(list, &listRect);
    if (!m_rows.empty()) ListView_GetItemRect(list, 0, &rowRect, LVIR_BOUNDS);
    const int chromeX = (window.right - window.left) - (listRect.right - listRect.left) +
                        ::GetSystemMetrics(SM_CXVSCROLL) + Scaled(8);
    const int chromeY = (window.bottom - window.top) - (listRect.bottom - listRect.top) +
                        ::GetSystemMetrics(SM_CYHSCROLL) + Scaled(8);
    const int rows = std::min<int>((int)m_rows.size(), kFittedRows);
    const int wantWidth = std::max<int>(window.right - window.left, ListView_GetColumnWidth(list, 0) + chromeX);
    const int wantHeight =
        std::max<int>(window.bottom - window.top, rows * (int)(rowRect.bottom - rowRect.top) + chromeY);
    // The screen the owner is on, less its task bar; anything larger is cut
    // to it, and the whole dialog placed on it.
    HMONITOR monitor = ::MonitorFromWindow(GetParentHwnd() ? GetParentHwnd() : m_hWnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoA(monitor, &info)) work = info.rcWork;
    const int width = std::min<int>(wantWidth, work.right - work.left);
    const int height = std::min<int>(wantHeight, work.bottom - work.top);
    RECT owner = work;
    if (GetParentHwnd()) ::GetWindowRect(GetParentHwnd(), &owner);
    int left = owner.left + ((owner.right - owner.left) - width) / 2;
    int top = owner.top + ((owner.bottom - owner.top) - height) / 2;
    left = std::max<int>(work.left, std::min<int>(left, work.right - width));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    m_minimum.cx = std::min<int>(m_minimum.cx, width);
    m_minimum.cy = std::min<int>(m_minimum.cy, height);
    ::SetWindowPos(m_hWnd, NULL, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ValueViewer::LayoutControls() {
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    HWND close = GetDlgItemHwnd(IDCANCEL);
    RECT button;
    ::GetWindowRect(close, &button);
    const int bw = button.right - button.left, bh = button.bottom - button.top;
    const int margin = Scaled(8);
    ::SetWindowPos(close, NULL, client.right - margin - bw, client.bottom - margin - bh, bw, bh,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(GetDlgItemHwnd(IDC_VALUE_TEXT), NULL, margin, margin, std::max(0, (int)client.right - 2 * margin),
                   std::max(0, (int)client.bottom - 3 * margin - bh), SWP_NOZORDER | SWP_NOACTIVATE);
}

void ValueViewer::CopySelection() {
    const std::string text = SelectedText();
    if (text.empty()) return;
    // Through the owner's prompts where it has them (scripted in tests).
    if (RunContext* context = dynamic_cast<RunContext*>(m_pParentWnd)) {
        context->GetPrompts().CopyText(m_hWnd, text);
    } else {
        PlatformPrompts().CopyText(m_hWnd, text);
    }
}

void ValueViewer::OnDpiChanged(UINT oldDpi) {
    m_minimum = SIZE{::MulDiv(m_minimum.cx, (int)Dpi(), (int)oldDpi), ::MulDiv(m_minimum.cy, (int)Dpi(), (int)oldDpi)};
    ApplyFont();
}

BOOL ValueViewer::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom != IDC_VALUE_TEXT) return FALSE;
    if (header->code == LVN_GETDISPINFOA) {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(lParam)->item;
        if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0 && item.iItem >= 0 && item.iItem < (int)m_rows.size()) {
            const Row& row = m_rows[item.iItem];
            const size_t length = std::min<size_t>(row.end - row.begin, (size_t)item.cchTextMax - 1);
            memcpy(item.pszText, m_text.data() + row.begin, length);
            item.pszText[length] = '\0';
        }
        *result = 0;
        return TRUE;
    }
    if (header->code == LVN_KEYDOWN && ::GetKeyState(VK_CONTROL) < 0) {
        const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
        if (key == 'A') ListView_SetItemState(header->hwndFrom, -1, LVIS_SELECTED, LVIS_SELECTED);
        if (key == 'C' || key == VK_INSERT) CopySelection();
        *result = 0;
        return key == 'A' || key == 'C' || key == VK_INSERT;
    }
    return FALSE;
}

BOOL ValueViewer::OnMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    switch (msg) {
    case WM_SIZE:
        LayoutControls();
        return FALSE;
    case WM_GETMINMAXINFO:
        if (m_minimum.cx > 0) {
            MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize.x = m_minimum.cx;
            limits->ptMinTrackSize.y = m_minimum.cy;
        }
        *result = 0;
        return TRUE;
    default:
        return FALSE;
    }
}
