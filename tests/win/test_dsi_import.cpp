// Import of DSI files: hand-written files of every awkward kind, the
// messages, renaming, overwriting and the refilled list.
#include "DsiTestUtil.h"

#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "registry/WriteFault.h"
#include "ui/Settings.h"
#include "ui/DsnNameDialog.h"
#include "ui/TransferDialogs.h"

namespace {

struct Msg {
    std::string caption;
    std::string text;  // "{file}" stands for the file's path
    UINT type;
};

struct Check {
    std::string path;  // below ODBC.INI
    std::string name;
    RegValue value;    // type -2: must not exist
};

struct ImportCase {
    const char* name;
    std::string file;
    std::vector<Msg> messages;
    std::vector<int> answers;
    std::vector<Check> values;
    std::vector<std::pair<std::string, bool>> keys;  // key below ODBC.INI, exists
    bool succeeded;
    std::function<void()> before = nullptr;
    std::function<void()> after = nullptr;
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

const UINT kStop = MB_OK | MB_ICONSTOP;
const RegValue kAbsent{-2, {}};
const std::string kLong300(300, 'L');
const std::string kLong5000 = std::string(4999, 'T') + "E";

RegValue Sz(const std::string& s, long long type = REG_SZ) { return RegValue{type, Text(s)}; }
RegValue Bin(std::vector<unsigned char> b) { return RegValue{REG_BINARY, b}; }
RegValue Dw(DWORD d) { return RegValue{REG_DWORD, Dword(d)}; }

// One source section with rows given as name, value, format.
std::string Source(const std::string& section, const std::string& dsn,
                   const std::vector<std::vector<std::string>>& rows, const std::string& driver = "Drv") {
    std::string s = "[" + section + "]\r\nDriver=" + driver + "\r\nDSN=" + dsn + "\r\nItems=" +
                    std::to_string(rows.size()) + "\r\n";
    for (size_t j = 0; j < rows.size(); ++j) {
        const std::string n = std::to_string(j);
        s += "Name" + n + "=" + rows[j][0] + "\r\nValue" + n + "=" + rows[j][1] + "\r\nFormat" + n + "=" +
             rows[j][2] + "\r\n";
    }
    return s;
}
std::string General(int n) { return "[General]\r\nItems=" + std::to_string(n) + "\r\n"; }

const std::string kZero(1, '\0');

// A path of n levels.
std::string Deep(size_t n) {
    std::string path = "L";
    for (size_t i = 1; i < n; ++i) path += "\\L";
    return path;
}

// A source and a driver entry that no hostile file may touch.
void SeedKeep() {
    PutString(HKEY_CURRENT_USER, OdbcPath("Keep"), "K", "k");
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Keep", "Kept Driver");
}

std::string NotFound() { return MainWindow::SystemErrorText(ERROR_NOT_FOUND); }

// A User source S nested as deep as the registry allows, made level by
// level (too long a path for one call).
void SeedDeepSource() {
    PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_CURRENT_USER, OdbcPath("S").c_str(), &key));
    for (int i = 0; i < 508; ++i) {
        HKEY next = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(key, "L", &next));
        ::RegCloseKey(key);
        key = next;
    }
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, "V", 0, REG_SZ, (const BYTE*)"deep", 5));
    ::RegCloseKey(key);
}

// Where a row that keeps its backups apart has them written.
std::string BackupFolderOfTable() {
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof(temp), temp);
    return std::string(temp) + "zentrel-dsi-import-backups\\Zentrel\\Backups";
}

// Sixty backups of older runs, and a file of another name. Written
// backwards, the later a file was made the earlier its write time.
void PlantOldBackups(bool writtenBackwards) {
    PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
    const std::string appData = ScratchDir("dsi-import-backups");
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", appData.c_str()));
    ::CreateDirectoryA((appData + "\\Zentrel").c_str(), NULL);
    ::CreateDirectoryA(BackupFolderOfTable().c_str(), NULL);
    WriteWholeFile(BackupFolderOfTable() + "\\notes.dsi", "");
    for (int n = 2; n <= 61; ++n) {
        const std::string path = BackupFolderOfTable() + "\\20010101-000000-user-" + std::to_string(n) + ".dsi";
        WriteWholeFile(path, "");
        if (!writtenBackwards) continue;
        const HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
        ULARGE_INTEGER at;
        at.QuadPart = 126227808000000000ULL - (unsigned long long)n * 10000000ULL;  // 2001, n seconds before
        const FILETIME written = {at.LowPart, at.HighPart};
        EXPECT_TRUE(::SetFileTime(file, NULL, NULL, &written));
        ::CloseHandle(file);
    }
}

