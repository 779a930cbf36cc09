#include "WindowHelpers.h"

#include <commctrl.h>

#include "TestSupport.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

std::vector<std::string> ListColumn(HWND list, int column) {
    std::vector<std::string> texts;
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) {
        std::vector<char> text(4096, '\0');
        LVITEMA cell = {};
        cell.iSubItem = column;
        cell.pszText = text.data();
        cell.cchTextMax = (int)text.size();
        ::SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)&cell);
        texts.push_back(text.data());
    }
    return texts;
}

std::vector<std::vector<std::string>> ListRows(HWND list, int columns) {
    std::vector<std::vector<std::string>> rows(ListView_GetItemCount(list));
    for (int column = 0; column < columns; ++column) {
        const std::vector<std::string> texts = ListColumn(list, column);
        for (size_t row = 0; row < rows.size(); ++row) rows[row].push_back(texts[row]);
    }
    return rows;
}

std::vector<bool> ListChecks(HWND list) {
    std::vector<bool> checks;
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) checks.push_back(ListView_GetCheckState(list, row) != 0);
    return checks;
}

std::string ItemText(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    std::vector<char> text(::GetWindowTextLengthA(item) + 1, '\0');
    ::GetWindowTextA(item, text.data(), (int)text.size());
    return text.data();
}

void SelectTab(MainWindow& window, int index) {
    HWND tabs = ::GetDlgItem(window.m_hWnd, IDC_SCOPE_TABS);
    TabCtrl_SetCurSel(tabs, index);
    NMHDR header = {};
    header.hwndFrom = tabs;
    header.idFrom = IDC_SCOPE_TABS;
    header.code = TCN_SELCHANGE;
    ::SendMessageA(window.m_hWnd, WM_NOTIFY, IDC_SCOPE_TABS, (LPARAM)&header);
}

void SendCommand(HWND window, UINT id, UINT code) {
    ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), 0);
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void StoreSetting(const char* name, const std::string& text) {
    PutString(HKEY_CURRENT_USER, "Software\\Morvane\\Zentrel", name, text);
}

std::string ThisComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof(name);
    ::GetComputerNameA(name, &size);
    return name;
}

void PutSource(bool systemScope, const std::string& name, const char* driver, CALLER_ARGS) {
    TRACE_CALLER();
    const HKEY root = ScopeRoot(systemScope);
    PutString(root, OdbcPath(name), "Driver", "C:\\drivers\\test.dll");
    if (driver != nullptr) PutString(root, OdbcPath("ODBC Data Sources"), name.c_str(), driver);
}

void WindowTest::SetUp() {
    RegistryTest::SetUp();
    TheApp().m_bBatchMode = m_mode == Mode::Batch ? TRUE : FALSE;
    Renew();
}

void WindowTest::TearDown() {
    window.reset();
    PumpMessages();
    RegistryTest::TearDown();
}

void WindowTest::Renew() {
    window.reset();
    window.reset(new CountingWindow);
    window->facts.commandLine.m_bBatchMode = m_mode == Mode::Batch ? TRUE : FALSE;
    prompts = new PopupPrompts;
    window->SetPrompts(std::unique_ptr<Prompts>(prompts));
    list = attributes = tabs = NULL;
}

void WindowTest::Open(CALLER_ARGS) {
    TRACE_CALLER();
    if (!window || window->GetSafeHwnd() != NULL) Renew();
    ASSERT_TRUE(window->Create(nullptr));
    ASSERT_NE(nullptr, g_pSettings);
    list = ::GetDlgItem(Hwnd(), IDC_DSN_LIST);
    attributes = ::GetDlgItem(Hwnd(), IDC_ATTRIBUTE_LIST);
    tabs = ::GetDlgItem(Hwnd(), IDC_SCOPE_TABS);
}

void WindowTest::Open(int tab, CALLER_ARGS) {
    Open(callerFile, callerLine);
    TabCtrl_SetCurSel(tabs, tab);
    window->FillDsnList();
}

void WindowTest::Command(UINT id, UINT code, HWND control) {
    ::SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)control);
}

int WindowTest::RowOf(const std::string& name) const {
    const std::vector<std::string> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == name) return (int)i;
    }
    return -1;
}

void WindowTest::Pick(const std::string& name, CALLER_ARGS) {
    TRACE_CALLER();
    const int row = RowOf(name);
    ASSERT_GE(row, 0) << name;
    window->m_lstDataSources.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_STREQ(name.c_str(), window->m_szCurrentDsn);
}
