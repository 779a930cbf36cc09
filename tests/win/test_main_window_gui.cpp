// The main window created for real (modeless, null graphics driver) and
// driven with the messages a user's actions send.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include "app/Settings.h"
#include "ui/resource.h"

namespace {

class MainWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* name : {"Payroll", "Warehouse"})
            PutString(HKEY_LOCAL_MACHINE, OdbcPath(name), "Driver", std::string("sys-") + name);
        for (const char* name : {"Budget", "Sales", "Stock"})
            PutString(HKEY_CURRENT_USER, OdbcPath(name), "Driver", std::string("usr-") + name);
        PutDword(HKEY_CURRENT_USER, OdbcPath("Sales") + "\\Engines\\Jet", "Threads", 3);
    }
    std::vector<std::string> Rows() const { return ListColumn(list, 0); }
    std::string CaptionLine() const { return ItemText(window->m_hWnd, IDC_CAPTION_LINE); }
};

const std::vector<std::string> kSystemRows = {"Payroll", "Warehouse"};
const std::vector<std::string> kUserRows = {"Budget", "Sales", "Stock"};

TEST_F(MainWindowTest, OpensOnTheTabOfTheSetting) {
    struct Case { const char* stored; int tab; const std::vector<std::string>* rows; };
    for (const Case& c : {Case{nullptr, 0, &kSystemRows}, Case{"1", 0, &kSystemRows}, Case{"0", 1, &kUserRows},
                          Case{"abc", 1, &kUserRows}, Case{"5", 0, &kSystemRows}}) {
        SCOPED_TRACE(c.stored ? c.stored : "(none)");
        ::SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Morvane");
        if (c.stored) StoreSetting("bDefSystem", c.stored);
        MainWindow opened;
        ScriptedPrompts* scripted = Script(opened);
        ASSERT_TRUE(opened.Create(nullptr));
        EXPECT_EQ(c.tab, TabCtrl_GetCurSel(::GetDlgItem(opened.m_hWnd, IDC_SCOPE_TABS)));
        EXPECT_EQ(*c.rows, ListColumn(::GetDlgItem(opened.m_hWnd, IDC_DSN_LIST), 0));
        EXPECT_EQ(std::vector<bool>(c.rows->size(), true), ListChecks(::GetDlgItem(opened.m_hWnd, IDC_DSN_LIST)));
        EXPECT_TRUE(scripted->calls.empty());
        opened.DestroyWindow();
    }
}