// Fifty backups kept, `kept` among them and `gone` not; other files stay.
void ExpectBackupsKept(const std::string& kept, const std::string& gone) {
    size_t count = 0;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((BackupFolderOfTable() + "\\*-user*.dsi").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do {
        ++count;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    EXPECT_EQ(50u, count);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((BackupFolderOfTable() + "\\notes.dsi").c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((BackupFolderOfTable() + "\\" + kept).c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((BackupFolderOfTable() + "\\" + gone).c_str()));
}

// Files a backup's writer names after its run: of runs that have ended
// (an identifier no process has; this process's, started at another
// time), or else this live run's and names of another form.
std::vector<std::string> HalfWrittenBackups(bool ended) {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const unsigned long long started = ((unsigned long long)created.dwHighDateTime << 32) | created.dwLowDateTime;
    char own[64], restarted[64];
    snprintf(own, sizeof(own), "zdi%lx-%llx-ffff.tmp", ::GetCurrentProcessId(), started);
    snprintf(restarted, sizeof(restarted), "zdi%lx-%llx-1.tmp", ::GetCurrentProcessId(), started + 1);
    if (ended) return {"zdifffffff0-1d2c3b4a5968778-1.tmp", restarted};
    return {own, "zdiA1B2.tmp", "zdi-notes.tmp", "zdifffffff0-1.tmp"};
}

// A LOCALAPPDATA whose last folder bears a device's name.
std::string DeviceAppData() { return ScratchDir("dsi-import-backups") + "\\Com7.log"; }

// A source of `bad` rows that cannot be written and one that can: the
// problems past the first ten are told as one sum.
ImportCase ManyBadRows(const char* name, int bad) {
    std::vector<std::vector<std::string>> rows;
    ImportCase c{name, "", {}, {}, {{"S", "Good", Sz("g")}}, {}, false};
    for (int j = 0; j < bad; ++j) {
        rows.push_back({"B" + std::to_string(j), "zz", "3"});
        if (j < 10)
            c.messages.push_back({"RegSetValueEx Error", "Data source 'S', Name" + std::to_string(j) + " 'B" +
                                      std::to_string(j) + "' in section DSN0 of file '{file}': character 1 of its "
                                      "value is not a hexadecimal digit; the row is not written.", kStop});
        c.values.push_back({"S", "B" + std::to_string(j), kAbsent});
    }
    if (bad > 10)
        c.messages.push_back({"RegSetValueEx Error", "Data source 'S', " + std::to_string(bad - 10) +
                                  " more rows in section DSN0 of file '{file}' cannot be written either; they are "
                                  "left out.", kStop});
    rows.push_back({"Good", "g", "1"});
    c.file = General(1) + Source("DSN0", "S", rows);
    c.answers.assign(c.messages.size(), IDOK);
    return c;
}

const std::vector<ImportCase>& Cases() {
    static const std::vector<ImportCase> cases = {
        {"section_with_hash", General(1) + Source("DSN#0", "Hash", {{"A", "x", "1"}}),
         {}, {}, {{"Hash", "A", Sz("x")}, {"ODBC Data Sources", "Hash", Sz("Drv")}}, {}, true},
        {"hash_section_preferred", General(1) + Source("DSN0", "Plain", {{"A", "plain", "1"}}) +
                                       Source("DSN#0", "Hash", {{"A", "hash", "1"}}, "HashDrv"),
         {}, {}, {{"Hash", "A", Sz("hash")}, {"ODBC Data Sources", "Hash", Sz("HashDrv")}},
         {{"Plain", false}}, true},
        {"count_beyond_sections_no_finishes", General(3) + Source("DSN0", "First", {{"A", "1", "1"}}) +
                                                  Source("DSN2", "Third", {{"A", "3", "1"}}),
         {{"DSN1", "GetPrivateProfileString(DSN1->DSN) error: " + NotFound() + "\nfor file '{file}'\nContinue import?",
           MB_YESNO | MB_ICONSTOP}},
         {IDNO}, {{"First", "A", Sz("1")}}, {{"Third", false}}, false},
        {"count_beyond_sections_yes_goes_on", General(3) + Source("DSN0", "First", {{"A", "1", "1"}}) +
                                                  Source("DSN2", "Third", {{"A", "3", "1"}}),
         {{"DSN1", "GetPrivateProfileString(DSN1->DSN) error: " + NotFound() + "\nfor file '{file}'\nContinue import?",
           MB_YESNO | MB_ICONSTOP}},
         {IDYES}, {{"First", "A", Sz("1")}, {"Third", "A", Sz("3")}}, {}, false},
        // Bounded by the sections the file holds: the count is told once, by the first missing one.
        {"count_far_beyond_the_sections_told_once", "[General]\r\nItems=2147483647\r\n" +
                                                        Source("DSN0", "First", {{"A", "1", "1"}}),
         {{"DSN1", "GetPrivateProfileString(DSN1->DSN) error: " + NotFound() + "\nfor file '{file}'\nContinue import?",
           MB_YESNO | MB_ICONSTOP}},
         {IDYES}, {{"First", "A", Sz("1")}}, {}, false},
        {"section_without_name", General(1) + "[DSN0]\r\nDriver=D\r\nItems=0\r\n",
         {{"DSN0", "GetPrivateProfileString(DSN0->DSN) error: " + NotFound() + "\nfor file '{file}'\nContinue import?",
           MB_YESNO | MB_ICONSTOP}},
         {IDYES}, {}, {}, false},
        {"missing_general", Source("DSN0", "Lost", {{"A", "1", "1"}}),
         {{"Warning", "Source file '{file}' contains no data source definiitons or incorrect", kStop}},
         {IDOK}, {}, {{"Lost", false}}, false},
        {"negative_count", "[General]\r\nItems=-2\r\n" + Source("DSN0", "Lost", {{"A", "1", "1"}}),
         {{"Warning", "Source file '{file}' contains no data source definiitons or incorrect", kStop}},
         {IDOK}, {}, {{"Lost", false}}, false},
        {"non_numeric_count", "[General]\r\nItems=two\r\n" + Source("DSN0", "Lost", {{"A", "1", "1"}}),
         {{"Warning", "Source file '{file}' contains no data source definiitons or incorrect", kStop}},
         {IDOK}, {}, {{"Lost", false}}, false},
        {"empty_count", "[General]\r\nItems=\r\n" + Source("DSN0", "Lost", {{"A", "1", "1"}}),
         {{"Error", "GetPrivateProfileString(Items), file '{file}', error: " +
                        MainWindow::SystemErrorText(ERROR_INVALID_DATA), kStop}},
         {IDOK}, {}, {{"Lost", false}}, false},
        {"count_with_blanks_and_sign", "[General]\r\nItems = +1 sources\r\n" + Source("DSN0", "S", {{"A", "1", "1"}}),
         {}, {}, {{"S", "A", Sz("1")}}, {}, true},
        // Rows 1 and 3 are not in the file: nothing is invented for them, in
        // particular not the default value that row 0 wrote.
        {"rows_missing", General(1) + "[DSN0]\r\nDSN=S\r\nItems=4\r\nName0=\r\nValue0=default\r\nFormat0=1\r\n"
                                      "Name2=C\r\nValue2=c\r\nFormat2=1\r\n",
         {{"Warning", "Section DSN0 of file '{file}' announces 4 rows but holds 2; data source 'S' is imported "
                      "without the missing ones.", kStop}},
         {IDOK}, {{"S", "", Sz("default")}, {"S", "C", Sz("c")}}, {}, false},
        {"row_count_far_beyond_the_file", General(1) + "[DSN0]\r\nDSN=S\r\nItems=2000000000\r\nName0=A\r\n"
                                                       "Value0=a\r\nFormat0=1\r\n",
         {{"Warning", "Section DSN0 of file '{file}' announces 2000000000 rows but holds 1; data source 'S' is "
                      "imported without the missing ones.", kStop}},
         {IDOK}, {{"S", "A", Sz("a")}}, {}, false},
        {"partial_row_keeps_what_it_has", General(1) + "[DSN0]\r\nDSN=S\r\nItems=1\r\nName0=N\r\nValue0=t\r\n",
         {}, {}, {{"S", "N", RegValue{0, Text("t")}}}, {}, true},
        {"binary_texts", General(1) + Source("DSN0", "S", {{"Abc", "ABC", "3"}, {"Cut", "0A01FF...", "3"},
                                                           {"Empty", "", "3"}, {"Lower", "0a0bfe", "3"},
                                                           {"Long", std::string(2000, 'F'), "3"}}),
         {}, {},
         {{"S", "Abc", Bin({0xAB})}, {"S", "Cut", Bin({0x0A, 0x01, 0xFF})}, {"S", "Empty", Bin({})},
          {"S", "Lower", Bin({0x0A, 0x0B, 0xFE})}, {"S", "Long", Bin(std::vector<unsigned char>(1000, 0xFF))}},
         {}, true},
        {"binary_bad_digit", General(1) + Source("DSN0", "S", {{"Bad", "0G12", "3"}, {"Next", "01", "3"}}),
         {{"RegSetValueEx Error", "Data source 'S', Name0 'Bad' in section DSN0 of file '{file}': character 2 of "
                                  "its value is not a hexadecimal digit; the row is not written.", kStop}},
         {IDOK}, {{"S", "Bad", kAbsent}, {"S", "Next", Bin({0x01})}}, {}, false},
        {"dword_texts", General(1) + Source("DSN0", "S", {{"Minus1", "-1", "4"}, {"Ten", "10", "4"},
                                                          {"Max", "4294967295", "4"}, {"Word", "abc", "4"},
                                                          {"Lead", "7x", "4"}}),
         {}, {},
         {{"S", "Minus1", Dw(0xFFFFFFFFu)}, {"S", "Ten", Dw(10)}, {"S", "Max", Dw(0xFFFFFFFFu)},
          {"S", "Word", Dw(0)}, {"S", "Lead", Dw(7)}},
         {}, true},
        {"paths", General(1) + Source("DSN0", "S", {{"Engines\\", "engines default", "1"},
                                                    {"Engines\\Threads", "4", "4"},
                                                    {"\\Leading", "in the source's key", "1"},
                                                    {"A\\\\B\\V", "empty level", "1"},
                                                    {"Deep\\Er\\Est\\V", "three levels", "1"}}),
         {}, {},
         {{"S\\Engines", "", Sz("engines default")}, {"S\\Engines", "Threads", Dw(4)},
          {"S", "\\Leading", Sz("in the source's key")}, {"S\\A\\B", "V", Sz("empty level")},
          {"S\\Deep\\Er\\Est", "V", Sz("three levels")}},
         {}, true},
        {"subkey_rows", General(1) + Source("DSN0", "S", {{"Empty", "<SUBKEY>", "-1"},
                                                          {"Nest\\Ed\\Key", "<SUBKEY>", "-1"},
                                                          {"Looks", "<SUBKEY>", "1"}}),
         {}, {},
         {{"S", "Empty", kAbsent}, {"S\\Empty", "Empty", kAbsent}, {"S\\Nest\\Ed\\Key", "Key", kAbsent},
          {"S\\Nest\\Ed\\Key", "Nest\\Ed\\Key", kAbsent}, {"S", "Looks", Sz("<SUBKEY>")}},
         {{"S\\Empty", true}, {"S\\Nest\\Ed\\Key", true}}, true},
        {"text_types", General(1) + Source("DSN0", "S", {{"Multi", "one", "7"}, {"Expand", "%TEMP%\\x", "2"},
                                                         {"None", "raw", "0"}, {"Odd", "odd", "99"}}),
         {}, {},
         {{"S", "Multi", RegValue{REG_MULTI_SZ, Bytes(std::string("one\0\0", 5))}},
          {"S", "Expand", Sz("%TEMP%\\x", REG_EXPAND_SZ)}, {"S", "None", Sz("raw", 0)}, {"S", "Odd", Sz("odd", 99)}},
         {}, true},
        {"long_texts_whole", General(1) + Source("DSN0", "S", {{kLong300, kLong5000, "1"}}, kLong300),
         {}, {}, {{"S", kLong300, Sz(kLong5000)}, {"ODBC Data Sources", "S", Sz(kLong300)}}, {}, true},
        {"refused_names",
         General(6) + Source("DSN0", "ODBC Data Sources", {{"Evil", "1", "1"}}) +
             Source("DSN1", "ODBC File DSN", {{"Evil", "1", "1"}}) + Source("DSN2", "ODBC", {{"Evil", "1", "1"}}) +
             Source("DSN3", "odbc data sources", {{"Evil", "1", "1"}}) +
             Source("DSN4", "Up\\..\\Out", {{"Evil", "1", "1"}}) + Source("DSN5", "Fine", {{"A", "1", "1"}}),
         {{"Error", "Data source 'ODBC Data Sources' (section DSN0 of file '{file}') is not imported: 'ODBC Data "
                    "Sources' is a reserved name of the ODBC section.", kStop},
          {"Error", "Data source 'ODBC File DSN' (section DSN1 of file '{file}') is not imported: 'ODBC File DSN' is "
                    "a reserved name of the ODBC section.", kStop},
          {"Error", "Data source 'ODBC' (section DSN2 of file '{file}') is not imported: 'ODBC' is a reserved name "
                    "of the ODBC section.", kStop},
          {"Error", "Data source 'odbc data sources' (section DSN3 of file '{file}') is not imported: 'odbc data "
                    "sources' is a reserved name of the ODBC section.", kStop},
          {"Error", "Data source 'Up\\..\\Out' (section DSN4 of file '{file}') is not imported: the name "
                    "'Up\\..\\Out' contains a backslash.", kStop}},
         {IDOK, IDOK, IDOK, IDOK, IDOK},
         {{"ODBC Data Sources", "Keep", Sz("Kept Driver")}, {"ODBC Data Sources", "Evil", kAbsent},
          {"ODBC Data Sources", "Fine", Sz("Drv")}, {"Fine", "A", Sz("1")}, {"ODBC File DSN", "Evil", kAbsent},
          {"ODBC", "Evil", kAbsent}},
         {{"Up", false}}, false,
         [] { PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Keep", "Kept Driver"); }},
        // Names are checked as the registry receives them: up to the first
        // zero byte, counted in 16 bits. None of these may touch the seeded
        // source or the driver entries.
        {"zero_bytes_end_every_text",
         General(3) + Source("DSN0", "ODBC Data Sources" + kZero + "x", {{"A", "1", "1"}}) +
             Source("DSN1", kZero + "Hidden", {{"A", "1", "1"}}) +
             Source("DSN2", "Fine", {{"Na" + kZero + "me", "v" + kZero + "w", "1"}}),
         {{"Error", "Data source 'ODBC Data Sources' (section DSN0 of file '{file}') is not imported: 'ODBC Data "
                    "Sources' is a reserved name of the ODBC section.", kStop},
          {"DSN1", "GetPrivateProfileString(DSN1->DSN) error: " + NotFound() + "\nfor file '{file}'\nContinue import?",
           MB_YESNO | MB_ICONSTOP}},
         {IDOK, IDYES},
         {{"ODBC Data Sources", "Keep", Sz("Kept Driver")}, {"Keep", "K", Sz("k")}, {"Fine", "Na", Sz("v")}},
         {}, false, SeedKeep},
        {"names_beyond_counted_strings",
         General(4) + Source("DSN0", "ODBC Data Sources" + std::string(65536, 'x'), {{"A", "1", "1"}}) +
             Source("DSN1", std::string(65536, 'e'), {{"A", "1", "1"}}) +
             Source("DSN2", kLong300, {{"A", "1", "1"}}) +
             Source("DSN3", "S", {{kLong300 + "\\V", "v", "1"}, {std::string(16384, 'n'), "v", "1"},
                                  {std::string(65536, 'w'), "v", "1"}, {"Next", "n", "1"}}),
         {{"Error", "Data source 'ODBC Data Sources" + std::string(43, 'x') + "... (65553 characters)' (section DSN0 "
                    "of file '{file}') is not imported: its name has 65553 characters, more than the registry's 255.",
           kStop},
          {"Error", "Data source '" + std::string(60, 'e') + "... (65536 characters)' (section DSN1 of file '{file}') "
                    "is not imported: its name has 65536 characters, more than the registry's 255.", kStop},
          {"Error", "Data source '" + std::string(60, 'L') + "... (300 characters)' (section DSN2 of file '{file}') "
                    "is not imported: its name has 300 characters, more than the registry's 255.", kStop},
          {"RegSetValueEx Error", "Data source 'S', Name0 '" + std::string(60, 'L') + "... (302 characters)' in "
                                  "section DSN3 of file '{file}': a key name in its path has 300 characters, more "
                                  "than the registry's 255; the row is not written.", kStop},
          {"RegSetValueEx Error", "Data source 'S', Name1 '" + std::string(60, 'n') + "... (16384 characters)' in "
                                  "section DSN3 of file '{file}': its value name has 16384 characters, more than "
                                  "the registry's 16383; the row is not written.", kStop},
          {"RegSetValueEx Error", "Data source 'S', Name2 '" + std::string(60, 'w') + "... (65536 characters)' in "
                                  "section DSN3 of file '{file}': its value name has 65536 characters, more than "
                                  "the registry's 16383; the row is not written.", kStop}},
         {IDOK, IDOK, IDOK, IDOK, IDOK, IDOK},
         {{"ODBC Data Sources", "Keep", Sz("Kept Driver")}, {"Keep", "K", Sz("k")}, {"S", "Next", Sz("n")},
          {"S", "", kAbsent}},
         {{"S\\V", false}}, false, SeedKeep},
        // An empty level names the key itself and never reaches the
        // registry, so no handle is closed while in use and later rows land.
        {"empty_levels_and_deep_paths",
         General(1) + Source("DSN0", "S", {{"A\\\\\\V", "a", "1"}, {"", "<SUBKEY>", "-1"}, {"\\\\", "<SUBKEY>", "-1"},
                                          {Deep(600) + "\\V", "deep", "1"}, {Deep(508) + "\\V", "508", "1"},
                                          {"After", "later rows land", "1"}}),
         {{"RegSetValueEx Error", "Data source 'S', Name3 '" + Deep(600).substr(0, 60) + "... (1201 characters)' in "
                                  "section DSN0 of file '{file}': its path has 600 levels, more than the registry's "
                                  "508 below a data source; the row is not written.", kStop}},
         {IDOK},
         {{"S\\A", "V", Sz("a")}, {"S", "After", Sz("later rows land")}, {"S", "", kAbsent}}, {}, false, nullptr,
         [] {
             // Paths this deep are opened level by level.
             const RegTree tree = Snapshot(HKEY_CURRENT_USER, OdbcPath("S"));
             EXPECT_EQ(Sz("508"), tree.at(Deep(508) + "\\|V"));
             EXPECT_EQ(0u, tree.count(Deep(509) + "\\"));
         }},
        // A count that wrapped would skip sources silently; a bad row count
        // must not replace an existing source by an empty one.
        {"source_count_beyond_int", "[General]\r\nItems=4294967297\r\n" + Source("DSN0", "A", {{"A", "1", "1"}}) +
                                        Source("DSN1", "B", {{"A", "1", "1"}}),
         {{"Warning", "Source file '{file}' contains no data source definiitons or incorrect", kStop}},
         {IDOK}, {}, {{"A", false}, {"B", false}}, false},
        {"row_counts_that_are_not_counts",
         General(4) + "[DSN0]\r\nDSN=Keep\r\nItems=-1\r\nName0=A\r\nValue0=a\r\nFormat0=1\r\n" +
             "[DSN1]\r\nDSN=Words\r\nItems=many\r\n" + "[DSN2]\r\nDSN=Uncounted\r\nName0=A\r\nValue0=a\r\n" +
             "[DSN3]\r\nDSN=OnlyData\r\nData0=00\r\n",
         {{"Error", "Data source 'Keep' (section DSN0 of file '{file}') is not imported: its row count '-1' is not a "
                    "number of rows.", kStop},
          {"Error", "Data source 'Words' (section DSN1 of file '{file}') is not imported: its row count 'many' is not "
                    "a number of rows.", kStop},
          {"Error", "Data source 'Uncounted' (section DSN2 of file '{file}') is not imported: its row count '' is not "
                    "a number of rows.", kStop},
          {"Error", "Data source 'OnlyData' (section DSN3 of file '{file}') is not imported: its row count '' is not "
                    "a number of rows.", kStop}},
         {IDOK, IDOK, IDOK, IDOK}, {{"Keep", "K", Sz("k")}},
         {{"Words", false}, {"Uncounted", false}, {"OnlyData", false}}, false, SeedKeep},
        {"existing_source_replaced_whole", General(1) + Source("DSN0", "S", {{"New", "n", "1"}}),
         {}, {}, {{"S", "New", Sz("n")}, {"S", "Old", kAbsent}}, {{"S\\OldKey", false}}, true,
         [] {
             PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
             PutString(HKEY_CURRENT_USER, OdbcPath("S") + "\\OldKey", "x", "o");
         }},
        // Replaced whole, however deep the old source went.
        {"source_nested_508_levels_replaced_whole", General(1) + Source("DSN0", "S", {{"New", "n", "1"}}),
         {}, {}, {{"S", "New", Sz("n")}, {"S", "Old", kAbsent}}, {{"S\\L", false}}, true, SeedDeepSource},
        // The same depth on the way that copies instead of renaming.
        {"source_nested_508_levels_replaced_by_copy", General(1) + Source("DSN0", "S", {{Deep(508) + "\\V", "new", "1"}}),
         {}, {}, {{"S", "Old", kAbsent}}, {}, true,
         [] {
             SeedDeepSource();
             SetRenameUnavailable(true);
         },
         [] { EXPECT_EQ(Sz("new"), Snapshot(HKEY_CURRENT_USER, OdbcPath("S")).at(Deep(508) + "\\|V")); }},
        // The 50 newest backups stay, the one just written among them; a
        // file of another name is never deleted.
        {"backups_rotated", General(1) + Source("DSN0", "S", {{"A", "1", "1"}}),
         {}, {}, {{"S", "A", Sz("1")}}, {}, true,
         [] { PlantOldBackups(false); },
         [] { ExpectBackupsKept("20010101-000000-user-61.dsi", "20010101-000000-user-2.dsi"); }},
        // The files' write times decide, not their names. (Wine reports a
        // file's write time as its creation time too.)
        {"backups_rotated_by_write_time", General(1) + Source("DSN0", "S", {{"A", "1", "1"}}),
         {}, {}, {{"S", "A", Sz("1")}}, {}, true, [] { PlantOldBackups(true); },
         [] { ExpectBackupsKept("20010101-000000-user-2.dsi", "20010101-000000-user-61.dsi"); }},
        // A backup the disk holds otherwise than written, even at its size,
        // is no backup: nothing is changed, and it does not stay.
        {"backup_placed_otherwise", General(1) + Source("DSN0", "S", {{"A", "1", "1"}}),
         {{"Backup", "The backup '{any}' could not be written; nothing was changed.", kStop}}, {IDOK},
         {{"S", "Old", Sz("o")}, {"S", "A", kAbsent}}, {}, false,
         [] {
             PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
             ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", ScratchDir("dsi-import-backups").c_str()));
             SetFileWriteChange([](char* bytes, size_t size) { bytes[size / 2] ^= 1; });
         },
         [] {
             WIN32_FIND_DATAA found;
             const HANDLE search = ::FindFirstFileA((BackupFolderOfTable() + "\\*.dsi").c_str(), &found);
             EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName;
             if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
         }},
        // Half-written backups of runs that have ended go with the next
        // backup; a live run's, and files of other names, stay.
        {"backups_half_written_by_ended_runs_removed", General(1) + Source("DSN0", "S", {{"A", "1", "1"}}),
         {}, {}, {{"S", "A", Sz("1")}}, {}, true,
         [] {
             PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
             const std::string appData = ScratchDir("dsi-import-backups");
             ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", appData.c_str()));
             ::CreateDirectoryA((appData + "\\Zentrel").c_str(), NULL);
             ::CreateDirectoryA(BackupFolderOfTable().c_str(), NULL);
             for (const std::string& name : HalfWrittenBackups(true)) WriteWholeFile(BackupFolderOfTable() + "\\" + name, "x");
             for (const std::string& name : HalfWrittenBackups(false)) WriteWholeFile(BackupFolderOfTable() + "\\" + name, "x");
         },
         [] {
             for (const std::string& name : HalfWrittenBackups(true))
                 EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((BackupFolderOfTable() + "\\" + name).c_str())) << name;
             for (const std::string& name : HalfWrittenBackups(false))
                 EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((BackupFolderOfTable() + "\\" + name).c_str())) << name;
         }},
        // A device's name is no folder for backups: refused before anything
        // is written, and nothing is changed.
        {"backup_folder_named_for_a_device", General(1) + Source("DSN0", "S", {{"A", "1", "1"}}),
         {{"Backup", "The backup of the data sources to be changed could not be written into '" + DeviceAppData() +
                         "\\Zentrel':\n" + MainWindow::SystemErrorText(ERROR_INVALID_NAME) + "\nNothing was changed.",
           kStop}},
         {IDOK}, {{"S", "Old", Sz("o")}, {"S", "A", kAbsent}}, {}, false,
         [] {
             PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
             ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", DeviceAppData().c_str()));
         }},
        // An export of an empty scope imports as a completed operation.
        {"explicit_zero_count", "[General]\r\nItems=0\r\n",
         {{"Warning", "Source file '{file}' contains no data source definiitons or incorrect", kStop}},
         {IDOK}, {}, {}, true},
        // A row's exact bytes, where text could not carry them; they win
        // over the text, and a Data text that is not whole hex is refused.
        {"data_keys", General(1) + "[DSN0]\r\nDSN=S\r\nItems=4\r\n"
                                   "Name0=Multi\r\nValue0=one\r\nFormat0=7\r\nData0=6F6E650074776F000000\r\n"
                                   "Name1=Empty\r\nValue1=\r\nFormat1=0\r\nData1=\r\n"
                                   "Name2=NotAKey\r\nValue2=<SUBKEY>\r\nFormat2=-1\r\nData2=00\r\n"
                                   "Name3=Bad\r\nValue3=x\r\nFormat3=1\r\nData3=0A0...\r\n",
         {{"RegSetValueEx Error", "Data source 'S', Name3 'Bad' in section DSN0 of file '{file}': its Data text is "
                                  "not two hexadecimal digits per byte; the row is not written.", kStop}},
         {IDOK},
         {{"S", "Multi", RegValue{REG_MULTI_SZ, Bytes(std::string("one\0two\0\0\0", 10))}},
          {"S", "Empty", RegValue{REG_NONE, {}}}, {"S", "NotAKey", RegValue{0xFFFFFFFFu, {0}}}, {"S", "Bad", kAbsent}},
         {{"S\\NotAKey", false}}, false},
        // A multi-string's Data is its strings' UTF-8 text: the registry's
        // UTF-16 bytes are refused, not written as strings of one character.
        {"multi_string_data_in_utf16", General(1) + "[DSN0]\r\nDSN=S\r\nItems=2\r\n"
                                       "Name0=Wide\r\nValue0=on\r\nFormat0=7\r\nData0=6F006E000000650000000000\r\n"
                                       "Name1=Narrow\r\nValue1=on\r\nFormat1=7\r\nData1=6F6E006500613A0000\r\n",
         {{"RegSetValueEx Error", "Data source 'S', Name0 'Wide' in section DSN0 of file '{file}': its Data bytes are "
                                  "UTF-16 (a zero byte after every character), not the UTF-8 text of the strings that "
                                  "Data holds; the row is not written.", kStop}},
         {IDOK},
         {{"S", "Wide", kAbsent}, {"S", "Narrow", RegValue{REG_MULTI_SZ, Bytes(std::string("on\0e\0a:\0\0", 9))}}},
         {}, false},
        // Only -1 with the text "<SUBKEY>" makes a key; any other text is a value of that type.
        {"format_minus_one_with_other_text",
         General(1) + Source("DSN0", "S", {{"NotAKey", "x", "-1"}, {"Lower", "<subkey>", "-1"}}), {}, {},
         {{"S", "NotAKey", RegValue{0xFFFFFFFFu, Text("x")}}, {"S", "Lower", RegValue{0xFFFFFFFFu, Text("<subkey>")}}},
         {{"S\\NotAKey", false}, {"S\\Lower", false}}, true},
        ManyBadRows("ten_bad_rows_each_told", 10),
        ManyBadRows("thirteen_bad_rows_folded", 13),
        {"lf_only_file_without_final_break", "[general]\nitems=1\n[dsn0]\ndsn=S\nitems=1\nname0=A\nvalue0=a\nformat0=1",
         {}, {}, {{"S", "A", Sz("a")}}, {}, true},
    };
    return cases;
}

std::string Fill(std::string text, const std::string& file) {
    const std::string mark = "{file}";
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), file);
    return text;
}

class ImportFileTest : public WindowTest, public ::testing::WithParamInterface<ImportCase> {
protected:
    ImportFileTest() : WindowTest(Mode::Batch) {}
    void SetUp() override {
        WindowTest::SetUp();
        char appData[MAX_PATH] = "";
        ::GetEnvironmentVariableA("LOCALAPPDATA", appData, sizeof(appData));
        m_appData = appData;
    }
    // What a row's arrangement changed for the whole process.
    void TearDown() override {
        SetRenameUnavailable(false);
        SetFileWriteChange(nullptr);
        ::SetEnvironmentVariableA("LOCALAPPDATA", m_appData.empty() ? NULL : m_appData.c_str());
        WindowTest::TearDown();
    }

private:
    std::string m_appData;
};

TEST_P(ImportFileTest, ImportsAsDescribed) {
    const ImportCase& c = GetParam();
    if (c.before) c.before();
    const std::string file = ScratchDir("dsi-import") + "\\" + c.name + ".dsi";
    WriteWholeFile(file, c.file);
    prompts->messageAnswers.assign(c.answers.begin(), c.answers.end());
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);

    const std::vector<PromptCall> shown = prompts->Of("message");
    ASSERT_EQ(c.messages.size(), shown.size());
    EXPECT_EQ(shown.size(), prompts->calls.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(c.messages[i].caption, shown[i].caption) << i;
        // "{any}": whatever the run names there, a backup's time-stamped path.
        const std::string expected = Fill(c.messages[i].text, file);
        const size_t any = expected.find("{any}"), after = any + 5;
        if (any == std::string::npos) {
            EXPECT_EQ(expected, shown[i].text) << i;
        } else {
            EXPECT_TRUE(shown[i].text.size() >= expected.size() - 5 && shown[i].text.compare(0, any, expected, 0, any) == 0 &&
                        shown[i].text.compare(shown[i].text.size() - (expected.size() - after), std::string::npos,
                                              expected, after, std::string::npos) == 0)
                << i << ": " << shown[i].text;
        }
        EXPECT_EQ(c.messages[i].type, shown[i].type) << i;
        EXPECT_EQ(NULL, shown[i].owner);
    }
    for (const Check& check : c.values)
        EXPECT_EQ(check.value, ValueOf(HKEY_CURRENT_USER, OdbcPath(check.path), check.name.c_str()))
            << check.path << " | " << check.name.substr(0, 40);
    for (const auto& key : c.keys) EXPECT_EQ(key.second, KeyExists(HKEY_CURRENT_USER, OdbcPath(key.first))) << key.first;
    if (c.after) c.after();
    EXPECT_EQ(c.succeeded, (bool)window->Succeeded());
    // Nothing reaches the other scope.
    EXPECT_TRUE(Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ImportFileTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ImportCase>& info) { return std::string(info.param.name); });

