#include "ui/LinkLabel.h"

#include <cstring>

#include "ui/MainWindow.h"
#include "ops/Prompts.h"
#include "ui/resource.h"

LinkLabel::LinkLabel() : m_hCursor(NULL), m_lfFont(), m_pPrompts(nullptr) {
    // The instance handle is recorded when the main window opens; a box shown
    // before that (tests) still finds the cursor in the program's resources.
    HINSTANCE instance = g_hInstance ? g_hInstance : ::GetModuleHandleA(NULL);
    m_hCursor = ::LoadCursorA(instance, MAKEINTRESOURCEA(IDC_HAND_CURSOR));
}

LinkLabel::~LinkLabel() {
    // The control must not keep a font that is about to be deleted.
    if (m_hFont.Valid() && m_hWnd != NULL && ::IsWindow(m_hWnd) && (HFONT)Send(WM_GETFONT) == m_hFont) {
        Send(WM_SETFONT, 0, FALSE);
    }
    UnsubclassWindow();
}

void LinkLabel::SetLink(const char* target) {
    m_strTarget = target ? target : "";
    if (m_hWnd == NULL) return;
    // Static controls get no mouse input without SS_NOTIFY.
    const LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, style | SS_NOTIFY);
    SubclassWindow(m_hWnd);

    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof(m_lfFont), &m_lfFont);
    m_lfFont.lfUnderline = TRUE;
    HFONT font = ::CreateFontIndirectA(&m_lfFont);
    if (font != NULL) {
        // Also the control's own font: a static control may select its font
        // after asking its parent for colours, which would drop the underline.
        Send(WM_SETFONT, (WPARAM)font, FALSE);
        m_hFont.Attach(font);
    }
}

HBRUSH LinkLabel::CtlColor(HDC hdc, UINT ctlColor) {
    if (ctlColor == WM_CTLCOLORSTATIC) {
        if (m_hFont.Valid()) ::SelectObject(hdc, m_hFont);
        ::SetTextColor(hdc, RGB(0, 0, 255));
        ::SetBkMode(hdc, TRANSPARENT);
    }
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

void LinkLabel::OpenTarget() {
    if (m_pPrompts != nullptr) {
        m_pPrompts->ShellOpen(NULL, m_strTarget.c_str(), NULL, NULL);
    } else {
        PlatformPrompts().ShellOpen(NULL, m_strTarget.c_str(), NULL, NULL);
    }
}

LRESULT LinkLabel::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETCURSOR:
        ::SetCursor(m_hCursor);
        return TRUE;
    case WM_LBUTTONUP:
        OpenTarget();
        break;
    default:
        break;
    }
    return CStatic::WindowProc(msg, wParam, lParam);
}
