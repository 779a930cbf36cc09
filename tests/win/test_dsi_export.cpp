// Export to DSI files, and the round trip of a whole scope through a real file.
#include "DsiTestUtil.h"
#include "registry/WriteFault.h"
#include "WindowHelpers.h"

#include "core/ProfileFile.h"

#include <set>

namespace {

const std::string kSeventy = "Seventy characters long " + std::string(70 - 24, 'n');

std::string Chars(size_t n, char first = 'a') {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = (char)(first + i % 26);
    return s;
}

// A scope holding every kind of attribute the format has to carry.
void PutEveryCase(HKEY root) {
    const std::string every = OdbcPath("Every");
    PutString(root, OdbcPath("ODBC Data Sources"), "Every", "Every Driver");
    PutString(root, every, "", "source default");
    PutString(root, every + "\\Engines", "", "engines default");
    PutString(root, every + "\\Engines\\Jet", "Mode", "shared");
    PutDword(root, every + "\\Engines\\Jet\\Pool", "Size", 12);
    PutString(root, every + "\\Engines\\Jet\\Pool", "", "pool default");
    PutKey(root, every + "\\Engines\\EmptyInner");
    PutKey(root, every + "\\Empty");
    PutDword(root, every, "Dword0", 0);
    PutDword(root, every, "Dword10", 10);
    PutDword(root, every, "DwordMinus1", 0xFFFFFFFFu);
    PutDword(root, every, "DwordTopBit", 0x80000000u);
    PutBinary(root, every, "Bin0", {});
    PutBinary(root, every, "Bin3", {0x0A, 0x01, 0xFF});
    PutBinary(root, every, "Bin40", Pattern(40));
    PutBinary(root, every, "Bin300", Pattern(300));
    PutBinary(root, every, "Bin1000", Pattern(1000));
    PutString(root, every, "Expand", "%SystemRoot%\\system32", REG_EXPAND_SZ);
    {
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(root, every.c_str(), &key));
        const char multi[] = "first\0second\0";
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, (const BYTE*)multi, sizeof(multi)));
        ::RegCloseKey(key);
    }
    for (size_t n : {0, 127, 128, 300, 5000}) PutString(root, every, ("Text" + std::to_string(n)).c_str(), Chars(n));
    PutString(root, every, "DoubleQuoted", "\"quoted\"");
    PutString(root, every, "SingleQuoted", "'single'");
    PutString(root, every, "Blanks", "  blanks at both ends  ");
    PutString(root, every, "QuoteAndBlank", "\" open quote, trailing blank ");
    PutString(root, every, "Semicolon", "; not a comment = really");
    PutString(root, every, "\\Leading", "value name with a leading backslash");
    PutString(root, every, "Two lines", "two\r\nlines");
    // Every registry type, whole: what text alone cannot carry comes back too.
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } raw[] = {
        {"MultiThree", REG_MULTI_SZ, std::string("one\0two\0three\0\0", 15)},
        {"Qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        // Bytes that are no text: the file is still written, and they come back.
        {"QwordHighBytes", REG_QWORD, "\x88\x77\x66\x55\x44\x33\x22\x11"},
        {"NoneHighBytes", REG_NONE, std::string("\xff\xfe\x80\0", 4)},
        {"Type99HighBytes", 99, std::string("A\xc3\x28\xed\xa0\x80\0\x01", 8)},
        {"QwordZeroFirst", REG_QWORD, std::string("\0\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"None", REG_NONE, std::string("\x01\x02\0\x03", 4)},
        {"NoneEmpty", REG_NONE, ""},
        {"BigEndian", REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78"},
        {"ZeroInside", REG_SZ, std::string("ab\0cd\0", 6)},
        {"Unterminated", REG_SZ, "abc"},
        {"ExpandUnterminated", REG_EXPAND_SZ, "%TEMP%"},
        {"DwordTwo", REG_DWORD, "\x34\x12"},
        {"DwordEight", REG_DWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {"Unnamed99", 99, std::string("\x01\0\x0D\x0A\xFF", 5)},
        {"TopBitType", 0x80000001u, "x"},
        {"TypeMinusOne", 0xFFFFFFFFu, "<SUBKEY>"},
    };
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(root, every.c_str(), &key));
    for (const auto& r : raw)
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, r.name, 0, r.type, (const BYTE*)r.bytes.data(), (DWORD)r.bytes.size()));
    ::RegCloseKey(key);

    PutString(root, OdbcPath("ODBC Data Sources"), "Two Hundred", "Other Driver");
    for (int i = 0; i < 200; ++i)
        PutString(root, OdbcPath("Two Hundred"), ("Attribute" + std::to_string(i)).c_str(), "value " + std::to_string(i));

    PutString(root, OdbcPath("ODBC Data Sources"), kSeventy.c_str(), "Long Name Driver");
    PutString(root, OdbcPath(kSeventy), "Database", "x");

    PutString(root, OdbcPath("ODBC Data Sources"), "Bare", "");
    PutKey(root, OdbcPath("Bare"));
}

class ExportTest : public WindowTest {
protected:
    ExportTest() : WindowTest(Mode::Batch) {}
    std::string dir = ScratchDir("dsi-export");
};

TEST_F(ExportTest, WholeScopeRoundTripsValueByValue) {
    PutEveryCase(HKEY_LOCAL_MACHINE);
    const std::string file = dir + "\\every.dsi";
    window->ExportScopeToFile(file.c_str(), TRUE);
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    EXPECT_TRUE(prompts->calls.empty()) << prompts->calls[0].caption << ": " << prompts->calls[0].text;
    EXPECT_TRUE(window->Succeeded());

    const RegTree expected = Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath);
    const RegTree imported = Snapshot(HKEY_CURRENT_USER, kOdbcIniPath);
    ASSERT_GT(expected.size(), 240u);
    for (const auto& entry : expected) {
        const auto found = imported.find(entry.first);
        if (found == imported.end()) {
            ADD_FAILURE() << "missing after import: " << entry.first;
            continue;
        }
        EXPECT_EQ(entry.second, found->second) << entry.first;
    }
    for (const auto& entry : imported)
        EXPECT_TRUE(expected.count(entry.first)) << "not in the source: " << entry.first;

    // Exported again from the imported scope, the file is the same but for
    // the System scope's view, which a User source does not have.
    const std::string again = dir + "\\again.dsi";
    window->ExportScopeToFile(again.c_str(), FALSE);
    std::string first = ReadWholeFile(file);
    for (size_t at; (at = first.find("Platform=64-bit\r\n")) != std::string::npos;) first.erase(at, 17);
    EXPECT_EQ(first, ReadWholeFile(again));
}

