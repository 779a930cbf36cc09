#include "ui/MainWindow.h"

#include <algorithm>
#include <cstring>

#include "ui/Settings.h"
#include "registry/InstalledDrivers.h"
#include "ui/Fonts.h"
#include "ui/resource.h"

HINSTANCE g_hInstance = NULL;

MainWindow::MainWindow(CWnd* parent)
    : CDialog(IDD_MAINWINDOW, parent),
      m_hIcon(::LoadIconA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_PROGRAM))),
      m_pTabCtrl(nullptr),
      m_bFilling(FALSE),
      m_pFillComputer(nullptr),
      m_nSortColumn(-1),
      m_bSortDescending(false),
      m_bEndsLoop(false),
      m_sizeTemplate({0, 0}),
      m_sizeMinimum({0, 0}),
      m_sizeToolBarButton({74, 64}) {
    m_szCurrentDsn[0] = '\0';
    m_szHelpFile[0] = '\0';
}

MainWindow::~MainWindow() {
    if (g_pSettings != nullptr) {
        delete g_pSettings;
        g_pSettings = nullptr;
    }
}

void MainWindow::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_DSN_LIST, m_lstDataSources);
    DDX_Control(pDX, IDC_ATTRIBUTE_LIST, m_lstAttributes);
    DDX_Control(pDX, IDC_SCOPE_TABS, m_tabScopes);
}

namespace {
const int kNamed[] = {IDC_DSN_LIST, IDC_ATTRIBUTE_LIST, IDC_CAPTION_LINE, IDC_STATUS_LINE, IDC_REMOTE_SYSTEM};
}  // namespace

BOOL MainWindow::OnInitDialog() {
    CDialog::OnInitDialog();

    if (g_pSettings == nullptr) g_pSettings = new SettingsDialog(this);

    const DWORD length = ::GetModuleFileNameA(NULL, m_szHelpFile, 260);
    m_szHelpFile[length < 260 ? length : 259] = '\0';
    if (strlen(m_szHelpFile) >= 3) strcpy(m_szHelpFile + strlen(m_szHelpFile) - 3, "chm");

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    ::GetVersionExA(&version);
    const bool newer = version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                       (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion > 0));
    m_sizeToolBarButton = newer ? SIZE{74, 64} : SIZE{67, 59};
    m_wndToolBar.SetSizes(SIZE{Scaled(m_sizeToolBarButton.cx), Scaled(m_sizeToolBarButton.cy)},
                          SIZE{Scaled(60), Scaled(34)});

    g_hInstance = ::GetModuleHandleA(NULL);
    ::SetDlgItemTextA(m_hWnd, IDC_REMOTE_SYSTEM, facts.commandLine.m_strRemoteSystem.c_str());
    m_pTabCtrl = &m_tabScopes;
    m_strOtherAccount = OtherAccountName();
    Send(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);

    m_tabScopes.InsertItem(0, "System DSN");
    m_tabScopes.InsertItem(1, "User DSN");
    m_tabScopes.SetCurSel(g_pSettings->m_bDefSystem ? 0 : 1);

    m_lstDataSources.InsertColumn(0, "Name", LVCFMT_LEFT, Scaled(236));
    m_lstDataSources.InsertColumn(1, "Driver", LVCFMT_LEFT, Scaled(200));
    m_lstDataSources.InsertColumn(2, "Platform", LVCFMT_LEFT, Scaled(120));
    m_lstDataSources.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    m_lstAttributes.InsertColumn(0, "Property name", LVCFMT_LEFT, Scaled(195));
    m_lstAttributes.InsertColumn(1, "Value", LVCFMT_LEFT, Scaled(270));
    m_lstAttributes.InsertColumn(2, "Type", LVCFMT_LEFT, Scaled(91));
    m_lstAttributes.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    // The dialog's font has Western glyphs only; names come in any script.
    static const int kNamed[] = {IDC_DSN_LIST, IDC_ATTRIBUTE_LIST, IDC_CAPTION_LINE, IDC_STATUS_LINE, IDC_REMOTE_SYSTEM,
                                 IDC_FILTER};
    m_fontNames.Attach(CreateMessageFont(Dpi()));
    SetControlsFont(m_hWnd, kNamed, sizeof(kNamed) / sizeof(kNamed[0]), m_fontNames);

    CreateToolBar();
    m_wndToolBar.LayoutAtTop();
    WidenLabelBeside(GetDlgItemHwnd(IDC_REMOTE_LABEL), GetDlgItemHwnd(IDC_REMOTE_SYSTEM));
    CaptureLayout();
    // The template at a large scale may not fit a small screen: the lists give way.
    const SIZE fitted = FitToWorkArea(m_hWnd);
    m_sizeMinimum = SIZE{std::min(m_sizeMinimum.cx, fitted.cx), std::min(m_sizeMinimum.cy, fitted.cy)};
    RestoreWindowLayout();

    FillDsnList();
    // The remote box comes first in the tab order, but the list is what one works in.
    ::SetFocus(m_lstDataSources.m_hWnd);
    return FALSE;
}

