// 32-bit and 64-bit System DSNs: both views in one list, each row acted on in
// its own view, DSI files that carry the view, and the driver check.
#include "DsiTestUtil.h"
#include "WindowHelpers.h"

#include "ui/CompareDialog.h"
#include "ui/Settings.h"
#include "core/ProfileFile.h"

#include <algorithm>
#include <deque>
#include <functional>

namespace {

// A System source in one view (the 32-bit one is seen under Wow6432Node),
// with an attribute telling the views apart.
void PutViewSource(bool bits32, const std::string& name, const std::string& driver) {
    const std::string section = bits32 ? OdbcPath32() : OdbcPath();
    PutString(HKEY_LOCAL_MACHINE, section + "\\ODBC Data Sources", name.c_str(), driver);
    PutString(HKEY_LOCAL_MACHINE, section + "\\" + name, "View", bits32 ? "32" : "64");
}

void InstallDriver(bool bits32, const std::string& driver) {
    PutString(HKEY_LOCAL_MACHINE,
              std::string(bits32 ? "Software\\Wow6432Node" : "Software") + "\\ODBC\\ODBCINST.INI\\ODBC Drivers",
              driver.c_str(), "Installed");
}

// Longer than the first buffer a driver entry is read into.
const std::string kDrv32 = "Drv32" + std::string(300, '2');

void SeedBothViews() {
    InstallDriver(false, "Drv64");
    InstallDriver(true, kDrv32);
    PutViewSource(false, "Both", "Drv64");
    PutViewSource(false, "Only64", kDrv32);  // a 32-bit driver only: missing here
    PutViewSource(true, "Both", kDrv32);
    PutViewSource(true, "Only32", kDrv32);
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Mine", "Drv64");
    PutString(HKEY_CURRENT_USER, OdbcPath("Mine"), "View", "user");
}

class PlatformTest : public WindowTest {
protected:
    void PickRow(int row) {
        window->m_lstDataSources.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    std::string dir = ScratchDir("platforms");
};

// Both views in one list, each row with its platform and driver check; a
// row is listed, removed and exported from its own view.
TEST_F(PlatformTest, SystemTabListsAndActsOnBothViews) {
    SeedBothViews();
    Open(0);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Both", "Drv64", "64-bit"},
                                                     {"Only64", kDrv32, "64-bit, driver missing"},
                                                     {"Both", kDrv32, "32-bit"},
                                                     {"Only32", kDrv32, "32-bit"}}),
              ListRows(list, 3));

    PickRow(2);
    EXPECT_EQ((std::vector<std::string>{"View"}), ListColumn(attributes, 0));
    EXPECT_EQ((std::vector<std::string>{"32"}), ListColumn(attributes, 1));

    // Export All: one section per row, each naming its view.
    prompts->fileAnswers = {dir + "\\all.dsi"};
    Command(ID_EXPORT_ALL);
    zentrel::ProfileFile all;
    all.Parse(ReadWholeFile(dir + "\\all.dsi"));
    for (int i = 0; i < 4; ++i) {
        const std::string section = "DSN" + std::to_string(i);
        EXPECT_EQ(i < 2 ? "64-bit" : "32-bit", all.GetString(section, "Platform", "")) << section;
        EXPECT_EQ(i < 2 ? "64" : "32", all.GetString(section, "Value0", "")) << section;
    }

    // Remove the 32-bit "Both": the 64-bit one stays.
    PickRow(2);
    g_pSettings->m_bAskDelete = FALSE;
    Command(ID_REMOVE);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32("Both")));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Both")));
    EXPECT_EQ(-2, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath32("ODBC Data Sources"), "Both").type);
    EXPECT_TRUE(prompts->Of("message").empty());

    // A view without any driver list has none of them installed.
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\ODBC\\ODBCINST.INI\\ODBC Drivers");
    Command(ID_REFRESH);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Both", "Drv64", "64-bit"},
                                                     {"Only64", kDrv32, "64-bit, driver missing"},
                                                     {"Only32", kDrv32, "32-bit, driver missing"}}),
              ListRows(list, 3));

    ::SelectTab(*window, 1);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Mine", "Drv64", "32/64-bit, 64-bit driver only"}}),
              ListRows(list, 3));
}

