// Which subkeys make the data-source list, and how a fill leaves the lists.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include "ui/resource.h"

namespace {

const std::string kLong70 = "A" + std::string(69, 'x');
const std::string kLong255 = "M" + std::string(254, 'n');

struct CatalogueCase {
    const char* name;
    std::vector<std::string> keys;          // subkeys of the ODBC section
    std::vector<std::string> registeredOnly;  // values under "ODBC Data Sources" only
    std::vector<std::string> listed;        // expected rows, in the registry's order
};

const CatalogueCase kCatalogueCases[] = {
    {"only_reserved_keys", {"ODBC Data Sources", "ODBC File DSN", "ODBC"}, {}, {}},
    // Key names ignore case in the registry: "odbc data sources" is the
    // driver entries' key, whatever its spelling.
    {"reserved_names_in_any_case", {"odbc", "odbc data sources", "Odbc File Dsn"}, {}, {}},
    {"registered_value_without_key_not_listed", {"Real"}, {"Ghost", "Real"}, {"Real"}},
    {"reserved_prefix_is_a_source", {"ODBC2", "ODBC Data Sources Extra"}, {}, {"ODBC Data Sources Extra", "ODBC2"}},
    {"long_name_hides_nothing_after_it", {kLong70, "B after", "C after"}, {}, {kLong70, "B after", "C after"}},
    {"longest_key_name", {"Before", kLong255, "Z last"}, {}, {"Before", kLong255, "Z last"}},
    {"blanks_and_punctuation", {"Sales (EU) #1", "x.y;z=1"}, {}, {"Sales (EU) #1", "x.y;z=1"}},
};

class CatalogueTest : public RegistryTest, public ::testing::WithParamInterface<CatalogueCase> {
protected:
    void Seed(bool systemScope, const CatalogueCase& c) {
        const HKEY root = ScopeRoot(systemScope);
        // Relative to the section: the ANSI calls refuse longer full paths.
        HKEY section = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyA(root, kOdbcIniPath, &section));
        for (const std::string& key : c.keys) PutKey(section, key);
        ::RegCloseKey(section);
        for (const std::string& name : c.registeredOnly)
            PutString(root, OdbcPath("ODBC Data Sources"), name.c_str(), "Some Driver");
    }
};

// The window's fill and the enumeration that the batch export uses agree, in
// both scopes, and every listed row is checked.
TEST_P(CatalogueTest, ListsTheDataSources) {
    const CatalogueCase& c = GetParam();
    for (bool systemScope : {true, false}) {
        SCOPED_TRACE(systemScope ? "system" : "user");
        ClearTestRegistry();
        Seed(systemScope, c);
        // The other scope holds a source that must not show.
        PutKey(ScopeRoot(!systemScope), OdbcPath("Other scope"));
        StoreSetting("bDefSystem", systemScope ? "1" : "0");

        MainWindow window;
        ScriptedPrompts* prompts = Script(window);
        ASSERT_TRUE(window.Create(nullptr));
        HWND list = ::GetDlgItem(window.m_hWnd, IDC_DSN_LIST);
        EXPECT_EQ(c.listed, ListColumn(list, 0));
        EXPECT_EQ(std::vector<bool>(c.listed.size(), true), ListChecks(list));
        EXPECT_EQ(c.listed, window.EnumerateDataSources());
        EXPECT_FALSE(window.m_bFilling);
        EXPECT_TRUE(prompts->calls.empty());
        window.DestroyWindow();

        MainWindow batch;
        Script(batch);
        ASSERT_EQ(0, batch.ConnectOdbcIni(systemScope));
        EXPECT_EQ(c.listed, batch.EnumerateDataSources());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CatalogueTest, ::testing::ValuesIn(kCatalogueCases),
                         [](const ::testing::TestParamInfo<CatalogueCase>& info) {
                             return std::string(info.param.name);
                         });

// Wine takes key names one character longer than Windows does; such a name
// must not end the list either.
TEST_F(RegistryTest, NameBeyondTheUsualLimitDoesNotEndTheList) {
    const std::wstring section = L"Software\\ODBC\\ODBC.INI\\";
    const std::wstring name(256, L'K');
    HKEY key = NULL;
    if (::RegCreateKeyW(HKEY_CURRENT_USER, (section + name).c_str(), &key) != ERROR_SUCCESS) {
        GTEST_SKIP() << "the registry refuses 256-character key names";
    }
    ::RegCloseKey(key);
    PutKey(HKEY_CURRENT_USER, OdbcPath("Later"));
    MainWindow window;
    Script(window);
    ASSERT_EQ(0, window.ConnectOdbcIni(FALSE));
    EXPECT_EQ((std::vector<std::string>{std::string(256, 'K'), "Later"}), window.EnumerateDataSources());
}

class FillTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* name : {"Alpha", "Beta", "Gamma"}) {
            PutString(HKEY_LOCAL_MACHINE, OdbcPath(name), "Driver", std::string("drv-") + name);
        }
        Open();
    }
};

