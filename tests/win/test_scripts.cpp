// Names and texts in any script travel exactly: listed, exported, imported
// into the other scope, removed and renamed, never as a substitute or a
// look-alike. The registry is seeded and read with the wide calls.
#include "DsiTestUtil.h"

#include <algorithm>

#include "dsi/DsiFileIo.h"
#include "ui/DsnNameDialog.h"

namespace {

const wchar_t kOdbc[] = L"Software\\ODBC\\ODBC.INI";

std::wstring Wide(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &out[0], (int)out.size()));
    return out;
}
std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 4, '\0');
    out.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], (int)out.size(), NULL, NULL));
    return out;
}

// Every key and value below a key as the registry stores them.
using WideTree = std::map<std::wstring, RegValue>;
void SnapshotW(HKEY key, const std::wstring& prefix, WideTree& tree) {
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD size = 256;
        if (::RegEnumKeyExW(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        const std::wstring path = prefix + std::wstring(name, size) + L"\\";
        tree[path] = RegValue{-1, {}};
        HKEY sub = NULL;
        if (::RegOpenKeyExW(key, std::wstring(name, size).c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            SnapshotW(sub, path, tree);
            ::RegCloseKey(sub);
        }
    }
    std::vector<unsigned char> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = 16384, dataSize = (DWORD)data.size(), type = 0;
        if (::RegEnumValueW(key, i, name, &nameSize, NULL, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
        tree[prefix + L"|" + std::wstring(name, nameSize)] =
            RegValue{(long long)type, std::vector<unsigned char>(data.begin(), data.begin() + dataSize)};
    }
}
WideTree SnapshotW(HKEY root) {
    WideTree tree;
    HKEY key = NULL;
    if (::RegOpenKeyExW(root, kOdbc, 0, KEY_READ, &key) != ERROR_SUCCESS) return tree;
    SnapshotW(key, L"", tree);
    ::RegCloseKey(key);
    return tree;
}

// A source with one value; its driver entry names the source too.
struct ScriptRow {
    const char* label;
    std::wstring source;
    std::wstring valueName;
    DWORD type;
    std::vector<unsigned char> data;
};

const std::vector<ScriptRow>& ScriptRows() {
    static const std::vector<ScriptRow> rows = {
        {"chinese", L"\u6570\u636e\u6e90", L"Description", REG_SZ, WideSz(L"\u041e\u0442\u0447\u0451\u0442\u044b \u0141\u00f3d\u017a")},
        {"literal_question_marks", L"???", L"Server", REG_SZ, WideSz(L"plain")},
        {"polish", L"\u0141\u00f3d\u017a", L"Ksi\u0119gowo\u015b\u0107", REG_SZ, WideSz(L"Ksi\u0119gowo\u015b\u0107")},
        // What best fit makes of the one above.
        {"best_fit_twin", L"L\u00f3dz", L"Server", REG_SZ, WideSz(L"twin")},
        {"cyrillic_value_name", L"Otchet", L"\u0418\u043c\u044f", REG_EXPAND_SZ, WideSz(L"%TEMP%\\\u0414")},
        {"emoji", L"Data \U0001F4CA", L"Chart", REG_MULTI_SZ, WideSz(std::wstring(L"\U0001F4CA") + L'\0' + L"b" + L'\0')},
        {"fullwidth_victim", L"\uff36ictim", L"Server", REG_SZ, WideSz(L"fake")},
        {"victim", L"Victim", L"Server", REG_SZ, WideSz(L"real")},
        {"fullwidth_reserved", L"\uff2f\uff24\uff22\uff23", L"Server", REG_SZ, WideSz(L"not reserved")},
        // The registry's limit in characters: three times as many UTF-8 bytes.
        {"longest_chinese", std::wstring(255, L'\u6e90'), L"Server", REG_SZ, WideSz(L"long")},
        // Stored bytes that are no whole UTF-16: odd, and an unpaired surrogate.
        {"odd_length", L"Odd", L"Bytes", REG_SZ, {0x41, 0x42, 0x43}},
        {"lone_surrogate", L"Lone", L"Text", REG_SZ, {0x41, 0x00, 0x00, 0xD8, 0x42, 0x00, 0x00, 0x00}},
    };
    return rows;
}

void Seed(HKEY root) {
    for (const ScriptRow& row : ScriptRows()) {
        PutWide(root, std::wstring(kOdbc) + L"\\" + row.source, row.valueName, row.type, row.data);
        PutWide(root, std::wstring(kOdbc) + L"\\ODBC Data Sources", row.source, REG_SZ, WideSz(L"Driver " + row.source));
    }
}

std::vector<std::string> SortedNames() {
    std::vector<std::string> names;
    for (const ScriptRow& row : ScriptRows()) names.push_back(Utf8(row.source));
    std::sort(names.begin(), names.end());
    return names;
}

class ScriptsTest : public WindowTest {
protected:
    ScriptsTest() : WindowTest(Mode::Batch) {}
};

TEST_F(ScriptsTest, ListsEveryNameAsStored) {
    Seed(HKEY_CURRENT_USER);
    std::vector<ListedSource> sources;
    ASSERT_TRUE(window->CatalogueScope(window->PlaceOf(FALSE), sources));
    std::vector<std::string> names;
    for (const ListedSource& source : sources) {
        names.push_back(source.name);
        EXPECT_EQ("Driver " + source.name, source.driver);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(SortedNames(), names);
    EXPECT_TRUE(prompts->calls.empty());
}

// Export writes UTF-16 when a name has no form in the system's code page;
// import into the other scope rebuilds every byte, look-alikes beside.
TEST_F(ScriptsTest, ExportAndImportIntoTheOtherScopeCarryEveryByte) {
    Seed(HKEY_CURRENT_USER);
    // Best fit would read the Polish source as this one.
    PutWide(HKEY_LOCAL_MACHINE, std::wstring(kOdbc) + L"\\Lodz", L"Keep", REG_SZ, WideSz(L"kept"));
    const std::string file = ScratchDir("scripts") + "\\all.dsi";
    // An ANSI file is not squeezed: it becomes UTF-16, its old keys kept.
    WriteWholeFile(file, "[Notes]\r\nk=v\xE9\r\n");
    window->ExportScopeToFile(file.c_str(), FALSE);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_TRUE(prompts->calls.empty());
    const std::string bytes = ReadWholeFile(file);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ("\xFF\xFE", bytes.substr(0, 2));
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_EQ(0u, text.find(L"[Notes]\r\nk=v\u00e9\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"DSN=\u6570\u636e\u6e90\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"DSN=???\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Name0=\u0418\u043c\u044f\r\n"));
    // The exact bytes of the odd value, beside what older readers take.
    EXPECT_NE(std::wstring::npos, text.find(L"Raw0=414243\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Raw0=410000D842000000\r\n"));

    window->ImportDsiFile(FALSE, file.c_str(), TRUE);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_TRUE(prompts->Of("message").empty());
    WideTree machine = SnapshotW(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegValue({REG_SZ, WideSz(L"kept")}), machine[L"Lodz\\|Keep"]);
    machine.erase(L"Lodz\\");
    machine.erase(L"Lodz\\|Keep");
    EXPECT_EQ(SnapshotW(HKEY_CURRENT_USER), machine);
}

// A name that is no whole UTF-16 has no exact form even in UTF-8: reported
// by name, left out, and the run fails.
TEST_F(ScriptsTest, NameWithUnpairedSurrogateIsReportedNotActedOn) {
    PutWide(HKEY_CURRENT_USER, std::wstring(kOdbc) + L"\\Bad" + wchar_t(0xD800) + L"x", L"A", REG_SZ, WideSz(L"1"));
    PutWide(HKEY_CURRENT_USER, std::wstring(kOdbc) + L"\\Bad\uFFFDx", L"A", REG_SZ, WideSz(L"substitute"));
    prompts->messageAnswers = {IDOK};
    const std::string file = ScratchDir("scripts") + "\\lone.dsi";
    window->ExportScopeToFile(file.c_str(), FALSE);
    EXPECT_FALSE(window->Succeeded());
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("Data source 'Bad\\uD800x' has a name this program cannot carry exactly (it would act on a substitute); "
              "it is left out.",
              prompts->calls[0].text);
    // Only the key really named with U+FFFD, once.
    const std::string bytes = ReadWholeFile(file);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_EQ(0u, text.find(L"[General]\r\nItems=1\r\n")) << Utf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"DSN=Bad\uFFFDx\r\nItems=1\r\nName0=A\r\nValue0=substitute\r\n"));
    EXPECT_EQ(std::wstring::npos, text.find(L"DSN1"));
    // The shared clean-up names keys in the code page.
    EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kOdbc) + L"\\Bad" + wchar_t(0xD800) + L"x").c_str()));
}