// A DSI file carries each System source's view; import writes it back there,
// into the program's own view when the section names none, and into the one
// the command line forces whatever the file says.
TEST_F(PlatformTest, FilesCarryTheView) {
    struct Case {
        const char* name;
        const char* platformSwitch;  // batch -p value, or empty
        std::string file;
        std::vector<std::string> in64, in32;  // sources after the import
        bool succeeded;
        bool no32Section = false;  // the 32-bit view has no ODBC section: asked for, and made
        bool oldInBoth = false;    // "Old" is already in both views: only the one written into changes
        bool replacing = false;    // A and B already there, each in its view: both backed up and replaced
    };
    const std::string both = "[General]\r\nItems=3\r\n"
                             "[DSN0]\r\nDSN=A\r\nDriver=DrvA\r\nPlatform=64-bit\r\nItems=0\r\n"
                             "[DSN1]\r\nDSN=B\r\nDriver=DrvB\r\nPlatform=32-bit\r\nItems=0\r\n"
                             "[DSN2]\r\nDSN=Old\r\nDriver=DrvOld\r\nItems=0\r\n";
    const Case cases[] = {
        {"each_into_its_view", "", both, {"A", "Old"}, {"B"}, true},
        {"forced_into_32", "32", both, {}, {"A", "B", "Old"}, true},
        {"forced_into_64", "64", both, {"A", "B", "Old"}, {}, true},
        {"forced_into_32_without_a_section", "32", both, {}, {"A", "B", "Old"}, true, true},
        {"forced_into_32_over_both_views", "32", both, {"Old"}, {"A", "B", "Old"}, true, false, true},
        {"replacing_in_both_views", "", both, {"A", "Old"}, {"B"}, true, false, false, true},
        {"unknown_platform_refused", "", "[General]\r\nItems=1\r\n[DSN0]\r\nDSN=X\r\nPlatform=16-bit\r\nItems=0\r\n",
         {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTestRegistry();
        Renew();
        window->facts.commandLine.m_bBatchMode = TRUE;
        window->facts.commandLine.m_strPlatform = c.platformSwitch;
        const std::string file = dir + "\\" + c.name + ".dsi";
        WriteWholeFile(file, c.file);
        // Each view starts with driver entries of its own, so that an entry
        // written into the other view's key shows.
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Kept", "Drv64");
        PutString(HKEY_LOCAL_MACHINE, OdbcPath32("ODBC Data Sources"), "Kept", "Drv32");
        if (c.no32Section) ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, OdbcPath32().c_str());
        if (c.oldInBoth) {
            PutViewSource(false, "Old", "DrvOld");
            PutViewSource(true, "Old", "Stale32");
        }
        if (c.replacing) {
            PutViewSource(false, "A", "StaleA");
            PutViewSource(true, "B", "StaleB");
            ::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str());
        }
        prompts->messageAnswers = {c.no32Section ? IDYES : IDOK};
        window->ImportDsiFile(FALSE, file.c_str(), TRUE);
        if (c.replacing) {
            ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
            EXPECT_EQ((RegValue{-2, {}}), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("A"), "View"));
            EXPECT_EQ((RegValue{-2, {}}), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath32("B"), "View"));
            const std::string backup = ReadWholeFile(FirstBackup(dir));
            for (const char* held : {"DSN=A\r\nPlatform=64-bit", "DSN=B\r\nPlatform=32-bit", "=StaleA\r\n", "=StaleB\r\n"})
                EXPECT_NE(std::string::npos, backup.find(held)) << held << "\n" << backup;
        }
        EXPECT_EQ(c.succeeded, (bool)window->Succeeded());
        if (c.no32Section) {
            ASSERT_EQ(1u, prompts->Of("message").size());
            EXPECT_EQ("RegOpenKey", prompts->Of("message")[0].caption);
        }
        if (c.oldInBoth) {
            EXPECT_EQ((RegValue{REG_SZ, Text("64")}), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Old"), "View"));
            EXPECT_EQ((RegValue{-2, {}}), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath32("Old"), "View"));
        }
        for (const char* name : {"A", "B", "Old", "X"}) {
            const bool want64 = std::find(c.in64.begin(), c.in64.end(), name) != c.in64.end();
            const bool want32 = std::find(c.in32.begin(), c.in32.end(), name) != c.in32.end();
            EXPECT_EQ(want64, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath(name))) << name;
            EXPECT_EQ(want32, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32(name))) << name;
            // Each view's own driver entry, beside its own key.
            const RegValue entry{REG_SZ, Text(std::string("Drv") + name)};
            const RegValue none{-2, {}};
            EXPECT_EQ(want64 ? entry : none, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), name)) << name;
            EXPECT_EQ(want32 ? entry : none, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath32("ODBC Data Sources"), name))
                << name;
        }
        EXPECT_EQ((RegValue{REG_SZ, Text("Drv64")}),
                  ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Kept"));
        EXPECT_EQ((c.no32Section ? RegValue{-2, {}} : RegValue{REG_SZ, Text("Drv32")}),
                  ValueOf(HKEY_LOCAL_MACHINE, OdbcPath32("ODBC Data Sources"), "Kept"));
    }
    window->facts.commandLine.m_strPlatform.clear();
}