// ---- Batch mode -------------------------------------------------------------

class ImportBatchTest : public WindowTest {
protected:
    ImportBatchTest() : WindowTest(Mode::Batch) {}
};

TEST_F(ImportBatchTest, MissingFileIsReportedWithoutChooser) {
    const std::string dir = ScratchDir("dsi-import-batch");
    for (const std::string& path : {dir + "\\absent.dsi", dir + "\\", std::string()}) {
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->ImportDsiFile(FALSE, path.c_str(), TRUE);
        ASSERT_EQ(1u, prompts->calls.size()) << path;
        EXPECT_EQ("message", prompts->calls[0].kind);
        EXPECT_EQ("Error", prompts->calls[0].caption);
        EXPECT_EQ("File: '" + path + "'\n" + MainWindow::SystemErrorText(ERROR_FILE_NOT_FOUND), prompts->calls[0].text);
        EXPECT_EQ(kStop, prompts->calls[0].type);
        EXPECT_FALSE(window->Succeeded());
    }
    EXPECT_TRUE(Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath).empty());
}

TEST_F(ImportBatchTest, ImportsIntoTheScopeAskedFor) {
    const std::string file = ScratchDir("dsi-import-scope") + "\\one.dsi";
    WriteWholeFile(file, General(1) + Source("DSN0", "S", {{"A", "a", "1"}}));
    window->ImportDsiFile(FALSE, file.c_str(), TRUE);
    EXPECT_EQ(Sz("a"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("S"), "A"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("S")));
    EXPECT_STREQ(file.c_str(), window->m_szDsiFile);
    EXPECT_TRUE(prompts->calls.empty());
}