// A file of older tools, in the system's code page, imports as before.
TEST_F(ScriptsTest, AnsiFileOfOlderToolsImportsAndExportsByteIdentical) {
    EXPECT_EQ(1252u, zentrel::DsiAnsiCodePage());  // measured: Wine's default prefix
    const std::string ansi =
        "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Pilote\xE9\r\nDSN=Caf\xE9\r\nItems=1\r\nName0=Ville\r\n"
        "Value0=Z\xFCrich \x80\r\nFormat0=1\r\n";
    const std::string in = ScratchDir("scripts") + "\\old.dsi", out = ScratchDir("scripts") + "\\again.dsi";
    WriteWholeFile(in, ansi);
    window->ImportDsiFile(FALSE, in.c_str(), FALSE);
    EXPECT_EQ(RegValue({REG_SZ, WideSz(L"Z\u00fcrich \u20ac")}),
              SnapshotW(HKEY_CURRENT_USER)[L"Caf\u00e9\\|Ville"]);
    window->ExportScopeToFile(out.c_str(), FALSE);
    EXPECT_EQ(ansi, ReadWholeFile(out));
    EXPECT_TRUE(window->Succeeded());
}

TEST_F(ScriptsTest, ConsoleOutputToAFileIsUtf8) {
    const std::string path = ScratchDir("scripts") + "\\out.txt";
    {
        FileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        WriteStreamText(file.Get(), "\xE6\x95\xB0 \xF0\x9F\x93\x8A\r\n");
    }
    EXPECT_EQ("\xE6\x95\xB0 \xF0\x9F\x93\x8A\r\n", ReadWholeFile(path));
}