// The batch export of the System scope covers both views, or the one -p names.
TEST_F(PlatformTest, BatchExportCoversTheViewsAskedFor) {
    SeedBothViews();
    for (const char* platform : {"", "32", "64"}) {
        SCOPED_TRACE(platform);
        Renew();
        window->facts.commandLine.m_bBatchMode = TRUE;
        window->facts.commandLine.m_strPlatform = platform;
        const std::string file = dir + "\\batch" + platform + ".dsi";
        window->ExportScopeToFile(file.c_str(), TRUE);
        zentrel::ProfileFile written;
        written.Parse(ReadWholeFile(file));
        std::vector<std::string> sections;
        for (int i = 0; i < 5; ++i) {
            const std::string s = "DSN" + std::to_string(i);
            const std::string dsn = written.GetString(s, "DSN", "");
            if (!dsn.empty())
                sections.push_back(dsn + " " + written.GetString(s, "Platform", "") + " " +
                                   written.GetString(s, "Driver", ""));
        }
        // Each driver from its own view's entry, whole.
        const std::vector<std::string> all = {"Both 64-bit Drv64", "Only64 64-bit " + kDrv32, "Both 32-bit " + kDrv32,
                                              "Only32 32-bit " + kDrv32};
        const std::string p = platform;
        std::vector<std::string> expected;
        for (const std::string& s : all)
            if (p.empty() || s.find(p + "-bit") != std::string::npos) expected.push_back(s);
        EXPECT_EQ(expected, sections);
        EXPECT_EQ(std::to_string(expected.size()), written.GetString("General", "Items", ""));
    }
    window->facts.commandLine.m_strPlatform.clear();
}

