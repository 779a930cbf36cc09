#include "ui/ValueViewer.h"

#include <algorithm>

#include "ui/Fonts.h"
#include "ui/resource.h"

ValueViewer::ValueViewer(CWnd* parent, std::string title, std::string text, bool fixedPitch)
    : CDialog(IDD_VALUE_VIEWER, parent),
      m_title(std::move(title)),
      m_text(std::move(text)),
      m_fixedPitch(fixedPitch),
      m_minimum({0, 0}) {}

BOOL ValueViewer::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetWindowTextA(m_hWnd, m_title.c_str());
    HWND edit = GetDlgItemHwnd(IDC_VALUE_TEXT);
    if (!m_fixedPitch) m_font.Attach(CreateMessageFont());
    HFONT font = m_fixedPitch ? (HFONT)::GetStockObject(ANSI_FIXED_FONT) : m_font.Get();
    if (font != NULL) ::SendMessageA(edit, WM_SETFONT, (WPARAM)font, FALSE);
    // An edit control's default limit is far below what a value may hold.
    ::SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
    ::SetWindowTextA(edit, m_text.c_str());
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    m_minimum = SIZE{(window.right - window.left) / 2, (window.bottom - window.top) / 2};
    FitToScreen();
    LayoutControls();
    return TRUE;
}

void ValueViewer::FitToScreen() {
    // Wide enough for the longest line, as far as the screen allows; long
    // lines wrap inside.
    HWND edit = GetDlgItemHwnd(IDC_VALUE_TEXT);
    RECT window, editRect;
    ::GetWindowRect(m_hWnd, &window);
    ::GetWindowRect(edit, &editRect);
    int wantWidth = window.right - window.left, wantHeight = window.bottom - window.top;
    if (HDC dc = ::GetDC(edit)) {
        HGDIOBJ old = ::SelectObject(dc, (HFONT)::SendMessageA(edit, WM_GETFONT, 0, 0));
        int longest = 0, lines = 0;
        TEXTMETRICA metrics = {};
        ::GetTextMetricsA(dc, &metrics);
        for (size_t start = 0; start <= m_text.size() && lines < 200; ++lines) {
            size_t end = m_text.find('\n', start);
            if (end == std::string::npos) end = m_text.size();
            SIZE extent = {0, 0};
            const size_t length = std::min<size_t>(end - start, 4096);
            ::GetTextExtentPoint32A(dc, m_text.c_str() + start, (int)length, &extent);
            longest = std::max<int>(longest, extent.cx);
            start = end + 1;
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(edit, dc);
        const int chromeX = (window.right - window.left) - (editRect.right - editRect.left) +
                            ::GetSystemMetrics(SM_CXVSCROLL) + 16;
        const int chromeY = (window.bottom - window.top) - (editRect.bottom - editRect.top) + 8;
        wantWidth = std::max(wantWidth, longest + chromeX);
        wantHeight = std::max(wantHeight, lines * (int)metrics.tmHeight + chromeY);
    }
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
    const int margin = 8;
    ::SetWindowPos(close, NULL, client.right - margin - bw, client.bottom - margin - bh, bw, bh,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(GetDlgItemHwnd(IDC_VALUE_TEXT), NULL, margin, margin, std::max(0, (int)client.right - 2 * margin),
                   std::max(0, (int)client.bottom - 3 * margin - bh), SWP_NOZORDER | SWP_NOACTIVATE);
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