// Registry calls per source of 20 values, apart from what a run costs once:
// on a remote computer each is a round trip, so a change that adds one to
// every source shows here. Replacing includes the backup's reading of each.
struct CallCase {
    const char* name;
    // The Port and an attribute of the file's sources already in the scope
    // (the file's: 1433, "value"); none when null.
    const char* port;
    const char* attribute;
    bool exporting;  // an export of the scope, else an import of the file
    unsigned long long perTwoSources;  // the calls two more sources cost
    bool remote = false;               // the registry renames nothing, as on another computer
};

void PrintTo(const CallCase& c, std::ostream* os) { *os << c.name; }

class RegistryCallTest : public WindowTest, public ::testing::WithParamInterface<CallCase> {
protected:
    RegistryCallTest() : WindowTest(Mode::Batch) {}
    void TearDown() override {
        ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
        SetRenameUnavailable(false);
        WindowTest::TearDown();
    }
};

TEST_P(RegistryCallTest, HoldsTheCallsPerSource) {
    const CallCase& c = GetParam();
    const std::string dir = ScratchDir(std::string("dsi-calls-") + c.name);
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
    unsigned long long calls[2] = {};
    for (int k = 0; k < 2; ++k) {
        const int count = 2 + 2 * k;
        const auto write = [&](const std::string& file, const std::string& port, const std::string& attribute) {
            std::string text = General(count);
            for (int i = 0; i < count; ++i) {
                // In the order the registry lists them, as export writes them.
                std::vector<std::vector<std::string>> rows;
                for (int j = 10; j < 29; ++j)
                    rows.push_back({"Attribute" + std::to_string(j), j == 10 ? attribute : "value", "1"});
                rows.push_back({"Port", port, "4"});
                text += Source("DSN" + std::to_string(i), "Source " + std::to_string(i), rows);
            }
            WriteWholeFile(file, text);
        };
        const std::string file = dir + "\\" + std::to_string(count) + ".dsi";
        write(file, "1433", "value");
        ClearTestRegistry();
        if (c.port != nullptr) {
            write(dir + "\\had.dsi", c.port, c.attribute);
            window->ImportDsiFile(FALSE, (dir + "\\had.dsi").c_str(), FALSE);
        }
        SetRenameUnavailable(c.remote);
        ResetRegistryCallCount();
        if (c.exporting) {
            window->ExportScopeToFile((dir + "\\out.dsi").c_str(), FALSE);
        } else {
            window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        }
        calls[k] = RegistryCallCount();
        EXPECT_TRUE(window->Succeeded());
        EXPECT_EQ(20u, Snapshot(HKEY_CURRENT_USER, OdbcPath("Source " + std::to_string(count - 1))).size());
    }
    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_EQ(c.perTwoSources, calls[1] - calls[0]);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryCallTest,
                         ::testing::Values(CallCase{"import_new", nullptr, nullptr, false, 51},
                                           CallCase{"import_replacing", "1434", "other", false, 116},
                                           CallCase{"import_new_remote", nullptr, nullptr, false, 107, true},
                                           CallCase{"import_replacing_remote", "1434", "other", false, 176, true},
                                           CallCase{"import_one_value_changed", "1434", "value", false, 64},
                                           CallCase{"import_the_same_again", "1433", "value", false, 52},
                                           CallCase{"export", "1433", "value", true, 52}),
                         [](const ::testing::TestParamInfo<CallCase>& info) { return std::string(info.param.name); });

