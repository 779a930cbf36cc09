// The main window created for real (modeless, null graphics driver) and
// driven with the messages a user's actions send.
#include <memory>
#include <stdexcept>

#include <cstdlib>

#include "TestSupport.h"
#include "WindowHelpers.h"

#include "ui/CompareDialog.h"
#include "ui/DsnNameDialog.h"
#include "ui/Settings.h"
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
    for (const Column& c : {Column{list, 0, "Name", 236}, Column{list, 1, "Driver", 200},
                            Column{list, 2, "Platform", 120},
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
    window->facts.commandLine.m_strRemoteSystem = ThisComputerName();
    Open();
    EXPECT_EQ(ThisComputerName(), ItemText(window->m_hWnd, IDC_REMOTE_SYSTEM));
    EXPECT_EQ(ThisComputerName(), window->m_szRemoteSystem);
    EXPECT_EQ(kSystemRows, Rows());
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(MainWindowTest, UnreachableComputerLeavesTheWindowOpenAndEmpty) {
    window->facts.commandLine.m_strRemoteSystem = "nosuchhost";
    ScriptedPrompts* scripted = Script(*window);
    scripted->messageAnswers = {IDOK};
    ASSERT_TRUE(window->Create(nullptr));
    ASSERT_EQ(1u, scripted->calls.size());
    EXPECT_EQ("RegConnectRegistry", scripted->calls[0].caption);
    EXPECT_EQ("Computer: 'nosuchhost'\n" + MainWindow::SystemErrorText(ERROR_BAD_NETPATH), scripted->calls[0].text);
    // Views are a reached computer's: none is claimed for this one.
    EXPECT_EQ("Computer nosuchhost, System DSN: not connected",
              ItemText(window->m_hWnd, IDC_STATUS_LINE));
    EXPECT_TRUE(::IsWindow(window->m_hWnd));
    EXPECT_EQ(0, ListView_GetItemCount(::GetDlgItem(window->m_hWnd, IDC_DSN_LIST)));
}

// While a connection error stands, and after it, the status line speaks of
// the computer asked for, never of the one listed before.
TEST_F(MainWindowTest, StatusLineDuringAndAfterAFailedConnection) {
    const struct {
        int tab;
        const char* before;
        const char* failed;
    } cases[] = {
        {1, "This computer, User DSN: 3 data sources", "Computer nosuchhost, User DSN: not connected"},
        {0, "This computer, System DSN (64-bit and 32-bit views): 2 data sources",
         "Computer nosuchhost, System DSN: not connected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tab);
        Open(c.tab);
        EXPECT_EQ(c.before, ItemText(Hwnd(), IDC_STATUS_LINE));
        ::SetDlgItemTextA(Hwnd(), IDC_REMOTE_SYSTEM, "nosuchhost");
        std::string during;
        prompts->whileMessage = [&](const PromptCall&) { during = ItemText(Hwnd(), IDC_STATUS_LINE); };
        prompts->messageAnswers = {IDOK};
        Command(ID_REFRESH);
        ASSERT_EQ(1u, prompts->calls.size());
        EXPECT_EQ("RegConnectRegistry", prompts->calls[0].caption);
        EXPECT_EQ(c.failed, during);
        EXPECT_EQ(c.failed, ItemText(Hwnd(), IDC_STATUS_LINE));
        EXPECT_TRUE(Rows().empty());
    }
}

// A key that cannot be read: its row, the caption line and the status line
// say so, and the message naming it comes once per source until a refill.
TEST_F(MainWindowTest, IncompleteListingIsMarkedAndToldOnce) {
    const std::string locked = OdbcPath("Sales") + "\\Locked";
    PutString(HKEY_CURRENT_USER, locked, "V", "v");
    SetKeyAccess(HKEY_CURRENT_USER, locked, "D:P");
    Open(1);
    prompts->messageAnswers = {IDOK};
    Pick("Sales");
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("FillSubTree", prompts->calls[0].caption);
    EXPECT_EQ("The key 'Locked' of data source 'Sales' could not be read:\n" +
                  MainWindow::SystemErrorText(ERROR_ACCESS_DENIED),
              prompts->calls[0].text);
    EXPECT_EQ(Hwnd(), prompts->calls[0].owner);
    const std::vector<std::vector<std::string>> rows = ListRows(attributes, 3);
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"Locked", "<NOT READ>", ""}), rows[3]);
    EXPECT_EQ("'Sales' data source properties - incomplete: 'Locked' not read", CaptionLine());
    EXPECT_EQ("This computer, User DSN: 3 data sources; properties of 'Sales' incomplete: 'Locked' not read",
              ItemText(Hwnd(), IDC_STATUS_LINE));

    // Arrowing away and back: marked again, not asked again.
    Pick("Budget");
    EXPECT_EQ("This computer, User DSN: 3 data sources", ItemText(Hwnd(), IDC_STATUS_LINE));
    Pick("Sales");
    EXPECT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("'Sales' data source properties - incomplete: 'Locked' not read", CaptionLine());
    prompts->messageAnswers = {IDOK};
    Command(ID_REFRESH);
    EXPECT_EQ(2u, prompts->calls.size());
    SetKeyAccess(HKEY_CURRENT_USER, locked, "D:(A;;KA;;;WD)");
}

