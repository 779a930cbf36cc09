// Registry trees and files that must never turn the program against the
// user's data: links, nesting deeper than the registry allows, reserved
// names in another case, stale sections, names a file cannot carry.
#include "DsiTestUtil.h"

#include <set>

#include <winternl.h>

#include "core/ProfileFile.h"

namespace {

const std::string kMachineOdbc = "\\Registry\\Machine\\Software\\ODBC\\ODBC.INI";

// A System key that is a registry link to `target` (a native path).
void PutLink(const std::string& path, const std::string& target) {
    HKEY link = NULL;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL,
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
void PutZeroNamedKey(const std::string& parent, const std::wstring& name) {
    typedef LONG(WINAPI * NtCreateKeyFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG,
                                         PULONG);
    const NtCreateKeyFn create = reinterpret_cast<NtCreateKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtCreateKey")));
    ASSERT_NE(nullptr, create);
    HKEY base = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_LOCAL_MACHINE, parent.c_str(), &base));
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

// Every key a listing opens is closed: released handles are reused by the
// next open, leaked ones never are.
TEST_F(HostileTreeTest, ListingClosesEveryKey) {
    PutString(HKEY_CURRENT_USER, OdbcPath("S") + "\\A\\B", "V", "v");
    PutString(HKEY_CURRENT_USER, OdbcPath("S") + "\\C", "V", "v");
    ASSERT_EQ(0, window->ConnectOdbcIni(FALSE));
    std::set<HKEY> seen;
    for (int i = 0; i < 40; ++i) {
        window->FillSubTree(window->m_hOdbcIniKey, "S", nullptr);
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
