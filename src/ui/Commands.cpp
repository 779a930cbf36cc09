// The toolbar and the two pop-up menus of the main window. Pop-ups return the
// chosen command, which is posted back as an ordinary command, so a choice runs
// exactly what the same menu entry or button runs.
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
const int kToolBarImages = 7;
const COLORREF kTransparent = RGB(255, 255, 255);

const UINT kToolBarButtons[] = {
    ID_EXPORT, ID_IMPORT, ID_REFRESH, ID_SEPARATOR, ID_ODBC_ADMINISTRATOR, ID_SETTINGS, ID_ABOUT,
    ID_SEPARATOR, IDCANCEL, ID_SEPARATOR,
};
const char* const kToolBarTexts[] = {
    "Export", "Import", "Refresh", nullptr, "System", "Settings", "About", nullptr, "Exit", nullptr,
};

// A menu resource, destroyed with its pop-ups on every path.
class MenuResource {
public:
    explicit MenuResource(UINT id) : m_hMenu(::LoadMenuA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(id))) {}
    ~MenuResource() {
        if (m_hMenu) ::DestroyMenu(m_hMenu);
    }
    MenuResource(const MenuResource&) = delete;
    MenuResource& operator=(const MenuResource&) = delete;
    HMENU Popup(int index) const { return m_hMenu ? ::GetSubMenu(m_hMenu, index) : NULL; }

private:
    HMENU m_hMenu;
};

class BitmapResource {
public:
    explicit BitmapResource(UINT id)
        : m_hBitmap((HBITMAP)::LoadImageA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                          LR_CREATEDIBSECTION)) {}
    ~BitmapResource() {
        if (m_hBitmap) ::DeleteObject(m_hBitmap);
    }
    BitmapResource(const BitmapResource&) = delete;
    BitmapResource& operator=(const BitmapResource&) = delete;
    HBITMAP Get() const { return m_hBitmap; }

private:
    HBITMAP m_hBitmap;
};

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

    if (m_imlToolBar.Create(60, 34, ILC_COLOR32 | ILC_MASK, 0, 0)) {
        BitmapResource strip(IDB_TOOLBAR);
        if (strip.Get()) m_imlToolBar.Add(strip.Get(), kTransparent);
    }
    m_wndToolBar.Send(TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    m_wndToolBar.Send(TB_SETHOTIMAGELIST, 0, (LPARAM)m_imlToolBar.m_hImageList);
    m_wndToolBar.Send(TB_SETIMAGELIST, 0, (LPARAM)m_imlToolBar.m_hImageList);

    const int count = (int)(sizeof(kToolBarButtons) / sizeof(kToolBarButtons[0]));
    m_wndToolBar.SetButtons(kToolBarButtons, count);
    m_wndToolBar.SetButtonStyle(0, BTNS_BUTTON | BTNS_DROPDOWN);
    for (int i = 0; i < count; ++i) {
        if (kToolBarTexts[i] != nullptr) m_wndToolBar.SetButtonText(i, kToolBarTexts[i]);
    }
}

LRESULT MainWindow::OnToolBarDropDown(const NMTOOLBARA*) {
    RECT button = {};
    m_wndToolBar.GetItemRect(0, &button);
    ::MapWindowPoints(m_wndToolBar.m_hWnd, NULL, reinterpret_cast<POINT*>(&button), 2);
    m_wndToolBar.Send(TB_PRESSBUTTON, ID_EXPORT, MAKELPARAM(TRUE, 0));

    UINT command = 0;
    {
        MenuResource menu(IDR_POPUPS);
        if (HMENU popup = menu.Popup(0)) {
            ::SetMenuDefaultItem(popup, ID_EXPORT, FALSE);
            command = GetPrompts().TrackPopup(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, button.left,
                                              button.bottom, m_hWnd);
        }
    }
    PostCommand(m_hWnd, command);
    m_wndToolBar.Send(TB_PRESSBUTTON, ID_EXPORT, MAKELPARAM(FALSE, 0));
    return TBDDRET_DEFAULT;
}

LRESULT MainWindow::OnDsnListRightClick(const NMITEMACTIVATE* click) {
    POINT point = click->ptAction;
    ::ClientToScreen(click->hdr.hwndFrom, &point);
    UINT command = 0;
    {
        MenuResource menu(IDR_POPUPS);
        if (HMENU popup = menu.Popup(1)) {
            command = GetPrompts().TrackPopup(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y,
                                              m_hWnd);
            // Lets the menu's own loop end cleanly before the command runs.
            ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
        }
    }
    PostCommand(m_hWnd, command);
    return 0;
}