void MainWindow::OnDpiChanged(UINT oldDpi) {
    // The new font is in place before the old one goes.
    FontHandle names(CreateMessageFont(Dpi()));
    SetControlsFont(m_hWnd, kNamed, sizeof(kNamed) / sizeof(kNamed[0]), names);
    m_fontNames = std::move(names);
    for (HWND list : {m_lstDataSources.m_hWnd, m_lstAttributes.m_hWnd}) {
        const int columns = Header_GetItemCount(ListView_GetHeader(list));
        for (int i = 0; i < columns; ++i)
            ListView_SetColumnWidth(list, i, ::MulDiv(ListView_GetColumnWidth(list, i), (int)Dpi(), (int)oldDpi));
    }
    ScaleToolBar();
    ScaleLayout(oldDpi);
}

void MainWindow::OnUnexpected(const char* what) {
    Fail("Error", IDS_UNEXPECTED_ERROR, what);
    DestroyWindow();
}

// Enter has no default action in this window, but in the remote-system box
// it shows that computer's sources.
void MainWindow::OnOK() {
    if (::GetFocus() == GetDlgItemHwnd(IDC_REMOTE_SYSTEM)) OnRefresh();
    // In the filter box it goes to the rows found.
    if (::GetFocus() == GetDlgItemHwnd(IDC_FILTER)) ::SetFocus(m_lstDataSources.m_hWnd);
}

// The whole first parameter is compared, so a control's notification that
// shares an id with one of these commands never runs it.
BOOL MainWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (wParam >= ID_PRODUCT_FIRST && wParam <= ID_PRODUCT_LAST) {
        LaunchProduct((int)(wParam - ID_PRODUCT_FIRST));
        return TRUE;
    }
    if (wParam == MAKEWPARAM(IDC_FILTER, EN_CHANGE)) {
        ApplyFilter();
        return TRUE;
    }
    switch (wParam) {
    case ID_HELP_TOPICS:
        ShowHelp();
        break;
    case ID_MAIL_SUPPORT:
        MailSupport();
        break;
    case ID_SETTINGS:
        if (g_pSettings != nullptr) GetPrompts().RunDialog(*g_pSettings);
        ShowValueCells();
        break;
    default:
        break;
    }
    return CDialog::OnCommand(wParam, lParam);
}

namespace {
const CommandEntry<MainWindow> kCommands[] = {
    {ID_REFRESH, &MainWindow::OnRefresh},
    {ID_SELECT_ALL, &MainWindow::OnSelectAll},
    {ID_CLEAR_SELECTION, &MainWindow::OnClearSelection},
    {ID_IMPORT, &MainWindow::OnImport},
    {ID_EXPORT, &MainWindow::OnExport},
    {ID_EXPORT_ALL, &MainWindow::OnExportAll},
    {ID_EXPORT_SELECTED, &MainWindow::OnExportSelected},
    {ID_IMPORT_AS, &MainWindow::OnImportAs},
    {ID_COMPARE, &MainWindow::OnCompare},
    {ID_USER_ACCOUNT, &MainWindow::OnUserAccount},
    {ID_LOADED_ACCOUNTS, &MainWindow::OnLoadedAccounts},
    {ID_ABOUT, &MainWindow::OnAbout},
    {ID_ODBC_ADMINISTRATOR, &MainWindow::OnOdbcAdministrator},
    {ID_REMOVE, &MainWindow::OnRemove},
    {ID_NEXT_TAB, &MainWindow::OnNextTab},
    {ID_PREVIOUS_TAB, &MainWindow::OnPreviousTab},
    {ID_COPY_PROPERTIES, &MainWindow::OnCopyProperties},
    {ID_COPY_SOURCES, &MainWindow::OnCopySources},
    {ID_VIEW_VALUE, &MainWindow::OnViewValue},
    {ID_REVEAL_SECRET, &MainWindow::OnRevealSecret},
    {ID_WITHHOLD_SECRETS, &MainWindow::OnWithholdSecrets},
    {ID_FIND, &MainWindow::OnFind},
    {ID_FIND_NEXT, &MainWindow::OnFindNext},
    {ID_COPY_TO_32, &MainWindow::OnCopyTo32},
    {ID_COPY_TO_64, &MainWindow::OnCopyTo64},
    {ID_COPY_TO_USER, &MainWindow::OnCopyToUser},
    {ID_RESTORE, &MainWindow::OnRestore},
    {0, nullptr},
};
}  // namespace