// Sources written several at once, in batches, leave the registry and the
// user's messages as writing them one by one does (a write seam armed, only
// counting, makes the calls one by one): new and replaced sources, a name
// twice, a refused one and one with a row left out, across batches.
TEST_F(ImportBatchTest, BatchesWriteAndTellWhatOneByOneDoes) {
    const std::string dir = ScratchDir("dsi-import-batches");
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
    const int count = 600;
    std::string text = General(count);
    for (int i = 0; i < count; ++i) {
        std::string name = "S" + std::to_string(i);
        if (i % 97 == 5) name = i % 2 ? "Twin" : "TWIN";
        if (i == 300) name = kDriverEntriesKey;
        std::vector<std::vector<std::string>> rows = {{"A", std::to_string(i), "1"}, {"B", "b", "1"}};
        if (i == 450) rows.push_back({std::string(16384, 'v'), "too long a name", "1"});
        text += Source("DSN" + std::to_string(i), name, rows);
    }
    WriteWholeFile(dir + "\\many.dsi", text);
    std::vector<RegTree> trees;
    std::vector<std::vector<PromptCall>> told;
    for (const bool oneByOne : {true, false}) {
        ClearTestRegistry();
        for (int i = 0; i < count; i += 7) PutString(HKEY_CURRENT_USER, OdbcPath("s" + std::to_string(i)), "Old", "o");
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK, IDOK};  // the refused source, the row left out
        window->ResetOutcome();
        if (oneByOne) ArmRegistryWriteFault(0, false);
        window->ImportDsiFile(FALSE, (dir + "\\many.dsi").c_str(), FALSE);
        DisarmRegistryWriteFault();
        trees.push_back(Snapshot(HKEY_CURRENT_USER, kOdbcIniPath));
        told.push_back(prompts->calls);
    }
    EXPECT_EQ(trees[0], trees[1]);
    ASSERT_EQ(2u, told[0].size());
    ASSERT_EQ(told[0].size(), told[1].size());
    for (size_t k = 0; k < told[0].size(); ++k) EXPECT_EQ(told[0][k].text, told[1][k].text) << k;
    EXPECT_EQ(RegValue({REG_SZ, Text("587")}), trees[1].at("Twin\\|A"));
    size_t olds = 0;
    for (const auto& entry : trees[1]) olds += entry.first.size() > 4 && entry.first.substr(entry.first.size() - 4) == "|Old";
    EXPECT_EQ(1u, olds);  // s490's, which the file names no more
}