TEST_F(ExportTest, WritesTheExampleFileKeyForKey) {
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Sales", "Example Driver");
    PutDword(HKEY_LOCAL_MACHINE, OdbcPath("Sales") + "\\Engines", "Threads", 4);
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Sales"), "Description", "Monthly sales");
    PutBinary(HKEY_LOCAL_MACHINE, OdbcPath("Sales"), "Flags", {0x0A, 0x01, 0xFF});
    PutDword(HKEY_LOCAL_MACHINE, OdbcPath("Sales"), "Timeout", 0xFFFFFFFFu);
    const std::string file = dir + "\\sales.dsi";
    window->ExportScopeToFile(file.c_str(), TRUE);
    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_EQ("[General]\r\nItems=1\r\n"
              "[DSN0]\r\nDriver=Example Driver\r\nDSN=Sales\r\nPlatform=64-bit\r\nItems=5\r\n"
              "Name0=Engines\r\nValue0=<SUBKEY>\r\nFormat0=-1\r\n"
              "Name1=Engines\\Threads\r\nValue1=4\r\nFormat1=4\r\n"
              "Name2=Description\r\nValue2=Monthly sales\r\nFormat2=1\r\n"
              "Name3=Flags\r\nValue3=0A01FF\r\nFormat3=3\r\n"
              "Name4=Timeout\r\nValue4=-1\r\nFormat4=4\r\n",
              ReadWholeFile(file));
}