// Paths are counted in characters as the platform counts them: 259 are
// written, 260 refused whole, in any script.
TEST_F(ScriptsTest, PathsOfExactly259CharactersAreWritten) {
    PutWide(HKEY_LOCAL_MACHINE, std::wstring(kOdbc) + L"\\Only", L"A", REG_SZ, WideSz(L"1"));
    struct Case {
        const char* unit;
        size_t units;
        bool written;
    };
    const Case cases[] = {{"p", 259, true}, {"p", 260, false}, {"\xE6\x95\xB0", 259, true}, {"\xE6\x95\xB0", 260, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.unit) + " " + std::to_string(c.units));
        // Directories of 60 characters each, so that no part exceeds what
        // the host's file system takes.
        std::string path = ScratchDir(std::string("paths-") + (c.unit[0] == 'p' ? "a" : "h"));
        size_t units = Wide(path).size();
        while (c.units - units > 60 + 5) {
            for (int i = 0; i < 60; ++i) path += (i == 0 ? "\\" : "") + std::string(c.unit);
            units += 61;
            ::CreateDirectoryW(Wide(path).c_str(), NULL);
        }
        path += "\\";
        for (++units; units < c.units - 4; ++units) path += c.unit;
        path += ".dsi";
        ASSERT_EQ(c.units, Wide(path).size());
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->ExportScopeToFile(path.c_str(), TRUE);
        EXPECT_EQ(c.written, (bool)window->Succeeded());
        EXPECT_EQ(c.written, ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!c.written) {
            ASSERT_EQ(1u, prompts->calls.size());
            EXPECT_EQ("File: '" + path + "'\n" + MainWindow::SystemErrorText(ERROR_FILENAME_EXCED_RANGE),
                      prompts->calls[0].text);
        }
    }
}

class ScriptsWindowTest : public WindowTest {};

TEST_F(ScriptsWindowTest, RemoveActsOnTheRowPicked) {
    Seed(HKEY_CURRENT_USER);
    Open(1);
    std::vector<std::string> shown = Rows();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(SortedNames(), shown);
    for (const char* name : {"\xE6\x95\xB0\xE6\x8D\xAE\xE6\xBA\x90", "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xEF\xBC\xB6ictim"}) {
        SCOPED_TRACE(name);
        Pick(name);
        prompts->messageAnswers = {IDYES};
        prompts->calls.clear();
        Command(ID_REMOVE);
        ASSERT_EQ(1u, prompts->calls.size());
        EXPECT_EQ(std::string("Remove '") + name + "' data source?", prompts->calls[0].text);
    }
    const WideTree user = SnapshotW(HKEY_CURRENT_USER);
    for (const ScriptRow& row : ScriptRows()) {
        const bool removed = row.source == L"\u6570\u636e\u6e90" || row.source == L"\u0141\u00f3d\u017a" ||
                             row.source == L"\uff36ictim";
        EXPECT_EQ(!removed, user.count(row.source + L"\\") == 1) << row.label;
        EXPECT_EQ(!removed, user.count(L"ODBC Data Sources\\|" + row.source) == 1) << row.label;
    }
}

TEST_F(ScriptsWindowTest, ImportAsTakesANameInAnyScript) {
    const std::string file = ScratchDir("scripts") + "\\one.dsi";
    WriteWholeFile(file, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=D\r\nDSN=One\r\nItems=1\r\nName0=A\r\nValue0=1\r\n"
                         "Format0=1\r\n");
    const std::string renamed = "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xF0\x9F\x93\x8A";
    Open(0);
    prompts->fileAnswers = {file};
    prompts->messageAnswers = {IDOK};  // the summary
    prompts->dialogAnswers = {[&](CDialog& dialog) -> INT_PTR {
        DsnNameDialog& named = static_cast<DsnNameDialog&>(dialog);
        EXPECT_TRUE(named.Create(window.get()));
        ::SetDlgItemTextW(named.m_hWnd, IDC_DSN_NAME, Wide(renamed).c_str());
        ::SendMessageA(named.m_hWnd, WM_COMMAND, IDOK, 0);
        return IDOK;
    }};
    ::SendMessageA(window->m_hWnd, WM_COMMAND, ID_IMPORT_AS, 0);
    WideTree machine = SnapshotW(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RegValue({REG_SZ, WideSz(L"1")}), machine[Wide(renamed) + L"\\|A"]);
    EXPECT_EQ(RegValue({REG_SZ, WideSz(L"D")}), machine[L"ODBC Data Sources\\|" + Wide(renamed)]);
    ASSERT_EQ(1u, prompts->Of("message").size());
    EXPECT_EQ(UINT(MB_OK | MB_ICONINFORMATION), prompts->Of("message")[0].type);
}

}  // namespace