// Among many new sources, one already there under another case is still
// found, so that it is backed up before it is replaced.
TEST_F(ImportBatchTest, ASourceUnderAnotherCaseAmongManyIsBackedUp) {
    const std::string dir = ScratchDir("dsi-import-known");
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
    PutString(HKEY_CURRENT_USER, OdbcPath("SOURCE 3"), "Old", "o");
    PutString(HKEY_CURRENT_USER, OdbcPath("SOURCE 3"), "PWD", "Pl4nted!");
    std::string text = General(8);
    for (int i = 0; i < 8; ++i)
        text += Source("DSN" + std::to_string(i), "source " + std::to_string(i), {{"A", std::to_string(i), "1"}});
    WriteWholeFile(dir + "\\eight.dsi", text);
    // The preview, too, finds it under the other case.
    const std::string out = dir + "\\preview.txt";
    window->facts.commandLine.m_bPreview = TRUE;
    window->facts.out = ::CreateFileA(out.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    window->ImportDsiFile(FALSE, (dir + "\\eight.dsi").c_str(), FALSE);
    ::CloseHandle(window->facts.out);
    window->facts.out = NULL;
    window->facts.commandLine.m_bPreview = FALSE;
    EXPECT_NE(std::string::npos, ReadWholeFile(out).find("replace\tsource 3\t32/64-bit\r\n")) << ReadWholeFile(out);
    window->ImportDsiFile(FALSE, (dir + "\\eight.dsi").c_str(), FALSE);
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ(kAbsent, ValueOf(HKEY_CURRENT_USER, OdbcPath("Source 3"), "Old"));
    EXPECT_EQ(Sz("3"), ValueOf(HKEY_CURRENT_USER, OdbcPath("Source 3"), "A"));
    const std::string path = FirstBackup(dir);
    ASSERT_FALSE(path.empty());
    const std::string backup = ReadWholeFile(path);
    EXPECT_NE(std::string::npos, backup.find("Name0=Old")) << backup;
    EXPECT_NE(std::string::npos, backup.find("Value0=o")) << backup;
    // Secrets too: a backup exists to restore, in a folder of this account alone.
    EXPECT_NE(std::string::npos, backup.find("=Pl4nted!\r\n")) << backup;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    PACL dacl = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::GetNamedSecurityInfoA(path.substr(0, path.rfind('\\')).c_str(), SE_FILE_OBJECT,
                                                     DACL_SECURITY_INFORMATION, NULL, NULL, &dacl, NULL, &descriptor));
    char* sddl = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, &sddl, NULL));
    const std::string granted = sddl;
    ::LocalFree(sddl);
    ::LocalFree(descriptor);
    // Wine 8 takes the list without keeping it: it reads back one made from
    // the folder's Unix mode (the user, SYSTEM and, per mode, Everyone).
    if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL) return;
    EXPECT_EQ(0u, granted.find("D:P(A;OICI;FA;;;S-1-5-")) << granted;
    EXPECT_EQ(std::string::npos, granted.find(")(")) << granted;  // one entry alone
}

// A backup of more sources than are read at once, one beyond the system's
// code page among the last, restores every source as it was.
TEST_F(ImportBatchTest, ABackupOfManySourcesRestoresEachAsItWas) {
    const int kSources = 150;
    std::string file = "[General]\r\nItems=" + std::to_string(kSources) + "\r\n";
    for (int i = 0; i < kSources; ++i) {
        const std::wstring name = L"S" + std::to_wstring(i);
        PutWide(HKEY_CURRENT_USER, L"Software\\ODBC\\ODBC.INI\\" + name, L"V", REG_SZ,
                WideSz(i == 130 ? L"\u03A9" : L"v" + name));
        PutWide(HKEY_CURRENT_USER, L"Software\\ODBC\\ODBC.INI\\ODBC Data Sources", name, REG_SZ, WideSz(L"D"));
        file += "[DSN" + std::to_string(i) + "]\r\nDriver=E\r\nDSN=S" + std::to_string(i) +
                "\r\nItems=1\r\nName0=A\r\nValue0=a\r\nFormat0=1\r\n";
    }
    const RegTree before = Snapshot(HKEY_CURRENT_USER, kOdbcIniPath);
    const std::string dir = ScratchDir("dsi-again-many"), path = dir + "\\many.dsi";
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
    WriteWholeFile(path, file);
    window->ImportDsiFile(FALSE, path.c_str(), FALSE);
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ((RegValue{REG_SZ, Text("a")}), ValueOf(HKEY_CURRENT_USER, OdbcPath("S130"), "A"));

    const std::string backupPath = FirstBackup(dir);
    ASSERT_FALSE(backupPath.empty());
    EXPECT_EQ("\xFF\xFE", ReadWholeFile(backupPath).substr(0, 2));
    ClearTestRegistry();
    window->ImportDsiFile(FALSE, backupPath.c_str(), FALSE);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER, kOdbcIniPath));
    EXPECT_TRUE(prompts->calls.empty());
}

// The peak memory of an import, in a process of its own (a peak only grows),
// above what the process held before: the file's text once, plus little.
// Shapes that cost a structure a line or a section, or a copy of the text
// or of a value, would pass twice the file; so would a backup of the
// sources replaced held whole.
const char kMemoryChildFile[] = "ZENTREL_TEST_IMPORT_MEMORY";

TEST_F(ImportBatchTest, ImportHoldsLittleMoreThanTheFile) {
    char child[MAX_PATH] = "";
    if (::GetEnvironmentVariableA(kMemoryChildFile, child, sizeof(child)) > 0) {
        PROCESS_MEMORY_COUNTERS before = {}, after = {};
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));
        window->ImportDsiFile(FALSE, child, FALSE);
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
        printf("import-memory before=%llu peak=%llu succeeded=%d\n", (unsigned long long)before.WorkingSetSize,
               (unsigned long long)after.PeakWorkingSetSize, window->Succeeded() ? 1 : 0);
        return;
    }
    const std::string dir = ScratchDir("dsi-import-memory");
    const size_t size = 16u << 20;
    const std::string source = General(1) + Source("DSN0", "Small", {{"A", "a", "1"}});
    std::string comments, sections, was, changed;
    while (comments.size() < size) comments += "; a comment\r\n\r\n\r\n";
    for (unsigned long n = 0; sections.size() < size; ++n) sections += "[s" + std::to_string(n) + "]\r\n";
    // Sources replaced, each backed up first: two values of each changed.
    const int many = 8000;
    for (int i = 0; i < many; ++i) {
        std::vector<std::vector<std::string>> rows;
        for (int j = 0; j < 10; ++j) rows.push_back({"Attribute" + std::to_string(j), std::string(60, 'v'), "1"});
        was += Source("DSN" + std::to_string(i), "Source " + std::to_string(i), rows);
        rows[3][1] = rows[7][1] = "changed";
        changed += Source("DSN" + std::to_string(i), "Source " + std::to_string(i), rows);
    }
    const struct {
        const char* shape;
        std::string file;
        std::string over;  // imported first, in this process
    } shapes[] = {
        {"comments", comments + source + comments, ""},
        {"sections", source + sections, ""},
        {"huge", General(1) + Source("DSN0", "Huge", {{"Blob", std::string(2 * size, 'A'), "3"}}), ""},
        {"replacing", General(many) + changed, General(many) + was},
    };
    char self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(NULL, self, sizeof(self)), 0u);
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
    for (const auto& shape : shapes) {
        const std::string file = dir + "\\" + shape.shape + ".dsi", out = dir + "\\out.txt";
        if (!shape.over.empty()) {
            WriteWholeFile(file, shape.over);
            window->ImportDsiFile(FALSE, file.c_str(), FALSE);
            ASSERT_TRUE(window->Succeeded());
        }
        WriteWholeFile(file, shape.file);
        ASSERT_TRUE(::SetEnvironmentVariableA(kMemoryChildFile, file.c_str()));
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
        HANDLE output = ::CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
        PROCESS_INFORMATION process = {};
        std::string command = std::string("\"") + self + "\" --gtest_filter=ImportBatchTest.ImportHoldsLittleMoreThanTheFile";
        const BOOL started =
            ::CreateProcessA(self, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
        ::SetEnvironmentVariableA(kMemoryChildFile, NULL);
        ::CloseHandle(output);
        ASSERT_TRUE(started);
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.hProcess, 60000));
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        const std::string report = ReadWholeFile(out);
        unsigned long long before = 0, peak = 0;
        int succeeded = 0;
        const size_t at = report.find("import-memory ");
        ASSERT_NE(std::string::npos, at) << report;
        ASSERT_EQ(3, sscanf(report.c_str() + at, "import-memory before=%llu peak=%llu succeeded=%d", &before, &peak,
                            &succeeded));
        EXPECT_EQ(1, succeeded) << shape.shape;
        // Less the lock's renewing thread: under Wine any thread holds at
        // least a megabyte, whatever the file.
        const unsigned long long renewer = 1200u << 10;
        const double grown = (double)(peak - before - renewer) / (double)shape.file.size();
        EXPECT_LT(grown, 1.75) << shape.shape << ": " << peak - before << " bytes for a file of " << shape.file.size();
    }
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
}

// ---- Interactive import -----------------------------------------------------

class ImportWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        file = ScratchDir("dsi-import-window") + "\\three.dsi";
        WriteWholeFile(file, General(3) + Source("DSN0", "One", {{"A", "1", "1"}}, "D1") +
                                 Source("DSN1", "Two", {{"A", "2", "1"}}, "D2") +
                                 Source("DSN2", "Three", {{"A", "3", "1"}}, "D3"));
    }
    std::string file;
};