// Other content of the file stays; no source section from earlier content
// is left for an import to read in place of, or besides, what was written.
TEST_F(ExportTest, KeepsOtherContentButNoStaleSource) {
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Only", "D");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Only"), "A", "1");
    const std::string file = dir + "\\existing.dsi";
    WriteWholeFile(file, "; notes of the user\n[Mine]\nkeep = yes\n[General]\nItems=3\nAuthor=me\n"
                         "[DSN0]\nDSN=Old\nName7=stale\n[ dsn#0 ]\nDSN=Stale\nItems=0\n[DSN2]\nDSN=Gone\n"
                         "[DSN02]\nDSN=NotASource\n");
    window->ExportScopeToFile(file.c_str(), TRUE);
    zentrel::ProfileFile result;
    result.Parse(ReadWholeFile(file));
    struct Case { const char* section; const char* key; const char* value; };
    for (const Case& c : {Case{"Mine", "keep", "yes"}, Case{"General", "Items", "1"}, Case{"General", "Author", "me"},
                          Case{"DSN0", "DSN", "Only"}, Case{"DSN0", "Name7", "<none>"}, Case{"DSN0", "Value0", "1"},
                          Case{"DSN#0", "DSN", "<none>"}, Case{"DSN2", "DSN", "<none>"},
                          Case{"DSN02", "DSN", "NotASource"}})
        EXPECT_EQ(c.value, result.GetString(c.section, c.key, "<none>")) << c.section << "/" << c.key;
    EXPECT_EQ(0u, ReadWholeFile(file).find("; notes of the user\r\n"));

    // What an import of that file brings back is what was exported.
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_EQ(Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath), Snapshot(HKEY_CURRENT_USER, kOdbcIniPath));
}

// A file that cannot be written is reported, the old file stays as it was,
// and no temporary file is left behind.
TEST_F(ExportTest, FileThatCannotBeWrittenIsReported) {
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Only"), "A", "1");
    const std::string existing = dir + "\\old.dsi";
    ::CreateDirectoryA((dir + "\\adir").c_str(), NULL);
    struct Case { std::string path; DWORD code; };
    const std::vector<Case> cases = {
        {dir + "\\no such dir\\x.dsi", ERROR_DIRECTORY},
        {dir + "\\adir", ERROR_ACCESS_DENIED},
        {dir + "\\" + std::string(300 - dir.size(), 'p') + ".dsi", ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Case& c : cases) {
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->ExportScopeToFile(c.path.c_str(), TRUE);
        ASSERT_EQ(1u, prompts->calls.size()) << c.path;
        EXPECT_EQ("Export", prompts->calls[0].caption);
        EXPECT_EQ("File: '" + c.path + "'\n" + MainWindow::SystemErrorText((LONG)c.code), prompts->calls[0].text);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), prompts->calls[0].type);
        EXPECT_FALSE(window->Succeeded()) << c.path;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((dir + "\\*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
    (void)existing;
}

// Texts no profile line can hold are left out and reported; the row count
// covers exactly the rows written.
// A value name the format would read as another value in another key is
// reported and left out, never transformed; the count stays exact.
TEST_F(ExportTest, NamesAFileCannotCarryAreReported) {
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "Src", "Drv");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Src"), "A", "first");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Src"), "back\\slash", "x");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Src") + "\\Engines", "\\Lead", "x");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Src"), "two\nlines", "x");
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Src"), "\\Leading", "carried: read whole at the top");
    const std::string file = dir + "\\names.dsi";
    prompts->messageAnswers = {IDOK, IDOK, IDOK};
    window->ExportScopeToFile(file.c_str(), TRUE);
    std::set<std::string> reported;
    for (const PromptCall& call : prompts->calls) {
        EXPECT_EQ("Export", call.caption);
        const std::string tail = "' has a line break or a zero byte in its name, or a backslash in its own name, "
                                 "which a DSI file cannot carry; it is not exported.";
        ASSERT_EQ(0u, call.text.find("Data source 'Src': the value '")) << call.text;
        reported.insert(call.text.substr(30, call.text.size() - 30 - tail.size()));
    }
    EXPECT_EQ((std::set<std::string>{"back\\slash", "Engines\\\\Lead", "two\nlines"}), reported);
    EXPECT_FALSE(window->Succeeded());

    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    RegTree expected = Snapshot(HKEY_LOCAL_MACHINE, kOdbcIniPath);
    for (const char* gone : {"Src\\|back\\slash", "Src\\Engines\\|\\Lead", "Src\\|two\nlines"}) expected.erase(gone);
    EXPECT_EQ(expected, Snapshot(HKEY_CURRENT_USER, kOdbcIniPath));
}

