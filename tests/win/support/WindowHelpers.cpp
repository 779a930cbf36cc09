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
    char text[1024] = "";
    ::GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
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

void WindowTest::TearDown() {
    window.DestroyWindow();
    RegistryTest::TearDown();
}

void WindowTest::Open() {
    prompts = Script(window);
    ASSERT_TRUE(window.Create(nullptr));
    list = ::GetDlgItem(window.m_hWnd, IDC_DSN_LIST);
    attributes = ::GetDlgItem(window.m_hWnd, IDC_ATTRIBUTE_LIST);
    tabs = ::GetDlgItem(window.m_hWnd, IDC_SCOPE_TABS);
}
