// Import replaces an existing source whole whatever the case of its name,
// a source the file holds twice included, and never writes through a link.
#include "DsiTestUtil.h"

#include <set>

namespace {

const std::string kMachineOdbc = "\\Registry\\Machine\\Software\\ODBC\\ODBC.INI";

struct ReplaceCase {
    const char* name;
    std::vector<std::string> existing;  // System sources already there, each with Old=o
    std::string link;                   // a System key that links to ODBC.INI\Gone, which does not exist
    std::vector<std::string> sources;   // the file's sources in order, each with A=<its index>
    std::string reads;                  // the source as read back afterwards
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }

class DsiReplaceTest : public WindowTest, public ::testing::WithParamInterface<ReplaceCase> {
protected:
    DsiReplaceTest() : WindowTest(Mode::Batch) {}
};

TEST_P(DsiReplaceTest, ReplacesTheSourceWhole) {
    const ReplaceCase& c = GetParam();
    for (const std::string& dsn : c.existing) PutString(HKEY_LOCAL_MACHINE, OdbcPath(dsn), "Old", "o");
    if (!c.link.empty()) {
        HKEY link = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, OdbcPath(c.link).c_str(), 0, NULL,
                                                    REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                                    KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &link, NULL));
        const std::wstring target = std::wstring(kMachineOdbc.begin(), kMachineOdbc.end()) + L"\\Gone";
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)target.data(),
                                                  (DWORD)(target.size() * sizeof(wchar_t))));
        ::RegCloseKey(link);
    }
    std::string file = "[General]\r\nItems=" + std::to_string(c.sources.size()) + "\r\n";
    for (size_t i = 0; i < c.sources.size(); ++i)
        file += "[DSN" + std::to_string(i) + "]\r\nDriver=D\r\nDSN=" + c.sources[i] + "\r\nItems=1\r\nName0=A\r\nValue0=" +
                std::to_string(i) + "\r\nFormat0=1\r\n";
    const std::string path = ScratchDir("dsi-replace") + "\\" + c.name + ".dsi";
    WriteWholeFile(path, "\xEF\xBB\xBF" + file);  // the names are UTF-8
    window->ImportDsiFile(FALSE, path.c_str(), TRUE);

    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_TRUE(window->Succeeded());
    const RegTree tree = Snapshot(HKEY_LOCAL_MACHINE, OdbcPath(c.reads));
    const RegTree expected = {{"|A", RegValue{REG_SZ, Text(std::to_string(c.sources.size() - 1))}}};
    EXPECT_EQ(expected, tree);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Gone")));
    // One key for each source, under whichever spelling came first.
    size_t keys = 0;
    for (const auto& entry : Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath))
        keys += entry.second.type == -1 && entry.first.find('\\') == entry.first.size() - 1;
    std::set<std::wstring> names;
    for (const std::vector<std::string>* list : {&c.existing, &c.sources}) {
        for (const std::string& name : *list) {
            wchar_t wide[256] = L"";
            ::MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide, 256);
            names.insert(::CharLowerW(wide));
        }
    }
    EXPECT_EQ(names.size() + 1, keys);  // one a name, and ODBC Data Sources
    for (const std::string& dsn : c.existing) EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath(dsn))) << dsn;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DsiReplaceTest,
    ::testing::Values(ReplaceCase{"twice_in_the_file", {}, "", {"Twin", "twin"}, "TWIN"},
                      // Written several at once, the later of a name still wins.
                      ReplaceCase{"many_times_among_others", {}, "", {"Twin", "A", "twin", "B", "TWIN", "C", "tWin"}, "twin"},
                      ReplaceCase{"other_case", {"SALES"}, "", {"sales"}, "Sales"},
                      ReplaceCase{"other_case_beyond_ascii", {"Caf\xC3\x89"}, "", {"caf\xC3\xA9"}, "CAF\xC3\x89"},
                      ReplaceCase{"dangling_link_beyond_ascii", {}, "\xC3\x89vil", {"\xC3\xA9vil"}, "\xC3\x89VIL"},
                      // Under Wine the way of writing hangs on the name's first byte.
                      ReplaceCase{"beside_another_beyond_ascii", {"\xC3\x96" "2"}, "", {"\xC3\x84" "1"}, "\xC3\x84" "1"}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

// A source that holds exactly what the file gives needs no backup; any
// difference, however small, is backed up and written.
struct AgainCase {
    const char* name;
    std::vector<std::pair<std::wstring, RegValue>> held;  // the source's values already there
    RegValue entry;                                       // its driver entry
    bool backedUp;
};

void PrintTo(const AgainCase& c, std::ostream* os) { *os << c.name; }

class ImportAgainTest : public WindowTest, public ::testing::WithParamInterface<AgainCase> {
protected:
    ImportAgainTest() : WindowTest(Mode::Batch) {}
};

TEST_P(ImportAgainTest, KeepsOnlyWhatIsExactlyTheSame) {
    const AgainCase& c = GetParam();
    const std::wstring source = L"Software\\ODBC\\ODBC.INI\\S";
    for (const auto& value : c.held)
        PutWide(HKEY_LOCAL_MACHINE, source, value.first, (DWORD)value.second.type, value.second.data);
    PutWide(HKEY_LOCAL_MACHINE, L"Software\\ODBC\\ODBC.INI\\ODBC Data Sources", L"S", (DWORD)c.entry.type,
            c.entry.data);
    const std::string dir = ScratchDir(std::string("dsi-again-") + c.name), path = dir + "\\again.dsi";
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
    WriteWholeFile(path, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=D\r\nDSN=S\r\nItems=2\r\nName0=A\r\nValue0=a\r\n"
                         "Format0=1\r\nName1=N\r\nValue1=7\r\nFormat1=4\r\n");
    window->ImportDsiFile(FALSE, path.c_str(), TRUE);
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);

    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ(c.backedUp, !FirstBackup(dir).empty());
    const RegTree expected = {{"|A", RegValue{REG_SZ, Text("a")}}, {"|N", RegValue{REG_DWORD, Dword(7)}}};
    EXPECT_EQ(expected, Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("S")));
    EXPECT_EQ((RegValue{REG_SZ, Text("D")}), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath(kDriverEntriesKey), "S"));
}