// Sources read several at once, in batches, make the file and the messages
// that reading them on one thread makes (a write seam armed, only counting,
// keeps the calls on one thread), each source whole with its own driver.
TEST_F(ExportTest, SeveralAtOnceReadWhatOneThreadReads) {
    for (int i = 0; i < 150; ++i) {
        const std::string name = "S" + std::to_string(i);
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), name.c_str(), ("D" + std::to_string(i)).c_str());
        PutString(HKEY_LOCAL_MACHINE, OdbcPath(name), "A", std::to_string(i).c_str());
        if (i % 50 == 7) PutString(HKEY_LOCAL_MACHINE, OdbcPath(name), "bad\nvalue", "x");
    }
    std::vector<std::string> files, told;
    for (const bool oneByOne : {true, false}) {
        prompts->calls.clear();
        prompts->messageAnswers.assign(3, IDOK);
        const std::string file = dir + (oneByOne ? "\\one.dsi" : "\\batches.dsi");
        if (oneByOne) ArmRegistryWriteFault(0, false);
        window->ExportScopeToFile(file.c_str(), TRUE);
        DisarmRegistryWriteFault();
        files.push_back(ReadWholeFile(file));
        std::string texts;
        for (const PromptCall& call : prompts->calls) texts += call.text + "\n";
        told.push_back(texts);
    }
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(told[0], told[1]);
    EXPECT_EQ(3u, prompts->calls.size());
    zentrel::ProfileFile written;
    written.Parse(files[1]);
    EXPECT_EQ("150", written.GetString("General", "Items", ""));
    for (int k = 0; k < 150; ++k) {
        const std::string section = "DSN" + std::to_string(k), name = written.GetString(section, "DSN", "");
        ASSERT_EQ('S', name[0]) << section;
        EXPECT_EQ("D" + name.substr(1), written.GetString(section, "Driver", "")) << name;
        EXPECT_EQ(name.substr(1), written.GetString(section, "Value0", "")) << name;
    }
}

// Past the first ten, the values left out are told as one sum.
TEST_F(ExportTest, ManyValuesLeftOutAreSummedUp) {
    for (const int bad : {10, 13}) {
        SCOPED_TRACE(bad);
        ClearTestRegistry();
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("Many"), "Good", "g");
        for (int j = 0; j < bad; ++j)
            PutString(HKEY_LOCAL_MACHINE, OdbcPath("Many"), ("bad\n" + std::to_string(j)).c_str(), "x");
        prompts->calls.clear();
        prompts->messageAnswers.assign(bad > 10 ? 11 : 10, IDOK);
        const std::string file = dir + "\\many.dsi";
        window->ExportScopeToFile(file.c_str(), TRUE);
        const std::vector<PromptCall> shown = prompts->Of("message");
        ASSERT_EQ(bad > 10 ? 11u : 10u, shown.size());
        for (size_t i = 0; i < 10; ++i) EXPECT_EQ(0u, shown[i].text.find("Data source 'Many': the value 'bad\n"));
        EXPECT_EQ(bad > 10,
                  shown.back().text == "Data source 'Many': 3 more values cannot be carried either; they are not exported.");
        zentrel::ProfileFile written;
        written.Parse(ReadWholeFile(file));
        EXPECT_EQ("1", written.GetString("DSN0", "Items", ""));
        EXPECT_EQ("Good", written.GetString("DSN0", "Name0", ""));
    }
}

// ---- Interactive export -----------------------------------------------------

class ExportWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dir = ScratchDir("dsi-export-window");
        for (const char* name : {"Alpha", "Beta", "Gamma"}) {
            PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), name, std::string(name) + " Driver");
            PutString(HKEY_LOCAL_MACHINE, OdbcPath(name), "Owner", name);
        }
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("Alpha"), "Extra", "only alpha");
    }
    void MakeCurrent(int row) {
        // The list's own notification path, as a click would take it.
        window->m_lstDataSources.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    std::unique_ptr<zentrel::ProfileFile> Load(const std::string& path) {
        std::unique_ptr<zentrel::ProfileFile> f(new zentrel::ProfileFile);
        f->Parse(ReadWholeFile(path));
        return f;
    }
    std::string dir;
};