TEST_F(FillTest, RefreshRechecksRowsAndKeepsTheCurrentSource) {
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_EQ("'Beta' data source properties", ItemText(window->m_hWnd, IDC_CAPTION_LINE));
    ListView_SetCheckState(list, 2, FALSE);
    ASSERT_EQ((std::vector<bool>{true, true, false}), ListChecks(list));

    PutKey(HKEY_LOCAL_MACHINE, OdbcPath("Aleph"));
    SendCommand(window->m_hWnd, ID_REFRESH);
    EXPECT_EQ((std::vector<std::string>{"Aleph", "Alpha", "Beta", "Gamma"}), ListColumn(list, 0));
    EXPECT_EQ(std::vector<bool>(4, true), ListChecks(list));
    // The current source keeps its highlight, where it now stands.
    EXPECT_EQ(2, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_EQ("'Beta' data source properties", ItemText(window->m_hWnd, IDC_CAPTION_LINE));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Driver", "drv-Beta", "REG_SZ"}}), ListRows(attributes, 3));
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(FillTest, SelectAllAndClearSelectionChangeEveryRow) {
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendCommand(window->m_hWnd, ID_CLEAR_SELECTION);
    EXPECT_EQ(std::vector<bool>(3, false), ListChecks(list));
    ListView_SetCheckState(list, 0, TRUE);
    SendCommand(window->m_hWnd, ID_SELECT_ALL);
    EXPECT_EQ(std::vector<bool>(3, true), ListChecks(list));
    // Nothing else moves: the same highlight, current source and rows.
    EXPECT_EQ(1, ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_STREQ("Beta", window->m_szCurrentDsn);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Driver", "drv-Beta", "REG_SZ"}}), ListRows(attributes, 3));
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta", "Gamma"}), ListColumn(list, 0));
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(FillTest, FailedConnectionEmptiesBothLists) {
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_EQ(1, ListView_GetItemCount(attributes));
    ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, "nosuchhost");
    prompts->messageAnswers = {IDOK};
    SendCommand(window->m_hWnd, ID_REFRESH);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("RegConnectRegistry", prompts->calls[0].caption);
    EXPECT_EQ(window->m_hWnd, prompts->calls[0].owner);
    EXPECT_EQ(0, ListView_GetItemCount(list));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
    EXPECT_EQ("", ItemText(window->m_hWnd, IDC_CAPTION_LINE));
    EXPECT_EQ(nullptr, window->m_hOdbcIniKey);
    EXPECT_TRUE(window->EnumerateDataSources().empty());
    // The box keeps what was typed; clearing it and refreshing lists again.
    EXPECT_EQ("nosuchhost", ItemText(window->m_hWnd, IDC_REMOTE_SYSTEM));
    ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, "");
    SendCommand(window->m_hWnd, ID_REFRESH);
    EXPECT_EQ(3, ListView_GetItemCount(list));
    EXPECT_EQ(1u, prompts->calls.size());
}

}  // namespace