const RegValue kA{REG_SZ, WideSz(L"a")}, kB{REG_SZ, WideSz(L"b")}, kN{REG_DWORD, Dword(7)}, kD{REG_SZ, WideSz(L"D")},
    kE{REG_SZ, WideSz(L"E")};

INSTANTIATE_TEST_SUITE_P(
    Table, ImportAgainTest,
    ::testing::Values(AgainCase{"the_same", {{L"A", kA}, {L"N", kN}}, kD, false},
                      AgainCase{"name_in_another_case", {{L"a", kA}, {L"N", kN}}, kD, true},
                      AgainCase{"text_with_a_zero_more",
                                {{L"A", RegValue{REG_SZ, WideSz(std::wstring(L"a\0", 2))}}, {L"N", kN}}, kD, true},
                      AgainCase{"another_type", {{L"A", RegValue{REG_EXPAND_SZ, kA.data}}, {L"N", kN}}, kD, true},
                      AgainCase{"a_value_changed", {{L"A", kB}, {L"N", kN}}, kD, true},
                      AgainCase{"a_value_changed_and_the_driver", {{L"A", kB}, {L"N", kN}}, kE, true},
                      AgainCase{"two_values_changed", {{L"A", kB}, {L"N", RegValue{REG_DWORD, Dword(8)}}}, kD, true},
                      AgainCase{"a_value_more", {{L"A", kA}, {L"N", kN}, {L"O", kA}}, kD, true},
                      AgainCase{"a_value_less", {{L"A", kA}}, kD, true},
                      // The driver entry's type alone differs: no file carries it, the entry is written.
                      AgainCase{"driver_entry_expandable", {{L"A", kA}, {L"N", kN}}, RegValue{REG_EXPAND_SZ, kD.data},
                                false},
                      AgainCase{"driver_entry_with_more_after_its_end", {{L"A", kA}, {L"N", kN}},
                                RegValue{REG_SZ, WideSz(std::wstring(L"D\0x", 3))}, false},
                      AgainCase{"another_driver", {{L"A", kA}, {L"N", kN}}, kE, true}),
    [](const ::testing::TestParamInfo<AgainCase>& info) { return std::string(info.param.name); });

}  // namespace