// A name far wider than the screen: the caption line cuts it with an
// ellipsis, the question shows it whole on lines that fit the screen.
TEST_F(MainWindowTest, LongNameFitsTheCaptionLineAndTheQuestion) {
    std::string name;
    for (int i = 0; i < 200; ++i) name += (char)('a' + i % 26);
    PutString(HKEY_CURRENT_USER, OdbcPath(name), "Driver", "d");
    Open(1);
    Pick(name);
    EXPECT_EQ(SS_ENDELLIPSIS, ::GetWindowLongA(::GetDlgItem(Hwnd(), IDC_CAPTION_LINE), GWL_STYLE) & SS_ENDELLIPSIS);
    prompts->messageAnswers = {IDNO};
    Command(ID_REMOVE);
    ASSERT_EQ(1u, prompts->calls.size());
    std::string text = prompts->calls[0].text, joined;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_LE(end - start, 80u);
        joined += text.substr(start, end - start);
    }
    joined += text.substr(start);
    EXPECT_EQ("Remove '" + name + "' data source?", joined);
}

// The status line names the account whose User DSNs are shown when it is
// not the desktop's user, and says what an export wrote.
TEST_F(MainWindowTest, StatusLineNamesTheAccountAndTheExport) {
    const std::string file = ScratchDir("status") + "\\out.dsi";
    Open(1);
    window->m_strOtherAccount = "OTHER\\admin";
    Command(ID_REFRESH);
    EXPECT_EQ("This computer, User DSN of OTHER\\admin: 3 data sources", ItemText(Hwnd(), IDC_STATUS_LINE));
    const struct {
        UINT command;
        const char* note;
    } cases[] = {{ID_EXPORT, "1 data source exported to '"}, {ID_EXPORT_ALL, "3 data sources exported to '"}};
    for (const auto& c : cases) {
        Pick("Sales");
        prompts->fileAnswers = {file};
        Command(c.command);
        EXPECT_EQ("This computer, User DSN of OTHER\\admin: 3 data sources; " + std::string(c.note) + file + "'",
                  ItemText(Hwnd(), IDC_STATUS_LINE));
    }
    // Another computer's User DSNs are the hive's account's, whoever runs the window.
    const std::string own = ThisComputerName();
    ::SetDlgItemTextA(Hwnd(), IDC_REMOTE_SYSTEM, own.c_str());
    Command(ID_REFRESH);
    const std::string status = ItemText(Hwnd(), IDC_STATUS_LINE);
    EXPECT_EQ(0u, status.find("Computer " + own + ", User DSN of ")) << status;
    EXPECT_EQ(std::string::npos, status.find("OTHER")) << status;
    EXPECT_NE(std::string::npos, status.find("\\")) << status;
}

// Tab goes down the window: remote box, filter, tab strip, sources, properties.
TEST_F(MainWindowTest, TabOrderRunsDownTheWindow) {
    Open(1);
    std::vector<int> order;
    HWND at = ::GetDlgItem(Hwnd(), IDC_REMOTE_SYSTEM);
    for (int i = 0; i < 5; ++i) {
        at = ::GetNextDlgTabItem(Hwnd(), at, FALSE);
        order.push_back(::GetDlgCtrlID(at));
    }
    EXPECT_EQ((std::vector<int>{IDC_FILTER, IDC_SCOPE_TABS, IDC_DSN_LIST, IDC_ATTRIBUTE_LIST, IDC_REMOTE_SYSTEM}),
              order);
    // Names in any script: the lists and lines are not in the dialog's own font.
    HFONT dialogFont = (HFONT)::SendMessageA(Hwnd(), WM_GETFONT, 0, 0);
    for (int id : {IDC_DSN_LIST, IDC_ATTRIBUTE_LIST, IDC_CAPTION_LINE, IDC_STATUS_LINE}) {
        HFONT font = (HFONT)::SendMessageA(::GetDlgItem(Hwnd(), id), WM_GETFONT, 0, 0);
        EXPECT_NE(nullptr, font) << id;
        EXPECT_NE(dialogFont, font) << id;
    }
}