TEST_F(ImportWindowTest, ImportAsksForTheFileAndUsesTheTabsScope) {
    Open(1);
    prompts->fileAnswers = {file};
    prompts->messageAnswers = {IDOK};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_IMPORT, 0);
    const std::vector<PromptCall> opens = prompts->Of("open");
    ASSERT_EQ(1u, opens.size());
    EXPECT_EQ("Import from", opens[0].caption);
    EXPECT_EQ("", opens[0].text);
    EXPECT_EQ("", opens[0].defaultExtension);
    EXPECT_EQ("Data Source Information file (*.dsi)|*.dsi|All Files(*.*)|*.*||", opens[0].filter);
    EXPECT_EQ(DWORD(OFN_FILEMUSTEXIST | OFN_SHOWHELP | OFN_HIDEREADONLY), opens[0].type);
    EXPECT_EQ(window->m_hWnd, opens[0].owner);
    // One summary at the end.
    ASSERT_EQ(2u, prompts->calls.size());
    EXPECT_EQ("File '" + file + "': 3 data sources written, 0 of them in place of one of the same name; 0 skipped.",
              prompts->calls[1].text);
    EXPECT_EQ("Import", prompts->calls[1].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), prompts->calls[1].type);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ(Sz("2"), ValueOf(HKEY_CURRENT_USER, OdbcPath("Two"), "A"));
    EXPECT_EQ(Sz("D3"), ValueOf(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Three"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("One")));
    // The list shows the scope afresh, every row ticked.
    std::vector<std::string> listed = Rows();
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ((std::vector<std::string>{"One", "Three", "Two"}), listed);
    for (int i = 0; i < window->m_lstDataSources.GetItemCount(); ++i) EXPECT_TRUE(window->m_lstDataSources.GetCheck(i));
}

TEST_F(ImportWindowTest, CancelledChooserDoesNothing) {
    Open(0);
    prompts->fileAnswers = {""};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_IMPORT, 0);
    EXPECT_EQ(1u, prompts->calls.size());
    EXPECT_TRUE(Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath).empty());
    EXPECT_TRUE(window->Succeeded());
}