TEST_F(MainWindowTest, InitialisationSetsUpWindowAndLists) {
    Open();
    char text[MAX_PATH + 8] = "";
    ::GetWindowTextA(window->m_hWnd, text, sizeof(text));
    EXPECT_STREQ("   Zentrel", text);
    ASSERT_EQ(2, TabCtrl_GetItemCount(tabs));
    for (int i : {0, 1}) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        ::SendMessageA(tabs, TCM_GETITEMA, i, (LPARAM)&item);
        EXPECT_STREQ(i == 0 ? "System DSN" : "User DSN", text);
    }
    struct Column { HWND list; int index; const char* heading; int width; };
    for (const Column& c : {Column{list, 0, "Data Source Name", 396}, Column{list, 1, "Platform", 160},
                            Column{attributes, 0, "Property name", 195},
                            Column{attributes, 1, "Value", 270}, Column{attributes, 2, "Type", 91}}) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = sizeof(text);
        ASSERT_TRUE(::SendMessageA(c.list, LVM_GETCOLUMNA, c.index, (LPARAM)&column));
        EXPECT_STREQ(c.heading, text);
        EXPECT_EQ(c.width, column.cx);
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
    }
    const DWORD both = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(both | LVS_EX_CHECKBOXES, ListView_GetExtendedListViewStyle(list) & (both | LVS_EX_CHECKBOXES));
    EXPECT_EQ(both, ListView_GetExtendedListViewStyle(attributes) & (both | LVS_EX_CHECKBOXES));

    ASSERT_NE(nullptr, g_pSettings);
    EXPECT_EQ(::GetModuleHandleA(NULL), g_hInstance);
    ASSERT_NE(nullptr, window->m_pTabCtrl);
    EXPECT_EQ(tabs, window->m_pTabCtrl->m_hWnd);
    EXPECT_EQ((LRESULT)window->m_hIcon, ::SendMessageA(window->m_hWnd, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ((LRESULT)window->m_hIcon, ::SendMessageA(window->m_hWnd, WM_QUERYDRAGICON, 0, 0));
    // The help file is the program's path with its last three characters "chm".
    ::GetModuleFileNameA(NULL, text, sizeof(text));
    std::string help = text;
    help.replace(help.size() - 3, 3, "chm");
    EXPECT_EQ(help, window->m_szHelpFile);
    EXPECT_EQ("", ItemText(window->m_hWnd, IDC_REMOTE_SYSTEM));
    EXPECT_EQ("", CaptionLine());
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(MainWindowTest, SettingsObjectLivesWithTheWindowObject) {
    {
        MainWindow opened;
        Script(opened);
        ASSERT_TRUE(opened.Create(nullptr));
        ASSERT_NE(nullptr, g_pSettings);
        EXPECT_EQ(1, g_pSettings->m_bAskImport);
        opened.DestroyWindow();
        EXPECT_NE(nullptr, g_pSettings);  // it outlives the window, not the object
    }
    EXPECT_EQ(nullptr, g_pSettings);
}

// The object outlives its window: a second window of the same object gets
// its own controls, and nothing of the first is reached once it is gone.
TEST_F(MainWindowTest, ASecondWindowOfTheObjectIsItsOwn) {
    MainWindow opened;
    Script(opened);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(opened.Create(nullptr));
        EXPECT_EQ(::GetDlgItem(opened.m_hWnd, IDC_DSN_LIST), opened.m_lstDataSources.m_hWnd);
        ASSERT_NE(nullptr, opened.m_pTabCtrl);
        EXPECT_EQ(::GetDlgItem(opened.m_hWnd, IDC_SCOPE_TABS), opened.m_pTabCtrl->m_hWnd);
        EXPECT_EQ(kSystemRows, ListColumn(opened.m_lstDataSources.m_hWnd, 0));
        ::DestroyWindow(opened.m_hWnd);
        EXPECT_EQ(nullptr, opened.m_pTabCtrl);
        EXPECT_EQ(nullptr, opened.m_lstDataSources.m_hWnd);
        EXPECT_EQ(nullptr, opened.m_lstAttributes.m_hWnd);
    }
}

TEST_F(MainWindowTest, RemoteComputerFromTheCommandLine) {
    TheApp().m_strRemoteSystem = ThisComputerName();
    Open();
    EXPECT_EQ(ThisComputerName(), ItemText(window->m_hWnd, IDC_REMOTE_SYSTEM));
    EXPECT_EQ(ThisComputerName(), window->m_szRemoteSystem);
    EXPECT_EQ(kSystemRows, Rows());
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(MainWindowTest, UnreachableComputerLeavesTheWindowOpenAndEmpty) {
    TheApp().m_strRemoteSystem = "nosuchhost";
    ScriptedPrompts* scripted = Script(*window);
    scripted->messageAnswers = {IDOK};
    ASSERT_TRUE(window->Create(nullptr));
    ASSERT_EQ(1u, scripted->calls.size());
    EXPECT_EQ("RegConnectRegistry", scripted->calls[0].caption);
    EXPECT_EQ(MainWindow::SystemErrorText(ERROR_BAD_NETPATH), scripted->calls[0].text);
    EXPECT_TRUE(::IsWindow(window->m_hWnd));
    EXPECT_EQ(0, ListView_GetItemCount(::GetDlgItem(window->m_hWnd, IDC_DSN_LIST)));
}

TEST_F(MainWindowTest, SwitchingTabsRefillsAndRereadsTheRemoteBox) {
    Open();
    ASSERT_EQ(kSystemRows, Rows());
    ListView_SetCheckState(list, 0, FALSE);
    ASSERT_EQ(1, ListView_GetItemCount(attributes));

    SelectTab(*window, 1);
    EXPECT_EQ(kUserRows, Rows());
    EXPECT_EQ(std::vector<bool>(3, true), ListChecks(list));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
    EXPECT_EQ("'Payroll' data source properties", CaptionLine());

    // A computer typed in the box takes effect at the next switch.
    ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, "nosuchhost");
    prompts->messageAnswers = {IDOK};
    SelectTab(*window, 0);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("RegConnectRegistry", prompts->calls[0].caption);
    EXPECT_EQ(MainWindow::SystemErrorText(ERROR_BAD_NETPATH), prompts->calls[0].text);
    EXPECT_EQ(window->m_hWnd, prompts->calls[0].owner);
    EXPECT_STREQ("nosuchhost", window->m_szRemoteSystem);
    EXPECT_TRUE(Rows().empty());

    ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, ("\\\\" + ThisComputerName()).c_str());
    SelectTab(*window, 1);
    EXPECT_EQ(kUserRows, Rows());
    EXPECT_EQ("\\\\" + ThisComputerName(), window->m_szRemoteSystem);
    SelectTab(*window, 0);
    EXPECT_EQ(kSystemRows, Rows());
    EXPECT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("\\\\" + ThisComputerName(), ItemText(window->m_hWnd, IDC_REMOTE_SYSTEM));
}

