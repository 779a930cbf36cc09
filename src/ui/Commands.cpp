// The toolbar and the two pop-up menus of the main window. Pop-ups return the
// chosen command, which is posted back as an ordinary command, so a choice runs
// exactly what the same menu entry or button runs.
#include "framework/Handle.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
const int kToolBarImages = 7;
const COLORREF kTransparent = RGB(255, 255, 255);
const SIZE kToolBarImage = {60, 34};  // each image of the strip, at 96 DPI

const UINT kToolBarButtons[] = {
    ID_EXPORT, ID_IMPORT, ID_REFRESH, ID_SEPARATOR, ID_ODBC_ADMINISTRATOR, ID_SETTINGS, ID_ABOUT,
    ID_SEPARATOR, IDCANCEL, ID_SEPARATOR,
};
const char* const kToolBarTexts[] = {
    "Export", "Import", "Refresh", nullptr, "System", "Settings", "About", nullptr, "Exit", nullptr,
};

HMENU LoadMenuResource(UINT id) { return ::LoadMenuA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(id)); }

HBITMAP LoadBitmapResource(UINT id) {
    return (HBITMAP)::LoadImageA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                 LR_CREATEDIBSECTION);
}

void PostCommand(HWND window, UINT command) {
    // Dismissing a pop-up chooses nothing, and nothing runs.
    if (command != 0) ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}
}  // namespace

void MainWindow::CreateToolBar() {
    if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT | TBSTYLE_TOOLTIPS, WS_CHILD | WS_VISIBLE, IDW_TOOLBAR,
                               kBarAlignTop | kBarBorderBottom)) {
        // The window works without it; every command is in the menu too.
        return;
    }
    m_wndToolBar.LoadBitmap(IDB_TOOLBAR, kToolBarImages);
    m_wndToolBar.SetExtendedStyle(TBSTYLE_EX_DRAWDDARROWS);
    ScaleToolBar();

    const int count = (int)(sizeof(kToolBarButtons) / sizeof(kToolBarButtons[0]));
    m_wndToolBar.SetButtons(kToolBarButtons, count);
    m_wndToolBar.SetButtonStyle(0, BTNS_BUTTON | BTNS_DROPDOWN);
    for (int i = 0; i < count; ++i) {
        if (kToolBarTexts[i] != nullptr) m_wndToolBar.SetButtonText(i, kToolBarTexts[i]);
    }
}

void MainWindow::ScaleToolBar() {
    // The art is drawn for 96 DPI, and stretched for any other scale.
    const SIZE image = {Scaled(kToolBarImage.cx), Scaled(kToolBarImage.cy)};
    m_wndToolBar.Rescale(SIZE{Scaled(m_sizeToolBarButton.cx), Scaled(m_sizeToolBarButton.cy)}, image);
    if (m_imlToolBar.Create(image.cx, image.cy, ILC_COLOR32 | ILC_MASK, 0, 0)) {
        BitmapHandle strip(LoadBitmapResource(IDB_TOOLBAR));
        BitmapHandle scaled(Dpi() == 96 || !strip.Valid()
                                ? NULL
                                : StretchedBitmap(strip, image.cx * kToolBarImages, image.cy));
        if (scaled.Valid()) {
            m_imlToolBar.Add(scaled, kTransparent);
        } else if (strip.Valid()) {
            m_imlToolBar.Add(strip, kTransparent);
        }
    }
    if (m_wndToolBar.m_hWnd == NULL) return;
    m_wndToolBar.SetHotImageList(m_imlToolBar);
    m_wndToolBar.SetImageList(m_imlToolBar);
    m_wndToolBar.Send(TB_AUTOSIZE);
}

LRESULT MainWindow::OnToolBarDropDown(const NMHDR*) {
    RECT button = {};
    m_wndToolBar.GetItemRect(0, &button);
    ::MapWindowPoints(m_wndToolBar.m_hWnd, NULL, reinterpret_cast<POINT*>(&button), 2);
    m_wndToolBar.PressButton(ID_EXPORT, TRUE);

    UINT command = 0;
    {
        const MenuHandle menu(LoadMenuResource(IDR_POPUPS));
        if (HMENU popup = menu.Valid() ? ::GetSubMenu(menu, 0) : NULL) {
            ::SetMenuDefaultItem(popup, ID_EXPORT, FALSE);
            command = GetPrompts().TrackPopup(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, button.left,
                                              button.bottom, m_hWnd);
        }
    }
    PostCommand(m_hWnd, command);
    m_wndToolBar.PressButton(ID_EXPORT, FALSE);
    return TBDDRET_DEFAULT;
}

void MainWindow::TrackMenu(int index, POINT screen, UINT flags) {
    UINT command = 0;
    {
        const MenuHandle menu(LoadMenuResource(IDR_POPUPS));
        if (HMENU popup = menu.Valid() ? ::GetSubMenu(menu, index) : NULL) {
            command = GetPrompts().TrackPopup(popup, TPM_LEFTALIGN | TPM_TOPALIGN | flags, screen.x, screen.y, m_hWnd);
            // Lets the menu's own loop end cleanly before the command runs.
            ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
        }
    }
    PostCommand(m_hWnd, command);
}

LRESULT MainWindow::OnListRightClick(const NMHDR* header) {
    const NMITEMACTIVATE* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
    POINT point = click->ptAction;
    ::ClientToScreen(click->hdr.hwndFrom, &point);
    TrackMenu(header->idFrom == IDC_ATTRIBUTE_LIST ? 2 : 1, point, TPM_RIGHTBUTTON);
    return 0;
}

void MainWindow::ShowContextMenu(HWND control) {
    // Below the focused row, or at the list's corner when it has none.
    const int row = ListView_GetNextItem(control, -1, LVNI_FOCUSED);
    RECT place = {};
    if (row < 0 || !ListView_GetItemRect(control, row, &place, LVIR_LABEL)) ::GetClientRect(control, &place);
    POINT point = {place.left, row < 0 ? place.top : place.bottom};
    ::ClientToScreen(control, &point);
    TrackMenu(control == m_lstAttributes.m_hWnd ? 2 : 1, point, TPM_LEFTBUTTON);
}