// The current data source is the highlighted row and nothing else: whatever
// happens to ticks, tabs and the list, Remove deletes the highlighted source
// in its own view, or nothing. Rows: Payroll and Warehouse (64-bit), then
// Payroll and PG32 (32-bit).
TEST_F(PlatformTest, RemoveActsOnTheHighlightedRowOnly) {
    const std::vector<std::string> keys = {OdbcPath("Payroll"), OdbcPath("Warehouse"), OdbcPath32("Payroll"),
                                           OdbcPath32("PG32")};
    const std::string noItem = "No item is currently selected";
    auto click = [this](int row) {
        NMITEMACTIVATE notice = {};
        notice.hdr.hwndFrom = list;
        notice.hdr.idFrom = IDC_DSN_LIST;
        notice.hdr.code = NM_CLICK;
        notice.iItem = row;
        ::SendMessageA(Hwnd(), WM_NOTIFY, IDC_DSN_LIST, (LPARAM)&notice);
    };
    struct Case {
        const char* label;
        int highlight;
        std::function<void()> act;
        std::deque<int> answers;
        std::vector<std::string> texts;  // every message, in order
        int removed;                     // index into keys, -1 for none
    };
    const Case cases[] = {
        {"tick the other view's row", 0, [&] { ListView_SetCheckState(list, 2, FALSE); }, {IDYES},
         {"Remove 'Payroll' (64-bit) data source?"}, 0},
        {"select all", 1, [&] { Command(ID_SELECT_ALL); }, {IDYES}, {"Remove 'Warehouse' data source?"}, 1},
        {"clear selection", 3, [&] { Command(ID_CLEAR_SELECTION); }, {IDYES}, {"Remove 'PG32' data source?"}, 3},
        {"refresh", 2, [&] { Command(ID_REFRESH); }, {IDYES}, {"Remove 'Payroll' (32-bit) data source?"}, 2},
        // The focus moving alone, as a click on a row's box moves it, is no highlight.
        {"focus moves alone", 1, [&] {
             ListView_SetItemState(list, 3, LVIS_FOCUSED, LVIS_FOCUSED);
             ListView_SetCheckState(list, 3, FALSE);
         }, {IDYES}, {"Remove 'Warehouse' data source?"}, 1},
        {"focus moves alone to the other view's row", 0, [&] {
             ListView_SetItemState(list, 2, LVIS_FOCUSED, LVIS_FOCUSED);
             ListView_SetCheckState(list, 2, FALSE);
         }, {IDYES}, {"Remove 'Payroll' (64-bit) data source?"}, 0},
        {"tab round trip", 2, [&] { SelectTab(*window, 1); SelectTab(*window, 0); }, {IDOK}, {noItem}, -1},
        // Declined, the row stays current in its own view: asked again, not "no item".
        {"declined twice, then the same row clicked", 2,
         [&] {
             prompts->messageAnswers = {IDNO, IDNO};
             Command(ID_REMOVE);
             Command(ID_REMOVE);
             click(2);
         },
         {IDYES},
         {"Remove 'Payroll' (32-bit) data source?", "Remove 'Payroll' (32-bit) data source?",
          "Remove 'Payroll' (32-bit) data source?"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ClearTestRegistry();
        PutViewSource(false, "Payroll", "Drv64");
        PutViewSource(false, "Warehouse", "Drv64");
        PutViewSource(true, "Payroll", "Drv32");
        PutViewSource(true, "PG32", "Drv32");
        Open(0);
        ASSERT_EQ((std::vector<std::string>{"Payroll", "Warehouse", "Payroll", "PG32"}), Rows());
        PickRow(c.highlight);
        c.act();
        const int highlighted = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        prompts->messageAnswers.insert(prompts->messageAnswers.end(), c.answers.begin(), c.answers.end());
        Command(ID_REMOVE);
        std::vector<std::string> texts;
        for (const PromptCall& call : prompts->Of("message")) texts.push_back(call.text);
        EXPECT_EQ(c.texts, texts);
        if (c.removed < 0) {
            EXPECT_EQ("Remove", prompts->Of("message").back().caption);
            EXPECT_EQ(-1, highlighted);
            EXPECT_EQ("", ItemText(Hwnd(), IDC_CAPTION_LINE));
            EXPECT_EQ(0, ListView_GetItemCount(attributes));
        } else {
            EXPECT_EQ(c.highlight, highlighted);
        }
        for (size_t k = 0; k < keys.size(); ++k) EXPECT_EQ((int)k != c.removed, KeyExists(HKEY_LOCAL_MACHINE, keys[k])) << k;
    }
}

// Export takes the highlighted row's view too, and names it where the name
// is in both; Export Selected with nothing ticked touches no file.
TEST_F(PlatformTest, ExportActsOnTheHighlightedRowOnly) {
    PutViewSource(false, "Payroll", "Drv64");
    PutViewSource(true, "Payroll", "Drv32");
    PutViewSource(true, "PG32", "Drv32");
    Open(0);
    PickRow(0);
    EXPECT_EQ("'Payroll' (64-bit) data source properties", ItemText(Hwnd(), IDC_CAPTION_LINE));
    ListView_SetCheckState(list, 1, FALSE);
    Command(ID_SELECT_ALL);
    EXPECT_EQ((std::vector<std::string>{"64"}), ListColumn(attributes, 1));
    prompts->fileAnswers = {dir + "\\current.dsi"};
    Command(ID_EXPORT);
    zentrel::ProfileFile current;
    current.Parse(ReadWholeFile(dir + "\\current.dsi"));
    EXPECT_EQ("64-bit", current.GetString("DSN0", "Platform", ""));
    EXPECT_EQ("64", current.GetString("DSN0", "Value0", ""));
    PickRow(2);
    EXPECT_EQ("'PG32' data source properties", ItemText(Hwnd(), IDC_CAPTION_LINE));

    const std::string kept = "[General]\r\nItems=1\r\n[DSN0]\r\nDSN=Old\r\nItems=0\r\n";
    WriteWholeFile(dir + "\\kept.dsi", kept);
    Command(ID_CLEAR_SELECTION);
    prompts->messageAnswers = {IDOK};
    Command(ID_EXPORT_SELECTED);
    ASSERT_EQ(1u, prompts->Of("message").size());
    EXPECT_EQ("No data source is ticked; nothing is exported.", prompts->Of("message")[0].text);
    EXPECT_EQ("Export", prompts->Of("message")[0].caption);
    EXPECT_TRUE(prompts->Of("save").size() == 1u);  // only Export current's
    EXPECT_EQ(kept, ReadWholeFile(dir + "\\kept.dsi"));
}

// -p32 and -p64 restrict batch runs: the window still lists both views and
// imports each source into the view its file names.
TEST_F(PlatformTest, ViewSwitchLeavesTheWindowAlone) {
    for (const char* forced : {"32", "64"}) {
        SCOPED_TRACE(forced);
        ClearTestRegistry();
        PutViewSource(false, "Payroll", "Drv64");
        PutViewSource(true, "Payroll", "Drv32");
        window->facts.commandLine.m_strPlatform = forced;
        Open(0);
        EXPECT_EQ((std::vector<std::string>{"Payroll", "Payroll"}), Rows());
        const std::string file = dir + "\\views.dsi";
        WriteWholeFile(file, "[General]\r\nItems=2\r\n[DSN0]\r\nDSN=In64\r\nPlatform=64-bit\r\nItems=0\r\n"
                             "[DSN1]\r\nDSN=In32\r\nPlatform=32-bit\r\nItems=0\r\n");
        prompts->fileAnswers = {file};
        prompts->messageAnswers = {IDOK};
        Command(ID_IMPORT);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("In64")));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32("In32")));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32("In64")));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("In32")));
        EXPECT_EQ(4u, Rows().size());
        EXPECT_EQ(1u, prompts->Of("message").size());  // the summary
        // Its compare too: each source against its own view.
        std::string statuses;
        prompts->fileAnswers = {file};
        prompts->dialogAnswers.push_back([&statuses](CDialog& dialog) {
            const CompareDialog* shown = dynamic_cast<CompareDialog*>(&dialog);
            if (shown == nullptr) return (INT_PTR)IDCANCEL;
            for (const zentrel::SourceComparison& c : shown->Comparisons())
                statuses += c.name + " " + zentrel::PlatformText(c.platform) + ": " +
                            zentrel::SourceStatusText(c.status) + ";";
            return (INT_PTR)IDCANCEL;
        });
        Command(ID_COMPARE);
        EXPECT_EQ("In64 64-bit: identical;In32 32-bit: identical;Payroll 64-bit: only in registry;"
                  "Payroll 32-bit: only in registry;",
                  statuses);
    }
    window->facts.commandLine.m_strPlatform.clear();
}