// Maximised, the window keeps its title bar on the screen; only the sizing
// frame goes past the edges.
TEST_F(MainWindowTest, MaximisedKeepsItsTitleBar) {
    Open(1);
    ::ShowWindow(Hwnd(), SW_MAXIMIZE);
    RECT window, client, work;
    ::GetWindowRect(Hwnd(), &window);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame = {0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, WS_POPUP | WS_THICKFRAME, FALSE, 0);
    EXPECT_EQ(work.top + frame.top, window.top);
    EXPECT_EQ(work.bottom + frame.bottom, window.bottom);
    ::GetClientRect(Hwnd(), &client);
    EXPECT_GT(client.bottom, 0);
    ::ShowWindow(Hwnd(), SW_RESTORE);
}

// The compare dialog grows with its frame, and shows a difference whole,
// both sides, in the value viewer.
TEST_F(MainWindowTest, CompareDialogResizesAndShowsADifferenceWhole) {
    Open(1);
    zentrel::SourceComparison compared;
    compared.name = "Sales";
    compared.status = zentrel::SourceStatus::Differs;
    const std::string inRegistry = "REG_SZ " + std::string(400, 'x');
    compared.differences.push_back(zentrel::EntryDifference{"value", "Server", inRegistry, "REG_SZ db9"});
    CompareDialog dialog(window.get(), {compared}, "summary");
    ASSERT_TRUE(dialog.Create(window.get()));
    EXPECT_EQ(WS_THICKFRAME, ::GetWindowLongA(dialog.m_hWnd, GWL_STYLE) & WS_THICKFRAME);
    const auto width = [&](int id) {
        RECT r;
        ::GetWindowRect(::GetDlgItem(dialog.m_hWnd, id), &r);
        return r.right - r.left;
    };
    const int entries = width(IDC_COMPARE_ENTRIES);
    RECT frame;
    ::GetWindowRect(dialog.m_hWnd, &frame);
    ::SetWindowPos(dialog.m_hWnd, NULL, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 60,
                   SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(entries + 100, width(IDC_COMPARE_ENTRIES));
    dialog.ViewEntry(0, 0);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("viewer", prompts->calls[0].kind);
    EXPECT_EQ("Server", prompts->calls[0].caption);
    EXPECT_EQ("Registry:\r\n" + inRegistry + "\r\n\r\nFile:\r\nREG_SZ db9", prompts->calls[0].text);
    dialog.DestroyWindow();
}

// Differences lead, identical sources only when asked for; a heading sorts
// by its column, again the other way round; Enter opens the first difference.
TEST_F(MainWindowTest, CompareDialogLeadsWithTheDifferences) {
    Open(1);
    using zentrel::SourceStatus;
    std::vector<zentrel::SourceComparison> compared;
    const std::pair<const char*, SourceStatus> sources[] = {{"Bravo", SourceStatus::Identical},
                                                           {"delta", SourceStatus::OnlyInRegistry},
                                                           {"Alpha", SourceStatus::OnlyInFile},
                                                           {"Echo", SourceStatus::Differs},
                                                           {"Charlie", SourceStatus::Identical}};
    for (const auto& source : sources) {
        zentrel::SourceComparison c;
        c.name = source.first;
        c.status = source.second;
        compared.push_back(c);
    }
    compared[3].differences.push_back(zentrel::EntryDifference{"value", "Server", "REG_SZ a", "REG_SZ b"});
    CompareDialog dialog(window.get(), compared, "summary");
    ASSERT_TRUE(dialog.Create(window.get()));
    char caption[200] = "";
    ::GetWindowTextA(dialog.m_hWnd, caption, sizeof(caption));
    EXPECT_STREQ("Compare with File: 1 different, 1 only in the file, 1 only in the registry, 2 identical", caption);
    const auto names = [&] { return ListColumn(dialog.m_lstSources.m_hWnd, 0); };
    // The first difference is shown at once.
    EXPECT_EQ(1, ListView_GetItemCount(dialog.m_lstEntries.m_hWnd));
    struct Step {
        int click;  // a heading, or -1 for the check box
        std::vector<std::string> rows;
    };
    const Step steps[] = {
        {-2, {"Echo", "Alpha", "delta"}},
        {-1, {"Echo", "Alpha", "delta", "Bravo", "Charlie"}},
        {0, {"Alpha", "Bravo", "Charlie", "delta", "Echo"}},
        {0, {"Echo", "delta", "Charlie", "Bravo", "Alpha"}},
        {2, {"Echo", "Alpha", "delta", "Bravo", "Charlie"}},
        {-1, {"Echo", "Alpha", "delta"}},
    };
    for (const Step& step : steps) {
        if (step.click == -1) {
            ::SendMessageA(::GetDlgItem(dialog.m_hWnd, IDC_COMPARE_DIFFERENCES), BM_CLICK, 0, 0);
        } else if (step.click >= 0) {
            NMLISTVIEW click = {};
            click.hdr = {dialog.m_lstSources.m_hWnd, IDC_COMPARE_SOURCES, (UINT)LVN_COLUMNCLICK};
            click.iSubItem = step.click;
            ::SendMessageA(dialog.m_hWnd, WM_NOTIFY, IDC_COMPARE_SOURCES, (LPARAM)&click);
        }
        EXPECT_EQ(step.rows, names()) << step.click;
    }
    ::SendMessageA(dialog.m_hWnd, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(1u, prompts->Of("viewer").size());
    EXPECT_EQ("Server", prompts->Of("viewer")[0].caption);
    dialog.DestroyWindow();
}

// The filter narrows the list as one types, over names and drivers; ticks
// of hidden rows are kept, and what is hidden is neither current nor
// exported. Find goes from row to row and round.
TEST_F(MainWindowTest, FilterAndFindOverNamesAndDrivers) {
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Budget", "Access Driver");
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Stock", "SQL Driver");
    Open(1);
    Pick("Sales");
    ListView_SetCheckState(list, 0, FALSE);  // Budget
    HWND filter = ::GetDlgItem(Hwnd(), IDC_FILTER);
    struct Step {
        const char* text;
        std::vector<std::string> rows;
        std::vector<bool> ticks;
        const char* status;
        const char* current;
    };
    const Step steps[] = {
        {"DRIVER", {"Budget", "Stock"}, {false, true}, "This computer, User DSN: 2 of 3 shown", ""},
        {"sal", {"Sales"}, {true}, "This computer, User DSN: 1 of 3 shown", ""},
        {"nothing", {}, {}, "This computer, User DSN: 0 of 3 shown", ""},
        {"", {"Budget", "Sales", "Stock"}, {false, true, true}, "This computer, User DSN: 3 data sources", ""},
    };
    for (const Step& step : steps) {
        ::SetWindowTextA(filter, step.text);
        EXPECT_EQ(step.rows, Rows()) << step.text;
        EXPECT_EQ(step.ticks, ListChecks(list)) << step.text;
        EXPECT_EQ(step.status, ItemText(Hwnd(), IDC_STATUS_LINE)) << step.text;
        EXPECT_STREQ(step.current, window->m_szCurrentDsn) << step.text;
    }
    // Export Selected takes the ticked rows shown, none hidden.
    ::SetWindowTextA(filter, "sa");
    const std::string file = ScratchDir("filter") + "\\shown.dsi";
    prompts->fileAnswers = {file};
    Command(ID_EXPORT_SELECTED);
    const std::string exported = ReadWholeFile(file);
    EXPECT_NE(std::string::npos, exported.find("DSN=Sales"));
    EXPECT_EQ(std::string::npos, exported.find("DSN=Stock"));
    ::SetWindowTextA(filter, "");
    prompts->dialogAnswers.push_back([](CDialog& dialog) {
        static_cast<DsnNameDialog&>(dialog).m_strName = "driver";
        return (INT_PTR)IDOK;
    });
    Command(ID_FIND);
    EXPECT_STREQ("Budget", window->m_szCurrentDsn);
    Command(ID_FIND_NEXT);
    EXPECT_STREQ("Stock", window->m_szCurrentDsn);
    Command(ID_FIND_NEXT);
    EXPECT_STREQ("Budget", window->m_szCurrentDsn);
    prompts->dialogAnswers.push_back([](CDialog& dialog) {
        static_cast<DsnNameDialog&>(dialog).m_strName = "none such";
        return (INT_PTR)IDOK;
    });
    prompts->messageAnswers = {IDOK};
    Command(ID_FIND);
    ASSERT_EQ(1u, prompts->Of("message").size());
    EXPECT_EQ("No data source shown has 'none such' in its name or driver.", prompts->Of("message")[0].text);
    EXPECT_TRUE(window->Succeeded());
}

TEST_F(MainWindowTest, SwitchingTabsRefillsAndRereadsTheRemoteBox) {
    Open();
    ASSERT_EQ(kSystemRows, Rows());
    ListView_SetCheckState(list, 0, FALSE);
    Pick("Payroll");
    ASSERT_EQ(1, ListView_GetItemCount(attributes));

    // The other tab does not show the current source: none is current.
    SelectTab(*window, 1);
    EXPECT_EQ(kUserRows, Rows());
    EXPECT_EQ(std::vector<bool>(3, true), ListChecks(list));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
    EXPECT_EQ("", CaptionLine());
    EXPECT_STREQ("", window->m_szCurrentDsn);
    EXPECT_EQ("This computer, User DSN: 3 data sources", ItemText(window->m_hWnd, IDC_STATUS_LINE));

    // A computer typed in the box takes effect at the next switch.
    ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, "nosuchhost");
    prompts->messageAnswers = {IDOK};
    SelectTab(*window, 0);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("RegConnectRegistry", prompts->calls[0].caption);
    EXPECT_EQ("Computer: 'nosuchhost'\n" + MainWindow::SystemErrorText(ERROR_BAD_NETPATH), prompts->calls[0].text);
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

// Ticks choose what Export Selected writes; only the highlight chooses the
// current data source, and a refill keeps it where the list still shows it.
TEST_F(MainWindowTest, TheHighlightAloneListsARow) {
    StoreSetting("bDefSystem", "0");
    Open();
    ASSERT_EQ(kUserRows, Rows());
    ListView_SetCheckState(list, 1, FALSE);
    EXPECT_STREQ("", window->m_szCurrentDsn);
    EXPECT_EQ("", CaptionLine());
    EXPECT_EQ(0, ListView_GetItemCount(attributes));

    Pick("Sales");
    EXPECT_EQ("'Sales' data source properties", CaptionLine());
    const std::vector<std::vector<std::string>> sales = {
        {"Engines", "<SUBKEY>", ""},
        {"Engines\\Jet", "<SUBKEY>", ""},
        {"Engines\\Jet\\Threads", "0x00000003 (3)", "REG_DWORD"},
        {"Driver", "usr-Sales", "REG_SZ"},
    };
    EXPECT_EQ(sales, ListRows(attributes, 3));
    for (UINT command : {ID_SELECT_ALL, ID_CLEAR_SELECTION}) Command(command);
    ListView_SetCheckState(list, 2, TRUE);
    EXPECT_EQ("'Sales' data source properties", CaptionLine());
    EXPECT_EQ(sales, ListRows(attributes, 3));
    EXPECT_EQ((std::vector<bool>{false, false, true}), ListChecks(list));
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(MainWindowTest, RefreshRechecksEveryRowAndKeepsTheHighlight) {
    Open();
    SelectTab(*window, 1);
    Pick("Stock");
    for (int row : {0, 2}) ListView_SetCheckState(list, row, FALSE);
    ASSERT_EQ((std::vector<bool>{false, true, false}), ListChecks(list));
    PutString(HKEY_CURRENT_USER, OdbcPath("Aardvark"), "Driver", "usr-Aardvark");
    SendCommand(window->m_hWnd, ID_REFRESH);
    EXPECT_EQ((std::vector<std::string>{"Aardvark", "Budget", "Sales", "Stock"}), Rows());
    EXPECT_EQ(std::vector<bool>(4, true), ListChecks(list));
    EXPECT_EQ(3, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Driver", "usr-Stock", "REG_SZ"}}), ListRows(attributes, 3));
    EXPECT_EQ("'Stock' data source properties", CaptionLine());
    EXPECT_EQ("This computer, User DSN: 4 data sources", ItemText(window->m_hWnd, IDC_STATUS_LINE));

    // Gone meanwhile: nothing is current any more.
    ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Stock").c_str());
    SendCommand(window->m_hWnd, ID_REFRESH);
    EXPECT_EQ(-1, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
    EXPECT_EQ("", CaptionLine());
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

// Keys the window takes before any control, wherever the focus is; the
// rest stay the control's own (Delete and Ctrl+C edit the remote box).
TEST_F(MainWindowTest, KeysReachTheirCommands) {
    const std::vector<std::string> userAndNew = {"Budget", "Sales", "Stock", "Zeta"};
    struct Case {
        const char* label;
        WPARAM key;
        bool ctrl, shift;
        int focus;                              // control the key is sent to
        bool taken;
        const std::vector<std::string>* rows;   // the list afterwards
        const char* kind;                       // the one prompt expected, or null
        const char* text;                       // its text (menu: its entries)
    };
    const Case cases[] = {
        {"Ctrl+Tab", VK_TAB, true, false, IDC_DSN_LIST, true, &kSystemRows, nullptr, nullptr},
        {"Ctrl+Shift+Tab", VK_TAB, true, true, IDC_REMOTE_SYSTEM, true, &kSystemRows, nullptr, nullptr},
        {"Tab alone moves the focus", VK_TAB, false, false, IDC_DSN_LIST, false, &kUserRows, nullptr, nullptr},
        {"Ctrl+PgDn", VK_NEXT, true, false, IDC_ATTRIBUTE_LIST, true, &kSystemRows, nullptr, nullptr},
        {"Ctrl+PgUp", VK_PRIOR, true, false, IDC_SCOPE_TABS, true, &kSystemRows, nullptr, nullptr},
        {"F5", VK_F5, false, false, IDC_ATTRIBUTE_LIST, true, &userAndNew, nullptr, nullptr},
        {"Enter in the remote box", VK_RETURN, false, false, IDC_REMOTE_SYSTEM, true, &userAndNew, nullptr, nullptr},
        {"Delete on the list", VK_DELETE, false, false, IDC_DSN_LIST, true, &kUserRows, "message",
         "Remove 'Sales' data source?"},
        {"Delete in the remote box", VK_DELETE, false, false, IDC_REMOTE_SYSTEM, false, &kUserRows, nullptr, nullptr},
        {"Ctrl+C on the properties", 'C', true, false, IDC_ATTRIBUTE_LIST, true, &kUserRows, "clipboard",
         "Engines\\Jet\\Threads\t0x00000003 (3)\tREG_DWORD\r\nDriver\tusr-Sales\tREG_SZ\r\n"},
        {"Ctrl+C in the remote box", 'C', true, false, IDC_REMOTE_SYSTEM, false, &kUserRows, nullptr, nullptr},
        {"Ctrl+C on the list", 'C', true, false, IDC_DSN_LIST, true, &kUserRows, "clipboard",
         "Sales\t\t32/64-bit, driver missing\r\n"},
        {"Enter on the properties", VK_RETURN, false, false, IDC_ATTRIBUTE_LIST, true, &kUserRows, "viewer",
         "0x00000003 (3)"},
        {"Shift+F10 on the list", VK_F10, false, true, IDC_DSN_LIST, true, &kUserRows, "popup",
         "Cop&y\tCtrl+C||&Refresh list\tF5|Select &All|&Clear Selection||&Export...|Export A&ll...|"
         "Export Selec&ted...|&Import...|Import A&s...|Compare with &File...||Remo&ve\tDel||Fi&nd...\tCtrl+F|"
         "Find Ne&xt\tF3|C&opy to|Restore from &Backup..."},
        {"context-menu key on the properties", VK_APPS, false, false, IDC_ATTRIBUTE_LIST, true, &kUserRows, "popup",
         "&Copy\tCtrl+C|&View Value...\tEnter|&Show Secret Value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Open(1);
        Pick("Sales");
        for (int row : {2, 3}) ListView_SetItemState(attributes, row, LVIS_SELECTED, LVIS_SELECTED);
        PutString(HKEY_CURRENT_USER, OdbcPath("Zeta"), "Driver", "usr-Zeta");
        prompts->messageAnswers = {IDNO};
        prompts->popupAnswers = {0};

        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = c.ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = c.shift ? 0x80 : 0;
        ::SetKeyboardState(keys);
        MSG msg = {};
        msg.hwnd = ::GetDlgItem(Hwnd(), c.focus);
        msg.message = c.key == VK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN;
        msg.wParam = c.key;
        const BOOL taken = window->PreTranslateMessage(&msg);
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        ::SetKeyboardState(keys);
        PumpMessages();

        EXPECT_EQ(c.taken, taken != FALSE);
        EXPECT_EQ(*c.rows, Rows());
        EXPECT_EQ(c.rows == &kSystemRows ? 0 : 1, TabCtrl_GetCurSel(tabs));
        if (c.kind == nullptr) {
            EXPECT_TRUE(prompts->calls.empty());
        } else {
            ASSERT_EQ(1u, prompts->calls.size());
            EXPECT_EQ(c.kind, prompts->calls[0].kind);
            EXPECT_EQ(c.text, c.kind == std::string("popup") ? prompts->calls[0].caption : prompts->calls[0].text);
        }
        ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Zeta").c_str());
    }
}

// A heading click sorts, a second one reverses; ticks and the highlight go
// with their rows, and a refill keeps the order.
TEST_F(MainWindowTest, HeadingsSortAndTheOrderHolds) {
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Budget", "Zed");
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Stock", "Able");
    Open(1);
    Pick("Budget");
    ListView_SetCheckState(list, 2, FALSE);
    auto click = [this](int column) {
        NMLISTVIEW notice = {};
        notice.hdr = {list, IDC_DSN_LIST, (UINT)LVN_COLUMNCLICK};
        notice.iItem = -1;
        notice.iSubItem = column;
        ::SendMessageA(Hwnd(), WM_NOTIFY, IDC_DSN_LIST, (LPARAM)&notice);
    };
    click(0);
    EXPECT_EQ(kUserRows, Rows());
    click(0);
    EXPECT_EQ((std::vector<std::string>{"Stock", "Sales", "Budget"}), Rows());
    EXPECT_EQ((std::vector<bool>{false, true, true}), ListChecks(list));
    EXPECT_EQ(2, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    // By driver: no entry sorts first.
    click(1);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Sales", ""}, {"Stock", "Able"}, {"Budget", "Zed"}}),
              ListRows(list, 2));
    PutString(HKEY_CURRENT_USER, OdbcPath("Apex"), "Driver", "x");
    Command(ID_REFRESH);
    EXPECT_EQ((std::vector<std::string>{"Apex", "Sales", "Stock", "Budget"}), Rows());
    EXPECT_EQ(3, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_EQ("'Budget' data source properties", CaptionLine());
    EXPECT_TRUE(prompts->calls.empty());
}

// The lists grow with the window; its size and the column widths come back
// at the next start.
TEST_F(MainWindowTest, SizeAndColumnsAreKept) {
    Open();
    RECT before, listBefore;
    ::GetWindowRect(Hwnd(), &before);
    ::GetWindowRect(list, &listBefore);
    const int width = before.right - before.left + 200, height = before.bottom - before.top + 100;
    ::SetWindowPos(Hwnd(), NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    RECT listAfter, attributesAfter, attributesBefore = {};
    ::GetWindowRect(list, &listAfter);
    ::GetWindowRect(attributes, &attributesAfter);
    EXPECT_EQ(listBefore.right - listBefore.left + 200, listAfter.right - listAfter.left);
    EXPECT_EQ(listBefore.bottom - listBefore.top + 50, listAfter.bottom - listAfter.top);
    ListView_SetColumnWidth(list, 1, 150);
    ListView_SetColumnWidth(attributes, 2, 77);
    window->DestroyWindow();

    Open();
    RECT reopened;
    ::GetWindowRect(Hwnd(), &reopened);
    EXPECT_EQ(width, reopened.right - reopened.left);
    EXPECT_EQ(height, reopened.bottom - reopened.top);
    EXPECT_EQ(150, ListView_GetColumnWidth(list, 1));
    EXPECT_EQ(77, ListView_GetColumnWidth(attributes, 2));
    ::GetWindowRect(attributes, &attributesBefore);
    EXPECT_EQ(attributesAfter.bottom - attributesAfter.top, attributesBefore.bottom - attributesBefore.top);
    EXPECT_TRUE(prompts->calls.empty());
}

// A screen of another scale: columns, toolbar images and fonts follow it
// (at 144 DPI half as large again), widths are kept at 96 DPI, so that the
// columns come back alike on a screen of either scale.
TEST_F(MainWindowTest, ScaleFollowsTheScreen) {
    const auto toolbarImage = [this] {
        int cx = 0, cy = 0;
        ImageList_GetIconSize((HIMAGELIST)::SendMessageA(window->m_wndToolBar.m_hWnd, TB_GETIMAGELIST, 0, 0), &cx, &cy);
        return std::make_pair(cx, cy);
    };
    const auto fontHeight = [](HWND control) {
        LOGFONTA font = {};
        ::GetObjectA((HFONT)::SendMessageA(control, WM_GETFONT, 0, 0), sizeof(font), &font);
        return std::abs(font.lfHeight);
    };
    const auto moveTo = [this](UINT dpi) {
        RECT placed;
        ::GetWindowRect(Hwnd(), &placed);
        ::SendMessageA(Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), (LPARAM)&placed);
    };
    Open();
    ASSERT_EQ(96u, window->Dpi());
    const int nameWidth = ListView_GetColumnWidth(list, 0), platformWidth = ListView_GetColumnWidth(list, 2);
    const int typeWidth = ListView_GetColumnWidth(attributes, 2);
    const std::pair<int, int> image = toolbarImage();
    const int font = fontHeight(list);
    moveTo(144);
    EXPECT_EQ(144u, window->Dpi());
    EXPECT_EQ(::MulDiv(nameWidth, 3, 2), ListView_GetColumnWidth(list, 0));
    EXPECT_EQ(::MulDiv(typeWidth, 3, 2), ListView_GetColumnWidth(attributes, 2));
    EXPECT_EQ(std::make_pair(::MulDiv(image.first, 3, 2), ::MulDiv(image.second, 3, 2)), toolbarImage());
    EXPECT_EQ(::MulDiv(font, 3, 2), fontHeight(list));
    ListView_SetColumnWidth(list, 1, 300);
    window->DestroyWindow();
    std::vector<unsigned char> kept;
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, "Software\\Morvane\\Zentrel", "SourceColumns", nullptr, &kept));
    EXPECT_EQ(std::to_string(nameWidth) + ",200," + std::to_string(platformWidth), std::string(kept.begin(), kept.end()).c_str());

    Open();
    EXPECT_EQ(200, ListView_GetColumnWidth(list, 1));
    moveTo(144);
    EXPECT_EQ(300, ListView_GetColumnWidth(list, 1));
    moveTo(96);
    EXPECT_EQ(200, ListView_GetColumnWidth(list, 1));
    EXPECT_EQ(image, toolbarImage());
    EXPECT_TRUE(prompts->calls.empty());
}

// Tabbing into the list when no row is current marks a row with the focus,
// and picks no data source.
TEST_F(MainWindowTest, FocusComingToTheListMarksARow) {
    Open();
    ASSERT_EQ(-1, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    ::SetFocus(::GetDlgItem(Hwnd(), IDC_REMOTE_SYSTEM));
    Command(ID_REFRESH);
    ASSERT_EQ(-1, ListView_GetNextItem(list, -1, LVNI_FOCUSED));
    ::SetFocus(list);
    EXPECT_EQ(0, ListView_GetNextItem(list, -1, LVNI_FOCUSED));
    EXPECT_EQ(-1, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_STREQ("", window->m_szCurrentDsn);
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
}

// An exception in a command stops at the dialog procedure: told, the window
// closes, and the program's exit code is 1.
TEST_F(MainWindowTest, ExceptionInACommandIsToldAndEndsTheWindow) {
    struct ThrowingChooser : ScriptedPrompts {
        BOOL FileName(BOOL, OPENFILENAMEA*) override { throw std::runtime_error("chooser broke"); }
    };
    Open(1);
    ThrowingChooser* throwing = new ThrowingChooser;
    throwing->messageAnswers = {IDOK};
    window->SetPrompts(std::unique_ptr<Prompts>(throwing));
    prompts = nullptr;
    CDialog::TakeFailedExit();
    Command(ID_EXPORT_ALL);
    EXPECT_EQ(NULL, Hwnd());
    EXPECT_TRUE(CDialog::TakeFailedExit());
    EXPECT_FALSE(window->Succeeded());
    ASSERT_EQ(1u, throwing->Of("message").size());
    EXPECT_EQ("Error", throwing->calls[0].caption);
    EXPECT_NE(std::string::npos, throwing->calls[0].text.find("chooser broke")) << throwing->calls[0].text;
}

}  // namespace