// Import As: the first renamed through the real dialog, the second
// cancelled, the third kept as the file names it.
TEST_F(ImportWindowTest, ImportAsRenamesAndSkipsOnCancel) {
    Open(0);
    prompts->fileAnswers = {file};
    std::vector<std::string> proposed;
    prompts->dialogAnswers = {
        [&](CDialog& dialog) -> INT_PTR {
            DsnNameDialog& named = static_cast<DsnNameDialog&>(dialog);
            EXPECT_TRUE(named.Create(window.get()));
            char shown[300] = "";
            ::GetDlgItemTextA(named.m_hWnd, IDC_DSN_NAME, shown, sizeof(shown));
            proposed.push_back(shown);
            ::SetDlgItemTextA(named.m_hWnd, IDC_DSN_NAME, "Renamed One");
            ::SendMessageA(named.m_hWnd, WM_COMMAND, IDOK, 0);
            return IDOK;
        },
        [&](CDialog& dialog) -> INT_PTR {
            proposed.push_back(static_cast<DsnNameDialog&>(dialog).m_strName);
            return IDCANCEL;
        },
        [&](CDialog& dialog) -> INT_PTR {
            proposed.push_back(static_cast<DsnNameDialog&>(dialog).m_strName);
            return IDOK;
        },
    };
    prompts->messageAnswers = {IDOK};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_IMPORT_AS, 0);
    EXPECT_EQ((std::vector<std::string>{"One", "Two", "Three"}), proposed);
    EXPECT_EQ(Sz("1"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Renamed One"), "A"));
    EXPECT_EQ(Sz("D1"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Renamed One"));
    EXPECT_EQ(kAbsent, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "One"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("One")));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Two")));
    EXPECT_EQ(Sz("3"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Three"), "A"));
    ASSERT_EQ(1u, prompts->Of("message").size());
    EXPECT_EQ("File '" + file + "': 2 data sources written, 0 of them in place of one of the same name; 1 skipped.",
              prompts->Of("message")[0].text);
}

TEST_F(ImportWindowTest, ImportAsRefusesNamesOutsideTheSourcesKey) {
    Open(0);
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Keep", "K");
    prompts->fileAnswers = {file};
    const auto rename = [](const char* name) {
        return [name](CDialog& dialog) -> INT_PTR {
            static_cast<DsnNameDialog&>(dialog).m_strName = name;
            return IDOK;
        };
    };
    prompts->dialogAnswers = {rename(""), rename("ODBC Data Sources"), rename("Kept")};
    prompts->messageAnswers = {IDOK, IDOK, IDOK};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_IMPORT_AS, 0);
    const std::vector<PromptCall> shown = prompts->Of("message");
    ASSERT_EQ(3u, shown.size());
    EXPECT_EQ("File '" + file + "': 1 data source written; 2 skipped.",
              shown[2].text);
    EXPECT_EQ("Data source 'One' (section DSN0 of file '" + file + "') is not imported: its name is empty.",
              shown[0].text);
    EXPECT_EQ("Error", shown[0].caption);
    EXPECT_EQ(window->m_hWnd, shown[0].owner);
    EXPECT_NE(std::string::npos, shown[1].text.find("Data source 'Two'"));
    // Nothing landed in the ODBC section's own keys.
    EXPECT_EQ(kAbsent, ValueOf(HKEY_LOCAL_MACHINE, kOdbcIniPath, "A"));
    EXPECT_EQ(kAbsent, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), ""));
    EXPECT_EQ(kAbsent, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "A"));
    EXPECT_EQ(Sz("K"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Keep"));
    EXPECT_EQ(Sz("3"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Kept"), "A"));
}

struct OverwriteCase {
    const char* name;
    int askImport;
    std::vector<int> answers;  // to the question, when asked
    bool twoReplaced;
    bool threeWritten;
    bool listRefilled;
    bool otherView = false;  // the 32-bit view holds the name too
};

void PrintTo(const OverwriteCase& c, std::ostream* os) { *os << c.name; }

class ImportOverwriteTest : public ImportWindowTest, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(ImportOverwriteTest, AsksBeforeReplacing) {
    const OverwriteCase& c = GetParam();
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Two"), "Old", "o");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Two") + "\\Sub", "Old", "o");
    if (c.otherView) PutString(HKEY_LOCAL_MACHINE, OdbcPath32("Two"), "Other", "x");
    Open(0);
    ASSERT_EQ(c.otherView ? 2u : 1u, Rows().size());
    g_pSettings->m_bAskImport = c.askImport;
    prompts->fileAnswers = {file};
    prompts->messageAnswers.assign(c.answers.begin(), c.answers.end());
    prompts->messageAnswers.push_back(IDOK);
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_IMPORT, 0);

    const std::vector<PromptCall> shown = prompts->Of("message");
    ASSERT_EQ(c.answers.size() + 1, shown.size());
    // The summary says where a declined question stopped the import.
    // One source is one, never "1 data sources".
    const std::string written =
        c.threeWritten ? std::string("3 data sources written, ") + (c.twoReplaced ? "1" : "0") +
                             " of them in place of one of the same name"
                       : std::string("1 data source written") + (c.twoReplaced ? ", in place of one of the same name" : "");
    EXPECT_EQ("File '" + file + "': " + written + "; 0 skipped." +
                  (c.twoReplaced ? "" : "\nThe import stopped at section DSN1: replacing data source 'Two' was declined."),
              shown.back().text);
    if (!c.answers.empty()) {
        // The view is named, outside the quotes, where both views hold the name.
        EXPECT_EQ(c.otherView ? "Data Source 'Two' (64-bit) already exists. Do you wish to overwrite it?"
                              : "Data Source 'Two' already exists. Do you wish to overwrite it?",
                  shown[0].text);
        EXPECT_EQ("Warning!", shown[0].caption);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), shown[0].type);
    }
    EXPECT_EQ(Sz("1"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("One"), "A"));
    EXPECT_EQ(c.twoReplaced ? kAbsent : Sz("o"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Two"), "Old"));
    EXPECT_EQ(!c.twoReplaced, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Two") + "\\Sub"));
    EXPECT_EQ(c.twoReplaced ? Sz("2") : kAbsent, ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Two"), "A"));
    EXPECT_EQ(c.threeWritten, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Three")));
    EXPECT_EQ((c.listRefilled ? 3u : 2u) + (c.otherView ? 1u : 0u), Rows().size());
    if (c.otherView) {
        EXPECT_EQ(Sz("x"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath32("Two"), "Other"));
    }
    EXPECT_EQ(c.twoReplaced, (bool)window->Succeeded());
}

INSTANTIATE_TEST_SUITE_P(Table, ImportOverwriteTest,
                         ::testing::Values(OverwriteCase{"no_stops_and_keeps_earlier", 1, {IDNO}, false, false, false},
                                           OverwriteCase{"yes_replaces", 1, {IDYES}, true, true, true},
                                           OverwriteCase{"not_asked_when_off", 0, {}, true, true, true},
                                           OverwriteCase{"both_views_named", 1, {IDYES}, true, true, true, true}),
                         [](const ::testing::TestParamInfo<OverwriteCase>& info) {
                             return std::string(info.param.name);
                         });

// Copy to and Restore from Backup, through the import: what is asked, what
// is answered, and what the registry then holds. System tab: In32 in the
// 32-bit view, Two in the 64-bit one; a backup of Two and Gone.
struct TransferCase {
    const char* name;
    UINT command;
    const char* pick;  // the row made current
    std::vector<std::function<INT_PTR(CDialog&)>> dialogs;
    std::vector<int> answers;    // to message boxes
    std::vector<Check> values;   // below HKEY_LOCAL_MACHINE's ODBC.INI, "32:" for the 32-bit view, "U:" for User
    std::string lastMessage;     // "{backup}" for the backup's path
    size_t backups = 1;          // files in the backup folder after it
    int askImport = 0;
};

void PrintTo(const TransferCase& c, std::ostream* os) { *os << c.name; }

// The preview's answer; its text must hold `has`.
std::function<INT_PTR(CDialog&)> Preview(INT_PTR answer, std::vector<std::string> has) {
    return [answer, has](CDialog& dialog) {
        const PreviewDialog* preview = dynamic_cast<PreviewDialog*>(&dialog);
        EXPECT_NE(nullptr, preview);
        if (preview == nullptr) return (INT_PTR)IDCANCEL;
        for (const std::string& text : has) EXPECT_NE(std::string::npos, preview->m_strText.find(text)) << preview->m_strText;
        return answer;
    };
}

// The restore dialog answered: the first backup, its sources ticked so.
std::function<INT_PTR(CDialog&)> Restore(std::vector<bool> picked) {
    return [picked](CDialog& dialog) {
        RestoreDialog& restore = static_cast<RestoreDialog&>(dialog);
        EXPECT_EQ(1u, restore.m_backups.size());
        EXPECT_EQ(2, restore.m_backups.empty() ? 0 : restore.m_backups[0].sources);
        restore.m_chosen = 0;
        restore.m_picked = picked;
        return (INT_PTR)ID_RESTORE;
    };
}

// The restore dialog itself: its first backup shown, the first source
// unticked, then previewed and restored from the preview.
INT_PTR RestoreThroughPreview(CDialog& dialog) {
    RestoreDialog& restore = static_cast<RestoreDialog&>(dialog);
    EXPECT_TRUE(restore.Create(nullptr));
    EXPECT_EQ((std::vector<std::string>{"Two", "Gone"}), ListColumn(restore.m_lstSources.m_hWnd, 0));
    restore.m_lstSources.SetCheck(0, FALSE);
    ::SendMessageA(restore.m_hWnd, WM_COMMAND, IDC_RESTORE_PREVIEW, 0);
    EXPECT_EQ(nullptr, restore.GetSafeHwnd());
    EXPECT_EQ((std::vector<bool>{false, true}), restore.m_picked);
    return ID_RESTORE;
}

const std::vector<TransferCase>& TransferCases() {
    const std::string summary = "Copied to System DSN (64-bit view): 1 data sources written, ";
    static const std::vector<TransferCase> cases = {
        {"copy_to_64_after_the_driver_check", ID_COPY_TO_64, "In32",
         {Preview(IDOK, {"driver\tIn32\tD32\t64-bit, driver missing\r\n", "new\tIn32\t64-bit\r\n"})}, {IDOK},
         {{"In32", "A", Sz("32")}, {"ODBC Data Sources", "In32", Sz("D32")}, {"32:In32", "A", Sz("32")}},
         summary + "0 of them in place of one of the same name; 0 skipped.", 1},
        {"copy_declined_writes_nothing", ID_COPY_TO_64, "In32", {Preview(IDCANCEL, {})}, {},
         {{"In32", "A", kAbsent}, {"ODBC Data Sources", "In32", kAbsent}}, "", 1},
        {"copy_to_user", ID_COPY_TO_USER, "Two", {Preview(IDOK, {"new\tTwo\t32/64-bit\r\n"})}, {IDOK},
         {{"U:Two", "Old", Sz("o")}, {"Two", "Old", Sz("o")}},
         "Copied to User DSN: 1 data sources written, 0 of them in place of one of the same name; 0 skipped.", 1},
        {"copy_to_its_own_view", ID_COPY_TO_64, "Two", {}, {IDOK}, {},
         "The data sources picked are in System DSN (64-bit view) already; nothing is copied.", 1},
        {"copy_over_asks_and_backs_up", ID_COPY_TO_32, "Two", {Preview(IDOK, {"replace\tTwo\t32-bit\r\n"})},
         {IDYES, IDOK}, {{"32:Two", "Old", Sz("o")}, {"32:Two", "Other", kAbsent}},
         "Copied to System DSN (32-bit view): 1 data sources written, 1 of them in place of one of the same name; 0 "
         "skipped.",
         2, 1},
        {"restore_all", ID_RESTORE, nullptr, {Restore({true, true})}, {IDOK},
         {{"Two", "Old", Sz("restored")}, {"Gone", "G", Sz("g")}},
         "File '{file}': 2 data sources written, 1 of them in place of one of the same name; 0 skipped.", 2},
        {"restore_some", ID_RESTORE, nullptr, {Restore({false, true})}, {IDOK},
         {{"Two", "Old", Sz("o")}, {"Gone", "G", Sz("g")}}, "", 1},
        {"restore_through_the_preview", ID_RESTORE, nullptr,
         {RestoreThroughPreview, Preview(IDOK, {"new\tGone\t64-bit\r\n"})}, {IDOK},
         {{"Two", "Old", Sz("o")}, {"Gone", "G", Sz("g")}}, "", 1},
    };
    return cases;
}

class TransferTest : public ImportWindowTest, public ::testing::WithParamInterface<TransferCase> {
protected:
    void SetUp() override {
        ImportWindowTest::SetUp();
        appData = ScratchDir("dsi-transfer");
        ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", appData.c_str()));
        ::CreateDirectoryA((appData + "\\Zentrel").c_str(), NULL);
        ::CreateDirectoryA((appData + "\\Zentrel\\Backups").c_str(), NULL);
        backup = appData + "\\Zentrel\\Backups\\20261207-090503-system.dsi";
        WriteWholeFile(backup, General(2) + Source("DSN0", "Two", {{"Old", "restored", "1"}}, "D2") +
                                   "Platform=64-bit\r\n" + Source("DSN1", "Gone", {{"G", "g", "1"}}, "DG") +
                                   "Platform=64-bit\r\n");
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
        ImportWindowTest::TearDown();
    }
    std::string appData, backup;
};

TEST_P(TransferTest, GoesThroughTheImport) {
    const TransferCase& c = GetParam();
    PutString(HKEY_LOCAL_MACHINE, OdbcPath32("In32"), "A", "32");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath32("ODBC Data Sources"), "In32", "D32");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath32("Two"), "Other", "x");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Two"), "Old", "o");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Two", "D2");
    PutString(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBCINST.INI\\ODBC Drivers", "Other", "Installed");
    Open(0);
    g_pSettings->m_bAskImport = c.askImport;
    if (c.pick != nullptr) {
        // In32 in its 32-bit view, Two in its 64-bit one.
        const zentrel::Platform view = std::string(c.pick) == "In32" ? zentrel::Platform::Bit32 : zentrel::Platform::Bit64;
        int row = -1;
        for (int i = 0; i < (int)window->m_listedSources.size(); ++i)
            if (window->m_listedSources[i].name == c.pick && window->m_listedSources[i].platform == view) row = i;
        ASSERT_GE(row, 0);
        window->m_lstDataSources.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ASSERT_STREQ(c.pick, window->m_szCurrentDsn);
    }
    prompts->dialogAnswers.assign(c.dialogs.begin(), c.dialogs.end());
    prompts->messageAnswers.assign(c.answers.begin(), c.answers.end());
    Command(c.command);
    EXPECT_TRUE(prompts->dialogAnswers.empty() && prompts->messageAnswers.empty());
    for (const Check& check : c.values) {
        const bool user = check.path.compare(0, 2, "U:") == 0, view32 = check.path.compare(0, 3, "32:") == 0;
        const std::string path = check.path.substr(user ? 2 : view32 ? 3 : 0);
        EXPECT_EQ(check.value, ValueOf(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                       view32 ? OdbcPath32(path) : OdbcPath(path), check.name.c_str()))
            << check.path << " | " << check.name;
    }
    const std::vector<PromptCall> shown = prompts->Of("message");
    if (!c.lastMessage.empty()) {
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(Fill(c.lastMessage, backup), shown.back().text);
    }
    size_t files = 0;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((appData + "\\Zentrel\\Backups\\*.dsi").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(search, &found)) ++files;
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
    EXPECT_EQ(c.backups, files);
}

INSTANTIATE_TEST_SUITE_P(Table, TransferTest, ::testing::ValuesIn(TransferCases()),
                         [](const ::testing::TestParamInfo<TransferCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ImportWindowTest, ListIsNotRefilledInBatchMode) {
    Open(0);
    window->facts.commandLine.m_bBatchMode = TRUE;
    window->ImportDsiFile(FALSE, file.c_str(), TRUE);
    window->facts.commandLine.m_bBatchMode = FALSE;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Three")));
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(prompts->calls.empty());
}

}  // namespace