BOOL MainWindow::OnCmdMsg(UINT id) {
    if (DispatchCommand(this, kCommands, id)) return TRUE;
    return CDialog::OnCmdMsg(id);
}

namespace {
const NotifyEntry<MainWindow> kNotifications[] = {
    {IDC_SCOPE_TABS, TCN_SELCHANGE, &MainWindow::OnScopeChanged},
    {IDC_DSN_LIST, LVN_ITEMCHANGED, &MainWindow::OnDsnItemChanged},
    {IDC_DSN_LIST, LVN_GETDISPINFOA, &MainWindow::OnDsnListDisplayInfo},
    // Whichever toolbar sends it: the window has one.
    {kAnyControl, TBN_DROPDOWN, &MainWindow::OnToolBarDropDown},
    {IDC_DSN_LIST, NM_RCLICK, &MainWindow::OnListRightClick},
    {IDC_DSN_LIST, NM_CLICK, &MainWindow::OnDsnListClick},
    {IDC_DSN_LIST, NM_SETFOCUS, &MainWindow::OnDsnListFocus},
    {IDC_DSN_LIST, LVN_COLUMNCLICK, &MainWindow::OnDsnColumnClick},
    {IDC_ATTRIBUTE_LIST, NM_RCLICK, &MainWindow::OnListRightClick},
    {IDC_ATTRIBUTE_LIST, NM_DBLCLK, &MainWindow::OnAttributeDoubleClick},
    {0, 0, nullptr},
};
}  // namespace

BOOL MainWindow::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    return DispatchNotify(this, kNotifications, reinterpret_cast<const NMHDR*>(lParam), result);
}

BOOL MainWindow::OnMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    switch (msg) {
    case WM_SIZE:
        LayoutControls();
        return FALSE;
    case WM_GETMINMAXINFO: {
        MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        if (m_sizeMinimum.cx > 0) {
            limits->ptMinTrackSize.x = m_sizeMinimum.cx;
            limits->ptMinTrackSize.y = m_sizeMinimum.cy;
        }
        // A pop-up window with a menu is otherwise maximised as high above
        // the screen as its menu is tall, and its title bar is lost: only
        // the sizing frame goes past the work area's edges.
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        RECT frame = {0, 0, 0, 0};
        if (::GetMonitorInfoA(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor) &&
            ::AdjustWindowRectEx(&frame, WS_POPUP | WS_THICKFRAME, FALSE, 0)) {
            const RECT& work = monitor.rcWork;
            limits->ptMaxPosition.x = work.left - monitor.rcMonitor.left + frame.left;
            limits->ptMaxPosition.y = work.top - monitor.rcMonitor.top + frame.top;
            limits->ptMaxSize.x = (work.right - work.left) + (frame.right - frame.left);
            limits->ptMaxSize.y = (work.bottom - work.top) + (frame.bottom - frame.top);
        }
        *result = 0;
        return TRUE;
    }
    case WM_DESTROY:
        SaveWindowLayout();
        // The program's own window ends its message loop; a test's does not.
        if (m_bEndsLoop) ::PostQuitMessage(0);
        return FALSE;
    case WM_PAINT:
        if (!::IsIconic(m_hWnd)) return FALSE;
        {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(m_hWnd, &paint);
            ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, (WPARAM)dc, 0);
            RECT client;
            ::GetClientRect(m_hWnd, &client);
            const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
            ::DrawIcon(dc, (client.right - client.left - cx + 1) / 2, (client.bottom - client.top - cy + 1) / 2,
                       m_hIcon);
            ::EndPaint(m_hWnd, &paint);
        }
        *result = 0;
        return TRUE;
    case WM_QUERYDRAGICON:
        *result = (LRESULT)m_hIcon;
        return TRUE;
    case WM_HELP:
        ShowHelp();
        *result = TRUE;
        return TRUE;
    default:
        return FALSE;
    }
}