// Import goes to the computer the list shows, not one typed in the box
// since; Enter in the box then shows that computer, naming it when it
// cannot be reached.
TEST_F(PlatformTest, ImportUsesTheListedComputer) {
    Open(1);
    ::SetDlgItemTextA(Hwnd(), IDC_REMOTE_SYSTEM, "nosuchhost");
    const std::string file = dir + "\\typed.dsi";
    WriteWholeFile(file, "[General]\r\nItems=1\r\n[DSN0]\r\nDSN=Typed\r\nItems=1\r\nName0=A\r\nValue0=1\r\nFormat0=1\r\n");
    prompts->fileAnswers = {file};
    prompts->messageAnswers = {IDOK};
    Command(ID_IMPORT);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OdbcPath("Typed")));
    ASSERT_EQ(1u, prompts->Of("message").size());
    EXPECT_EQ("Import", prompts->Of("message")[0].caption);
    prompts->calls.clear();
    EXPECT_EQ((std::vector<std::string>{"Typed"}), Rows());

    MSG enter = {};
    enter.hwnd = ::GetDlgItem(Hwnd(), IDC_REMOTE_SYSTEM);
    enter.message = WM_KEYDOWN;
    enter.wParam = VK_RETURN;
    prompts->messageAnswers = {IDOK};
    EXPECT_TRUE(window->PreTranslateMessage(&enter));
    ASSERT_EQ(1u, prompts->Of("message").size());
    EXPECT_EQ(0u, prompts->Of("message")[0].text.find("Computer: 'nosuchhost'\n"));
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ("Computer nosuchhost, User DSN: not connected", ItemText(Hwnd(), IDC_STATUS_LINE));
}

}  // namespace