TEST_F(ExportWindowTest, CommandsAskForTheFileAsDescribed) {
    Open(0);
    MakeCurrent(0);
    ASSERT_STREQ("Alpha", window->m_szCurrentDsn);
    struct Case {
        UINT command;
        std::vector<int> unticked;
        const char* proposed;
        const char* items;
    };
    const std::vector<Case> cases = {
        {ID_EXPORT, {}, "Alpha", "1"},
        {ID_EXPORT_ALL, {}, "", "3"},
        {ID_EXPORT_SELECTED, {1}, "", "2"},
        // One ticked source proposes its own name, not the current one.
        {ID_EXPORT_SELECTED, {0, 2}, "Beta", "1"},
    };
    int n = 0;
    for (const Case& c : cases) {
        window->m_lstDataSources.SetCheck(-1, TRUE);
        for (int row : c.unticked) window->m_lstDataSources.SetCheck(row, FALSE);
        prompts->calls.clear();
        const std::string file = dir + "\\case" + std::to_string(n++) + ".dsi";
        prompts->fileAnswers = {file};
        ::SendMessageA(window->m_hWnd, WM_COMMAND, c.command, 0);
        const std::vector<PromptCall> saves = prompts->Of("save");
        ASSERT_EQ(1u, saves.size()) << c.command;
        EXPECT_EQ("Export to", saves[0].caption);
        EXPECT_EQ(c.proposed, saves[0].text) << c.command;
        EXPECT_EQ("dsi", saves[0].defaultExtension);
        EXPECT_EQ("Data Source Information file (*.dsi)|*.dsi|All Files(*.*)|*.*||", saves[0].filter);
        EXPECT_EQ(DWORD(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY), saves[0].type);
        EXPECT_EQ(window->m_hWnd, saves[0].owner);
        EXPECT_EQ(c.items, Load(file)->GetString("General", "Items", "<none>")) << c.command;
        EXPECT_STREQ(file.c_str(), window->m_szDsiFile);
    }
    // Export Selected writes the ticked rows in list order.
    const auto two = Load(dir + "\\case2.dsi");
    EXPECT_EQ("Alpha", two->GetString("DSN0", "DSN", ""));
    EXPECT_EQ("Gamma", two->GetString("DSN1", "DSN", ""));
    EXPECT_EQ("Gamma Driver", two->GetString("DSN1", "Driver", ""));
    EXPECT_EQ("<none>", two->GetString("DSN2", "DSN", "<none>"));
}

TEST_F(ExportWindowTest, CancelWritesNothing) {
    Open(0);
    MakeCurrent(1);
    for (UINT command : {ID_EXPORT, ID_EXPORT_ALL, ID_EXPORT_SELECTED}) {
        prompts->fileAnswers = {""};
        ::SendMessageA(window->m_hWnd, WM_COMMAND, command, 0);
    }
    EXPECT_EQ(3u, prompts->Of("save").size());
    EXPECT_EQ(3u, prompts->calls.size());
    EXPECT_TRUE(::PathIsDirectoryEmptyA(dir.c_str()));
}

TEST_F(ExportWindowTest, ExportWithoutCurrentSourceIsRefused) {
    Open(0);
    prompts->messageAnswers = {IDOK};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_EXPORT, 0);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("message", prompts->calls[0].kind);
    EXPECT_EQ("No item is currently selected", prompts->calls[0].text);
    EXPECT_EQ("Export", prompts->calls[0].caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), prompts->calls[0].type);
}

// The current source survives a scope switch; a same-named source the user
// never saw in the new scope is not exported in its place.
TEST_F(ExportWindowTest, ExportActsOnlyOnASourceOfTheListAsItStands) {
    Open(0);
    MakeCurrent(0);
    ASSERT_STREQ("Alpha", window->m_szCurrentDsn);
    SelectTab(*window, 1);  // the user scope lists nothing
    PutString(HKEY_CURRENT_USER, OdbcPath("Alpha"), "Owner", "someone else");
    prompts->messageAnswers = {IDOK};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_EXPORT, 0);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("No item is currently selected", prompts->calls[0].text);
    EXPECT_EQ("Export", prompts->calls[0].caption);

    // Listed again after a refresh, it is exported as shown.
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_REFRESH, 0);
    MakeCurrent(0);
    prompts->fileAnswers = {dir + "\\user-alpha.dsi"};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_EXPORT, 0);
    EXPECT_EQ("someone else", Load(dir + "\\user-alpha.dsi")->GetString("DSN0", "Value0", ""));
}

// After Export All has listed every source, the current source's own rows
// are written under its name.
TEST_F(ExportWindowTest, ExportAfterExportAllWritesTheCurrentSource) {
    Open(0);
    MakeCurrent(0);
    prompts->fileAnswers = {dir + "\\all.dsi", dir + "\\current.dsi"};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_EXPORT_ALL, 0);
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_EXPORT, 0);
    const auto f = Load(dir + "\\current.dsi");
    EXPECT_EQ("Alpha", f->GetString("DSN0", "DSN", ""));
    EXPECT_EQ("Alpha Driver", f->GetString("DSN0", "Driver", ""));
    EXPECT_EQ("2", f->GetString("DSN0", "Items", ""));
    EXPECT_EQ("only alpha", f->GetString("DSN0", "Value0", ""));
    EXPECT_EQ("Alpha", f->GetString("DSN0", "Value1", ""));
}

}  // namespace
