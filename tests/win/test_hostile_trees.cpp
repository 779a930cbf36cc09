// Registry trees and files that must never turn the program against the
// user's data: links, nesting deeper than the registry allows, reserved
// names in another case, stale sections, names a file cannot carry.
#include "DsiTestUtil.h"

#include <sddl.h>
#include <winternl.h>

#include <set>

#include "core/ProfileFile.h"
#include "dsi/ImportWriter.h"
#include "ui/Compare.h"

namespace {

const std::string kMachineOdbc = "\\Registry\\Machine\\Software\\ODBC\\ODBC.INI";

// A key that is a registry link to `target` (a native path), System unless told.
void PutLink(const std::string& path, const std::string& target, HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY link = NULL;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root, path.c_str(), 0, NULL,
                                                REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                                KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &link, &disposition));
    const std::wstring wide(target.begin(), target.end());
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)wide.data(),
                                              (DWORD)(wide.size() * sizeof(wchar_t))));
    ::RegCloseKey(link);
}

// A chain of `levels` keys named L below a System path, made level by level
// (the ANSI calls refuse long paths in one piece).
void PutChain(const std::string& path, size_t levels) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key));
    for (size_t i = 0; i < levels; ++i) {
        HKEY next = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(key, "L", &next));
        ::RegCloseKey(key);
        key = next;
    }
    ::RegCloseKey(key);
}

// A System key whose name holds a zero byte, which only the native call
// can make; `name` is below the ODBC section.
void PutZeroNamedKey(const std::string& parent, const std::wstring& name, HKEY root = HKEY_LOCAL_MACHINE) {
    typedef LONG(WINAPI * NtCreateKeyFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG,
                                         PULONG);
    const NtCreateKeyFn create = reinterpret_cast<NtCreateKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtCreateKey")));
    ASSERT_NE(nullptr, create);
    HKEY base = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(root, parent.c_str(), &base));
    std::wstring buffer = name;
    UNICODE_STRING text;
    text.Buffer = &buffer[0];
    text.Length = text.MaximumLength = (USHORT)(buffer.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, 0, base, NULL);
    HANDLE key = NULL;
    ULONG disposition = 0;
    ASSERT_EQ(0, create(&key, KEY_ALL_ACCESS, &attributes, 0, NULL, 0, &disposition));
    ::CloseHandle(key);
    ::RegCloseKey(base);
}

void PutSourceUnder(HKEY root, const std::string& name, const std::string& driver = "Drv") {
    PutString(root, OdbcPath("ODBC Data Sources"), name.c_str(), driver);
    PutString(root, OdbcPath(name), "Attr", "value of " + name);
}

RegValue Sz(const std::string& s) { return RegValue{REG_SZ, Text(s)}; }

const char kNoAccess[] = "D:P";
const char kSetValueOnly[] = "D:P(A;;0x2;;;WD)";
const char kFullAccess[] = "D:(A;;KA;;;WD)";

std::string Denied() { return MainWindow::SystemErrorText(ERROR_ACCESS_DENIED); }

// A batch command line run in-process, its standard output and error caught
// in files.
struct BatchRun {
    int code;
    std::string out, err;
};
BatchRun RunBatchLine(MainWindow& window, const std::string& line, const std::string& dir) {
    BatchRun run{0, "", ""};
    const CapturedStreams streams = CaptureStdStreams(dir, [&]() {
        ManagerApp& app = ResetApp();
        app.ParseCommandLine(line.c_str());
        run.code = app.RunBatch(window);
        app.m_bBatchMode = FALSE;
    });
    // Without -q the run starts with its banner.
    run.out = streams.out;
    const std::string banner = MainWindow::LoadText(IDS_BANNER);
    if (run.out.compare(0, banner.size(), banner) == 0) run.out.erase(0, banner.size());
    run.err = streams.err;
    return run;
}

std::vector<std::string> Messages(const ScriptedPrompts& prompts) {
    std::vector<std::string> shown;
    for (const PromptCall& call : prompts.Of("message")) shown.push_back(call.caption + ": " + call.text);
    return shown;
}

