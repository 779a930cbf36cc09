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
    std::set<std::string> names;
    for (std::string name : c.sources) {
        for (char& ch : name) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        names.insert(name);
    }
    EXPECT_EQ(names.size() + 1, keys);  // one a name, and ODBC Data Sources
}

INSTANTIATE_TEST_SUITE_P(
    Table, DsiReplaceTest,
    ::testing::Values(ReplaceCase{"twice_in_the_file", {}, "", {"Twin", "twin"}, "TWIN"},
                      // Written several at once, the later of a name still wins.
                      ReplaceCase{"many_times_among_others", {}, "", {"Twin", "A", "twin", "B", "TWIN", "C", "tWin"}, "twin"},
                      ReplaceCase{"other_case", {"SALES"}, "", {"sales"}, "Sales"},
                      ReplaceCase{"other_case_beyond_ascii", {"Caf\xC3\x89"}, "", {"caf\xC3\xA9"}, "CAF\xC3\x89"},
                      ReplaceCase{"dangling_link_beyond_ascii", {}, "\xC3\x89vil", {"\xC3\xA9vil"}, "\xC3\x89VIL"}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

}  // namespace