TEST_F(MainWindowTest, TogglingACheckBoxListsThatRow) {
    StoreSetting("bDefSystem", "0");
    Open();
    ASSERT_EQ(kUserRows, Rows());
    ListView_SetCheckState(list, 1, FALSE);
    EXPECT_STREQ("Sales", window->m_szCurrentDsn);
    EXPECT_EQ("'Sales' data source properties", CaptionLine());
    const std::vector<std::vector<std::string>> sales = {
        {"Engines", "<SUBKEY>", ""},
        {"Engines\\Jet", "<SUBKEY>", ""},
        {"Engines\\Jet\\Threads", "0x00000003 (3)", "REG_DWORD"},
        {"Driver", "usr-Sales", "REG_SZ"},
    };
    EXPECT_EQ(sales, ListRows(attributes, 3));
    // The highlight did not move; checking the box again lists it again.
    EXPECT_EQ(-1, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    ListView_SetCheckState(list, 2, FALSE);
    EXPECT_EQ("'Stock' data source properties", CaptionLine());
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Driver", "usr-Stock", "REG_SZ"}}), ListRows(attributes, 3));
    ListView_SetCheckState(list, 1, TRUE);
    EXPECT_EQ(sales, ListRows(attributes, 3));
    EXPECT_EQ((std::vector<bool>{true, true, false}), ListChecks(list));
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(MainWindowTest, RefreshRechecksEveryRow) {
    Open();
    SelectTab(*window, 1);
    for (int row : {0, 2}) ListView_SetCheckState(list, row, FALSE);
    ASSERT_EQ((std::vector<bool>{false, true, false}), ListChecks(list));
    SendCommand(window->m_hWnd, ID_REFRESH);
    EXPECT_EQ(kUserRows, Rows());
    EXPECT_EQ(std::vector<bool>(3, true), ListChecks(list));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
    EXPECT_EQ("'Stock' data source properties", CaptionLine());
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(MainWindowTest, EnterDoesNothingEscapeAndCloseBoxClose) {
    Open();
    SendCommand(window->m_hWnd, IDOK);
    EXPECT_TRUE(::IsWindow(window->m_hWnd));
    // Typing in the remote box notifies with the id 1010 and a code: no command.
    ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, "x");
    SendCommand(window->m_hWnd, IDC_REMOTE_SYSTEM, EN_CHANGE);
    EXPECT_TRUE(::IsWindow(window->m_hWnd));
    SendCommand(window->m_hWnd, IDCANCEL);
    EXPECT_EQ(nullptr, window->m_hWnd);

    MainWindow second;
    Script(second);
    ASSERT_TRUE(second.Create(nullptr));
    HWND hwnd = second.m_hWnd;
    ::SendMessageA(hwnd, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_TRUE(prompts->calls.empty());
}

}  // namespace