std::string Repeat(const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

class HostileTreeTest : public WindowTest {
protected:
    HostileTreeTest() : WindowTest(Mode::Batch) {}
    std::string dir = ScratchDir("hostile");
};

// A tree the walk cannot finish is reported and left out; every other
// source is still exported, and the run ends in seconds, not in a crash.
TEST_F(HostileTreeTest, SourcesThatCannotBeWalkedAreReportedAndLeftOut) {
    struct Case {
        const char* name;
        std::function<void()> seed;
        std::string walkMessage;
    };
    const Case cases[] = {
        {"link_up_its_own_tree", [] { PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
                                      PutLink(OdbcPath("Evil") + "\\Loop", kMachineOdbc + "\\Evil"); },
         "The key 'Loop' of data source 'Evil' is a registry link; it is not followed."},
        {"source_that_is_a_link", [] { PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Evil", "D");
                                       PutLink(OdbcPath("Evil"), kMachineOdbc); },
         "The data source 'Evil' is a registry link; it is not followed."},
        {"key_with_a_zero_byte", [] { PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
                                      PutKey(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Fine");
                                      PutZeroNamedKey(OdbcPath("Evil"), std::wstring(L"Fine\0x", 6)); },
         "The data source 'Evil' holds a key with a zero byte in its name ('Fine\\0x'), which cannot be reached by "
         "name; it is not listed."},
        // Reached by name, it would be the source its first part names.
        {"source_named_with_a_zero_byte", [] { PutZeroNamedKey(OdbcPath(""), std::wstring(L"Fine\0twin", 9)); }, ""},
        // Read in part, a source would be exported as less than it is.
        {"source_denying_reading", [] { PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
                                        SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("Evil"), kNoAccess); },
         "The data source 'Evil' could not be read:\n" + Denied()},
        {"nested_key_denying_reading", [] { PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
                                            PutString(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", "V", "v");
                                            SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", kNoAccess); },
         "The key 'Inner' of data source 'Evil' could not be read:\n" + Denied()},
        {"deeper_than_the_registry_allows", [] { PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
                                                 PutChain(OdbcPath("Evil"), 520); },
         "The key '" + Repeat("L\\", 30) +
             "... (1015 characters)' of data source 'Evil' holds keys more than 508 levels below the data source; "
             "they are not listed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTestRegistry();
        PutSourceUnder(HKEY_LOCAL_MACHINE, "Fine");
        c.seed();
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK, IDOK};
        const std::string file = dir + "\\" + c.name + ".dsi";
        window->ExportScopeToFile(file.c_str(), TRUE);

        std::vector<std::string> shown;
        for (const PromptCall& call : prompts->Of("message")) shown.push_back(call.caption + ": " + call.text);
        const std::vector<std::string> expected =
            c.walkMessage.empty()
                ? std::vector<std::string>{"Export: Data source 'Fine\\0twin' has a zero byte in its name: no "
                                           "program can reach it by that name, and it is not exported."}
                : std::vector<std::string>{"FillSubTree: " + c.walkMessage,
                                           "Export: Data source 'Evil' could not be read whole (see the message "
                                           "before); it is not exported."};
        EXPECT_EQ(expected, shown);
        EXPECT_FALSE(window->Succeeded());
        zentrel::ProfileFile written;
        written.Parse(ReadWholeFile(file));
        EXPECT_EQ("1", written.GetString("General", "Items", ""));
        EXPECT_EQ("Fine", written.GetString("DSN0", "DSN", ""));
        // Compared with that file, it cannot be compared, and is no difference either way.
        prompts->calls.clear();
        prompts->messageAnswers.assign(2, IDOK);
        std::vector<zentrel::SourceComparison> comparisons;
        EXPECT_EQ(kCompareFailed, CompareScopeWithFile(*window, file.c_str(), TRUE, comparisons));
        EXPECT_EQ("", zentrel::FormatComparison(comparisons));
        EXPECT_EQ(1u, comparisons.size());
        EXPECT_EQ(1u, prompts->Of("message").size());
        SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", kFullAccess);
        SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("Evil"), kFullAccess);
    }
}

// Replacing or removing a source deletes the source, never what a link in
// it, or the source itself, points at.
TEST_F(HostileTreeTest, DeletionNeverFollowsALink) {
    for (const bool sourceIsLink : {false, true}) {
        SCOPED_TRACE(sourceIsLink ? "the source is a link" : "a link inside the source");
        ClearTestRegistry();
        PutSourceUnder(HKEY_LOCAL_MACHINE, "Fine");
        if (sourceIsLink) {
            PutLink(OdbcPath("Evil"), kMachineOdbc + "\\Fine");
        } else {
            PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
            PutLink(OdbcPath("Evil") + "\\Up", kMachineOdbc);
        }
        const std::string file = dir + "\\replace.dsi";
        WriteWholeFile(file, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=New\r\nDSN=Evil\r\nItems=1\r\n"
                             "Name0=A\r\nValue0=new\r\nFormat0=1\r\n");
        window->ResetOutcome();
        window->ImportDsiFile(FALSE, file.c_str(), TRUE);
        EXPECT_TRUE(prompts->calls.empty());
        EXPECT_TRUE(window->Succeeded());
        EXPECT_EQ(Sz("value of Fine"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Fine"), "Attr"));
        EXPECT_EQ(Sz("Drv"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Fine"));
        EXPECT_EQ(Sz("new"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Evil"), "A"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Up"));
    }
}

// A source no backup can hold whole is neither replaced nor half changed:
// it is named, with the key that could not be read, and the others are
// written.
TEST_F(HostileTreeTest, ImportLeavesAloneWhatNoBackupHoldsWhole) {
    ::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str());
    enum Hostile { Deny, ZeroName, DriverLineBreak };
    const struct {
        const char* name;
        Hostile hostile;  // what keeps Evil out of a backup
        std::string shown;
    } cases[] = {
        {"nested_key_denying_reading", Deny, "Key: 'Evil\\Inner'\n" + Denied()},
        {"key_with_a_zero_byte", ZeroName, "Key: 'Evil'\nIt holds a name a DSI file cannot carry exactly ('Inner\\0x')."},
        {"driver_with_a_line_break", DriverLineBreak,
         "Key: 'Evil'\nIts name or its driver's name holds a line break, which a DSI file cannot carry."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTestRegistry();
        PutSourceUnder(HKEY_LOCAL_MACHINE, "Fine");
        const std::string driver = c.hostile == DriverLineBreak ? "Drv\r\nItems=0" : "Drv";
        PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil", driver);
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", "V", "v");
        if (c.hostile == ZeroName) PutZeroNamedKey(OdbcPath("Evil"), std::wstring(L"Inner\0x", 7));
        const RegTree before = Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("Evil"));
        if (c.hostile == Deny) SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", kNoAccess);
        const std::string file = dir + "\\replace.dsi";
        WriteWholeFile(file, "[General]\r\nItems=2\r\n[DSN0]\r\nDriver=New\r\nDSN=Evil\r\nItems=1\r\n"
                             "Name0=A\r\nValue0=new\r\nFormat0=1\r\n[DSN1]\r\nDriver=New\r\nDSN=Fine\r\n"
                             "Items=1\r\nName0=A\r\nValue0=new\r\nFormat0=1\r\n");
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->ImportDsiFile(FALSE, file.c_str(), TRUE);
        SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", kFullAccess);
        EXPECT_EQ(std::vector<std::string>{"Backup: Data source 'Evil' cannot be backed up whole, so it is left as it "
                                           "is.\n" + c.shown},
                  Messages(*prompts));
        EXPECT_FALSE(window->Succeeded());
        EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("Evil")));
        EXPECT_EQ(Sz(driver), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Evil"));
        EXPECT_EQ(Sz("new"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("Fine"), "A"));
        for (const auto& entry : Snapshot(HKEY_LOCAL_MACHINE, OdbcPath())) EXPECT_NE('{', entry.first[0]) << entry.first;
    }
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
}

// A scope whose driver entries' key is spelled in lower case exports and
// imports back like any other.
TEST_F(HostileTreeTest, ReservedNamesInAnyCase) {
    PutString(HKEY_CURRENT_USER, OdbcPath("odbc data sources"), "S", "Drv");
    PutString(HKEY_CURRENT_USER, OdbcPath("S"), "A", "a");
    PutKey(HKEY_CURRENT_USER, OdbcPath("Odbc File Dsn"));
    const std::string file = dir + "\\case.dsi";
    window->ExportScopeToFile(file.c_str(), FALSE);
    window->ImportDsiFile(FALSE, file.c_str(), TRUE);
    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ(Sz("Drv"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "S"));
    EXPECT_EQ(Sz("a"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("S"), "A"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Odbc File Dsn")));
}

// A name or driver a profile line cannot hold leaves its source out; the
// count in General stays exact and the run fails.
TEST_F(HostileTreeTest, SourcesAFileCannotCarryAreLeftOut) {
    const struct {
        const char* name;
        std::string dsn, driver;
    } cases[] = {{"line_break_in_name", "Two\r\nLines", "Drv"}, {"line_break_in_driver", "Broken", "Drv\nInjected=1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTestRegistry();
        PutSourceUnder(HKEY_CURRENT_USER, "Before");
        PutSourceUnder(HKEY_CURRENT_USER, c.dsn, c.driver);
        PutSourceUnder(HKEY_CURRENT_USER, "zAfter");
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        const std::string file = dir + "\\" + c.name + ".dsi";
        window->ExportScopeToFile(file.c_str(), FALSE);
        ASSERT_EQ(1u, prompts->calls.size());
        EXPECT_EQ("Data source '" + c.dsn + "' has a line break in its name or its driver's name, which a DSI file "
                  "cannot carry; it is not exported.", prompts->calls[0].text);
        EXPECT_FALSE(window->Succeeded());
        zentrel::ProfileFile written;
        written.Parse(ReadWholeFile(file));
        EXPECT_EQ("2", written.GetString("General", "Items", ""));
        std::set<std::string> names{written.GetString("DSN0", "DSN", ""), written.GetString("DSN1", "DSN", "")};
        EXPECT_EQ((std::set<std::string>{"Before", "zAfter"}), names);
        EXPECT_EQ("", written.GetString("DSN2", "DSN", ""));
        EXPECT_EQ("", written.GetString("DSN0", "Injected", ""));
    }
}

// A file never makes a key look like a registry link, and a value of that
// name that is not a link's target travels like any other.
TEST_F(HostileTreeTest, FilesNeverPlantALink) {
    const std::string refused = "a value named SymbolicLinkValue of type REG_LINK is what a registry link keeps its "
                                "target in; a file never makes one; the row is not written.";
    const struct {
        const char* name;
        std::string rows;
        std::string refusedRow;  // empty: every row is written
        bool plantedBefore;      // the source already holds such a value, as older versions left it
    } cases[] = {
        {"nested_link_value", "Items=3\r\nName0=Sub\r\nValue0=<SUBKEY>\r\nFormat0=-1\r\n"
                              "Name1=Sub\\SymbolicLinkValue\r\nValue1=\r\nFormat1=6\r\nData1=5C0052\r\n"
                              "Name2=A\r\nValue2=a\r\nFormat2=1\r\n",
         "Name1 'Sub\\SymbolicLinkValue'", false},
        {"own_link_value_any_case", "Items=2\r\nName0=symboliclinkvalue\r\nValue0=x\r\nFormat0=6\r\n"
                                    "Name1=A\r\nValue1=a\r\nFormat1=1\r\n",
         "Name0 'symboliclinkvalue'", false},
        {"ordinary_text_of_that_name", "Items=3\r\nName0=Sub\\V\r\nValue0=v\r\nFormat0=1\r\n"
                                       "Name1=SymbolicLinkValue\r\nValue1=\\Registry\\Machine\r\nFormat1=1\r\n"
                                       "Name2=A\r\nValue2=a\r\nFormat2=1\r\n",
         "", false},
        {"replaces_a_planted_value", "Items=1\r\nName0=A\r\nValue0=a\r\nFormat0=1\r\n", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTestRegistry();
        if (c.plantedBefore) {
            PutKey(HKEY_LOCAL_MACHINE, OdbcPath("S") + "\\Sub");
            PutString(HKEY_LOCAL_MACHINE, OdbcPath("S"), "SymbolicLinkValue", "\\Registry\\Machine", REG_LINK);
        }
        const std::string file = dir + "\\" + c.name + ".dsi";
        WriteWholeFile(file, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Drv\r\nDSN=S\r\n" + c.rows);
        // Twice: the first import must leave a source the second can replace.
        for (int round = 0; round < 2; ++round) {
            window->ResetOutcome();
            prompts->calls.clear();
            prompts->messageAnswers = {IDOK};
            window->ImportDsiFile(FALSE, file.c_str(), TRUE);
            const std::vector<std::string> expected =
                c.refusedRow.empty() ? std::vector<std::string>{}
                                     : std::vector<std::string>{"RegSetValueEx Error: Data source 'S', " + c.refusedRow +
                                                                " in section DSN0 of file '" + file + "': " + refused};
            EXPECT_EQ(expected, Messages(*prompts));
            EXPECT_EQ(c.refusedRow.empty(), (bool)window->Succeeded());
            EXPECT_EQ(Sz("a"), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath("S"), "A"));
            DWORD type = 0;
            std::vector<unsigned char> data;
            for (const std::string& key : {OdbcPath("S"), OdbcPath("S") + "\\Sub"})
                EXPECT_FALSE(GetValue(HKEY_LOCAL_MACHINE, key, "SymbolicLinkValue", &type, &data) && type == REG_LINK);
        }
        // What was imported exports whole and comes back the same.
        prompts->calls.clear();
        window->ResetOutcome();
        const std::string again = dir + "\\again.dsi";
        window->ExportScopeToFile(again.c_str(), TRUE);
        EXPECT_TRUE(prompts->calls.empty());
        window->ImportDsiFile(FALSE, again.c_str(), FALSE);
        EXPECT_TRUE(window->Succeeded());
        EXPECT_EQ(Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath), Snapshot(HKEY_CURRENT_USER, kOdbcIniPath));
    }
}

// A source that exists but cannot be read is never taken for absent: it is
// reported and left as it was, and the other sources are imported.
TEST_F(HostileTreeTest, SourcesThatCannotBeReadAreNotReplaced) {
    for (const char* access : {kNoAccess, kSetValueOnly}) {
        SCOPED_TRACE(access);
        ClearTestRegistry();
        PutSourceUnder(HKEY_CURRENT_USER, "Locked", "Old Driver");
        SetAccess(HKEY_CURRENT_USER, OdbcPath("Locked"), access);
        const std::string file = dir + "\\locked.dsi";
        WriteWholeFile(file, "[General]\r\nItems=2\r\n[DSN0]\r\nDriver=New\r\nDSN=Locked\r\nItems=1\r\n"
                             "Name0=New\r\nValue0=n\r\nFormat0=1\r\n"
                             "[DSN1]\r\nDriver=New\r\nDSN=After\r\nItems=1\r\nName0=A\r\nValue0=a\r\nFormat0=1\r\n");
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        EXPECT_EQ(std::vector<std::string>{"RegOpenKey Error: Data source 'Locked' exists but cannot be read, so it "
                                           "cannot be replaced whole; it is not imported.\n" + Denied()},
                  Messages(*prompts));
        EXPECT_FALSE(window->Succeeded());
        SetAccess(HKEY_CURRENT_USER, OdbcPath("Locked"), kFullAccess);
        EXPECT_EQ(Sz("value of Locked"), ValueOf(HKEY_CURRENT_USER, OdbcPath("Locked"), "Attr"));
        EXPECT_EQ(-2, ValueOf(HKEY_CURRENT_USER, OdbcPath("Locked"), "New").type);
        EXPECT_EQ(Sz("Old Driver"), ValueOf(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Locked"));
        EXPECT_EQ(Sz("a"), ValueOf(HKEY_CURRENT_USER, OdbcPath("After"), "A"));
    }
}

// The ODBC section and its driver entries' key are never followed as links:
// nothing is read or written through them, and the run fails.
TEST_F(HostileTreeTest, LinkedSectionKeysAreNotFollowed) {
    const std::string canary = "Software\\ZentrelCanary";
    const struct {
        const char* name;
        std::string link;  // below HKEY_CURRENT_USER
        std::string importMessage, exportMessage;
    } cases[] = {
        {"driver_entries", OdbcPath("ODBC Data Sources"),
         "RegOpenKey Error: The key 'ODBC Data Sources' is a registry link; nothing is read or written through it.",
         "Export: Data source 'S': its driver entry cannot be read (The key 'ODBC Data Sources' is a registry link; "
         "nothing is read or written through it.); it is not exported."},
        {"odbc_section", kOdbcIniPath,
         "RegOpenKey: The key 'Software\\ODBC\\ODBC.INI' is a registry link; nothing is read or written through it.",
         "RegOpenKey: The key 'Software\\ODBC\\ODBC.INI' is a registry link; nothing is read or written through it."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearTestRegistry();
        PutKey(HKEY_LOCAL_MACHINE, canary);
        if (c.link == kOdbcIniPath) DeleteKeyTree(HKEY_CURRENT_USER, kOdbcIniPath, 1, KEY_WOW64_64KEY);
        PutLink(c.link, "\\Registry\\Machine\\" + canary, HKEY_CURRENT_USER);
        if (c.link != kOdbcIniPath) PutString(HKEY_CURRENT_USER, OdbcPath("S"), "A", "a");
        const std::string file = dir + "\\linked.dsi";
        WriteWholeFile(file, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Drv\r\nDSN=T\r\nItems=1\r\n"
                             "Name0=A\r\nValue0=a\r\nFormat0=1\r\n");
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        EXPECT_EQ(std::vector<std::string>{c.importMessage}, Messages(*prompts));
        EXPECT_FALSE(window->Succeeded());
        EXPECT_TRUE(Snapshot(HKEY_LOCAL_MACHINE, canary).empty());
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("T")));

        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK, IDOK};
        const std::string exported = dir + "\\linked-out.dsi";
        ::DeleteFileA(exported.c_str());
        window->ExportScopeToFile(exported.c_str(), FALSE);
        const std::vector<std::string> shown = Messages(*prompts);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(c.exportMessage, shown.back());
        EXPECT_FALSE(window->Succeeded());
        EXPECT_EQ(std::string::npos, ReadWholeFile(exported).find("DSN=S"));
        EXPECT_TRUE(Snapshot(HKEY_LOCAL_MACHINE, canary).empty());
        DeleteKeyTree(HKEY_LOCAL_MACHINE, canary, 8, KEY_WOW64_64KEY);
    }
}

// Names and texts reach a console or a log with every control character
// shown escaped: a script splits the listing into one line per source and
// a terminal obeys nothing in it.
TEST_F(HostileTreeTest, ControlCharactersAreShownEscaped) {
    const struct {
        const char* name;
        std::string dsn, driver;
        std::string listed;  // the line's first two columns
    } sources[] = {
        {"vertical_tab", "Decoy\vVictim", "Drv", "Decoy\\x0bVictim\tDrv"},
        {"escape_sequence", "Esc\x1b[2J", "Drv\x1b]0;title\x07", "Esc\\x1b[2J\tDrv\\x1b]0;title\\x07"},
        {"tab_in_name_and_driver", "Tab\tName", "Tab\tDriver", "Tab\\x09Name\tTab\\x09Driver"},
        {"form_feed_separators", "F\f\x1c\x1d\x1e\x7f", "Drv", "F\\x0c\\x1c\\x1d\\x1e\\x7f\tDrv"},
    };
    for (const auto& c : sources) PutSourceUnder(HKEY_CURRENT_USER, c.dsn, c.driver);
    const BatchRun list = RunBatchLine(*window, "-lu", dir);
    EXPECT_EQ(0, list.code);
    std::set<std::string> lines;
    for (size_t start = 0, end; (end = list.out.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.insert(list.out.substr(start, end - start));
    std::set<std::string> expected;
    for (const auto& c : sources) expected.insert(c.listed + "\tUser\t32/64-bit, driver missing");
    EXPECT_EQ(expected, lines);

    // A quiet run's messages: the name from the file is refused, and shown.
    const std::string file = dir + "\\escape.dsi";
    WriteWholeFile(file, "[General]\r\nItems=1\r\n[DSN0]\r\nDSN=A\x1b[1A\x1b[2K\\B\r\n");
    const BatchRun quiet = RunBatchLine(*window, "-q -iu" + file, dir);
    Renew();
    EXPECT_EQ(1, quiet.code);
    EXPECT_EQ("Error: Data source 'A\\x1b[1A\\x1b[2K\\B' (section DSN0 of file '" + file +
                  "') is not imported: the name 'A\\x1b[1A\\x1b[2K\\B' contains a backslash.\r\n",
              quiet.err);
}

// What the list cannot show is reported as export reports it, and fails the
// run: no source goes missing silently.
TEST_F(HostileTreeTest, SourcesThatCannotBeShownAreReported) {
    PutSourceUnder(HKEY_CURRENT_USER, "Fine");
    PutZeroNamedKey(OdbcPath(""), std::wstring(L"Fine\0twin", 9), HKEY_CURRENT_USER);
    const struct {
        std::string line;
        std::string message;
    } cases[] = {
        {"-lu", "List: Data source 'Fine\\0twin' has a zero byte in its name: no program can reach it by that name, "
                "and it is not listed."},
        {"-eu" + dir + "\\zero.dsi", "Export: Data source 'Fine\\0twin' has a zero byte in its name: no program can "
                                     "reach it by that name, and it is not exported."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        const BatchRun run = RunBatchLine(*window, c.line, dir);
        EXPECT_EQ(1, run.code);
        EXPECT_EQ(std::vector<std::string>{c.message}, Messages(*prompts));
        if (c.line == "-lu") {
            EXPECT_EQ("Fine\tDrv\tUser\t32/64-bit, driver missing\r\n", run.out);
        }
    }
}

// The listing itself asks and tells nothing: it hands back what it could
// read of the view it was given, and each problem with the key it was met in.
TEST_F(HostileTreeTest, ListingReturnsItsProblemsWhereMet) {
    PutSourceUnder(HKEY_LOCAL_MACHINE, "Evil");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Evil") + "\\Inner", "V", "v");
    PutLink(OdbcPath("Evil") + "\\Inner\\Loop", kMachineOdbc + "\\Evil");
    PutZeroNamedKey(OdbcPath("Evil"), std::wstring(L"A\0x", 3));
    PutString(HKEY_LOCAL_MACHINE, OdbcPath32("Evil"), "Attr32", "x");
    AttributeListing listing, other;
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY odbc = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, OdbcPath().c_str(), 0, KEY_READ | view, &odbc));
        (view == KEY_WOW64_64KEY ? listing : other) = ListAttributes(odbc, "Evil", view);
        ::RegCloseKey(odbc);
    }

    std::vector<std::string> rows, problems;
    for (const AttributeRow& row : listing.rows) rows.push_back(row.name);
    for (const ListingProblem& problem : listing.problems)
        problems.push_back(std::to_string((int)problem.kind) + " at '" + problem.prefix + "': " + problem.name);
    EXPECT_EQ((std::vector<std::string>{"Inner", "Inner\\Loop", "Inner\\V", "Attr"}), rows);
    EXPECT_EQ((std::vector<std::string>{std::to_string((int)ListingProblem::Kind::ZeroName) + " at '': " +
                                            std::string("A\0x", 3),
                                        std::to_string((int)ListingProblem::Kind::Link) + " at 'Inner\\Loop': "}),
              problems);
    EXPECT_TRUE(listing.incomplete);
    ASSERT_EQ(1u, other.rows.size());
    EXPECT_EQ("Attr32", other.rows[0].name);
    EXPECT_FALSE(other.incomplete);
    EXPECT_TRUE(prompts->calls.empty());
}

// The import's row writer hands back the first row it cannot write and
// writes nothing after it.
TEST_F(HostileTreeTest, RowWriterStopsAtTheFirstFailure) {
    PutString(HKEY_CURRENT_USER, OdbcPath("S"), "Old", "o");
    zentrel::ProfileFile file;
    file.Parse("[DSN0]\r\nItems=2\r\nName0=V\r\nValue0=v\r\nFormat0=1\r\nName1=Inner\\W\r\nValue1=w\r\n"
               "Format1=1\r\n");
    const zentrel::DsiSourceRows rows = zentrel::ReadDsiSourceRows(file, "DSN0", 100);
    ASSERT_EQ(2u, rows.rows.size());
    HKEY source = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, OdbcPath("S").c_str(), 0, KEY_READ, &source));
    const RowWriteFailure failure = WriteDsiRows(source, 0, rows, "S");
    ::RegCloseKey(source);
    EXPECT_EQ(ERROR_ACCESS_DENIED, failure.code);
    EXPECT_EQ("", failure.key);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("S") + "\\Inner"));
}

// Every key a listing opens is closed: released handles are reused by the
// next open, leaked ones never are.
TEST_F(HostileTreeTest, ListingClosesEveryKey) {
    PutString(HKEY_CURRENT_USER, OdbcPath("S") + "\\A\\B", "V", "v");
    PutString(HKEY_CURRENT_USER, OdbcPath("S") + "\\C", "V", "v");
    ASSERT_EQ(0, window->ConnectOdbcIni(FALSE));
    std::set<HKEY> seen;
    for (int i = 0; i < 40; ++i) {
        window->FillSubTree(window->m_hOdbcIniKey, "S");
        ASSERT_EQ(5, window->m_nAttributeRows);
        HKEY probe = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyA(window->m_hOdbcIniKey, "S", &probe));
        seen.insert(probe);
        ::RegCloseKey(probe);
    }
    EXPECT_LE(seen.size(), 2u);
    EXPECT_TRUE(prompts->calls.empty());
}

}  // namespace
