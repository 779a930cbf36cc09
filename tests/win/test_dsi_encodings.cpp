// DSI files in every encoding the platform's profile reader reads: import
// takes their text whole (a file without a mark in the system's code page)
// or reports what is no text; export over such a file keeps its encoding.
#include "DsiTestUtil.h"

#include "dsi/DsiFileIo.h"

namespace {

enum class Enc { Ansi, Utf8, Utf16Le, Utf16Be };

// The test's own encoder; a Latin-1 wide text is its ANSI (1252) text too.
std::string Encode(const std::wstring& text, Enc enc) {
    std::string out;
    if (enc == Enc::Utf8) {
        out = "\xEF\xBB\xBF";
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
        std::string body(n, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &body[0], n, NULL, NULL);
        return out + body;
    }
    if (enc != Enc::Ansi) out = enc == Enc::Utf16Le ? "\xFF\xFE" : "\xFE\xFF";
    for (wchar_t c : text) {
        const char low = (char)(c & 0xFF), high = (char)(c >> 8);
        if (enc == Enc::Ansi) {
            out += low;
        } else {
            out += enc == Enc::Utf16Le ? low : high;
            out += enc == Enc::Utf16Le ? high : low;
        }
    }
    return out;
}

const std::wstring kSource =
    L"[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Pilote\u00e9\r\nDSN=Caf\u00e9\r\nItems=1\r\n"
    L"Name0=Ville\r\nValue0=";

struct EncodingCase {
    const char* name;
    Enc enc;
    std::wstring text;   // import: the file; export: what the file held before
    std::string extra;   // raw bytes appended after the encoded text
    bool exportOver;     // export the user scope over the file instead of importing it
    std::string message; // shown to the user ("" for none); "{file}" is the file's path
    std::string imported = "Z\xC3\xBCrich";  // the value import stores, in UTF-8
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }

std::string Untranslatable(const std::string& where) {
    return "File: '{file}'\n" + MainWindow::SystemErrorText(ERROR_NO_UNICODE_TRANSLATION) + "\n" + where;
}

const std::vector<EncodingCase>& Cases() {
    const std::string cp = std::to_string(::GetACP());
    static const std::vector<EncodingCase> cases = {
        {"ansi", Enc::Ansi, kSource + L"Z\u00fcrich\r\nFormat0=1\r\n", "", false, ""},
        {"utf16le", Enc::Utf16Le, kSource + L"Z\u00fcrich\r\nFormat0=1\r\n", "", false, ""},
        {"utf16be", Enc::Utf16Be, kSource + L"Z\u00fcrich\r\nFormat0=1\r\n", "", false, ""},
        {"utf8", Enc::Utf8, kSource + L"Z\u00fcrich\r\nFormat0=1\r\n", "", false, ""},
        {"beyond_ansi", Enc::Utf16Le, kSource + L"Z\u00fcrich \u4e2d\r\nFormat0=1\r\n", "", false, "",
         "Z\xC3\xBCrich \xE4\xB8\xAD"},
        // Best fit would turn it into a plain 'a'.
        {"no_best_fit", Enc::Utf8, kSource + L"\u0101\r\nFormat0=1\r\n", "", false, "", "\xC4\x81"},
        {"lone_surrogate", Enc::Utf16Be, kSource + L"x\xD800y\r\nFormat0=1\r\n", "", false,
         Untranslatable("Line 8, character 9: U+D800 has no form in the ANSI code page (" + cp +
                        "). Nothing is imported.")},
        {"malformed_utf8", Enc::Utf8, L"[General]\r\nItems=1\r\n", "\xC3(", false,
         Untranslatable("Line 3, character 1: the bytes there are no UTF-8 text. Nothing is imported.")},
        {"odd_utf16_length", Enc::Utf16Le, L"[General]\rItems=1", "x", false,
         Untranslatable("Line 2, character 8: the bytes there are no UTF-16 (little-endian) text. Nothing is "
                        "imported.")},
        {"export_over_utf16le", Enc::Utf16Le, L"[Notes]\r\nk=v\u00e9\r\n", "", true, ""},
        {"export_over_utf16be", Enc::Utf16Be, L"[Notes]\r\nk=v\u00e9\r\n", "", true, ""},
        {"export_over_utf8", Enc::Utf8, L"[Notes]\r\nk=v\u00e9\r\n", "", true, ""},
        {"export_over_ansi", Enc::Ansi, L"[Notes]\r\nk=v\u00e9\r\n", "", true, ""},
        {"export_over_beyond_ansi", Enc::Utf16Le, L"[Notes]\r\nk=\u4e2d\r\n", "", true, ""},
        // An overlong '/' is no character: not read as a path separator.
        {"overlong_utf8", Enc::Utf8, kSource, "\xC0\xAF" "x\r\nFormat0=1\r\n", false,
         Untranslatable("Line 8, character 8: the bytes there are no UTF-8 text. Nothing is imported.")},
        // A surrogate, alone or as half of a pair, encoded as if it were a character.
        {"encoded_surrogate_utf8", Enc::Utf8, kSource, "\xED\xA0\x80" "x\r\nFormat0=1\r\n", false,
         Untranslatable("Line 8, character 8: the bytes there are no UTF-8 text. Nothing is imported.")},
        {"encoded_surrogate_pair_utf8", Enc::Utf8, kSource, "ok\xED\xA0\xBD\xED\xB8\x80\r\nFormat0=1\r\n", false,
         Untranslatable("Line 8, character 10: the bytes there are no UTF-8 text. Nothing is imported.")},
    };
    return cases;
}

std::string Fill(std::string text, const std::string& file) {
    const size_t at = text.find("{file}");
    return at == std::string::npos ? text : text.replace(at, 6, file);
}

std::string Profile(const std::string& path, const char* section, const char* key) {
    char value[256];
    const DWORD n = ::GetPrivateProfileStringA(section, key, "<missing>", value, sizeof(value), path.c_str());
    return std::string(value, n);
}

class DsiEncodingTest : public WindowTest, public ::testing::WithParamInterface<EncodingCase> {
protected:
    DsiEncodingTest() : WindowTest(Mode::Batch) {}
};

TEST_P(DsiEncodingTest, ReadsAsThePlatformReadsAndKeepsTheEncoding) {
    const EncodingCase& c = GetParam();
    const std::string file = ScratchDir("dsi-encodings") + "\\" + c.name + ".dsi";
    const std::string before = Encode(c.text, c.enc) + c.extra;
    WriteWholeFile(file, before);
    prompts->messageAnswers = {IDOK};
    const bool fails = !c.message.empty();
    if (c.exportOver) {
        PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Caf\xC3\xA9", "Pilote\xC3\xA9");
        PutString(HKEY_CURRENT_USER, OdbcPath("Caf\xC3\xA9"), "Ville", "Z\xC3\xBCrich");
        window->ExportScopeToFile(file.c_str(), FALSE);
        const std::string after = ReadWholeFile(file);
        if (fails) {
            EXPECT_EQ(before, after);
        } else {
            // One encoding throughout: the whole file is the expected text in it.
            EXPECT_EQ(Encode(c.text + L"[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Pilote\u00e9\r\nDSN=Caf\u00e9\r\nItems=1\r\n"
                                      L"Name0=Ville\r\nValue0=Z\u00fcrich\r\nFormat0=1\r\n",
                             c.enc),
                      after);
            // The platform reads a file without a mark in the program's own
            // code page: only a marked one reads back here.
            if (c.enc != Enc::Ansi) {
                EXPECT_EQ("Z\xC3\xBCrich", Profile(file, "DSN0", "Value0"));
            }
        }
    } else {
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        const RegValue absent{-2, {}}, value{REG_SZ, Text(c.imported)}, driver{REG_SZ, Text("Pilote\xC3\xA9")};
        EXPECT_EQ(fails ? absent : value, ValueOf(HKEY_CURRENT_USER, OdbcPath("Caf\xC3\xA9"), "Ville"));
        EXPECT_EQ(fails ? absent : driver, ValueOf(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Caf\xC3\xA9"));
    }
    const std::vector<PromptCall> shown = prompts->Of("message");
    ASSERT_EQ(fails ? 1u : 0u, shown.size());
    if (fails) {
        EXPECT_EQ(Fill(c.message, file), shown[0].text);
        EXPECT_EQ(c.exportOver ? "Export" : "Error", shown[0].caption);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), shown[0].type);
    }
    EXPECT_EQ(!fails, (bool)window->Succeeded());
}

std::wstring Wide(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(::MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], (int)out.size()));
    return out;
}

size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        count += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return count;
}

// A file written in pieces is one encoding throughout, each piece read back
// as written, and never takes the place of a file of its name.
TEST(DsiFileWriterTest, PiecesShareOneEncodingAndNoFileIsReplaced) {
    const std::string lines(1500000, 'a'), omega = "\xCE\xA9", cafe = "caf\xC3\xA9";
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        Enc enc;
    } cases[] = {
        {"ascii", {"[A]\r\nx=1\r\n", "[B]\r\ny=2\r\n"}, Enc::Ansi},
        {"latin-1 stays ANSI", {"x=" + cafe + "\r\n", "y\r\n"}, Enc::Ansi},
        {"a later piece turns the whole file", {"x=" + cafe + "\r\n", "y=" + omega + "\r\n", "z\r\n"}, Enc::Utf16Le},
        {"the first piece", {"y=" + omega + "\r\n", "x=" + cafe + "\r\n"}, Enc::Utf16Le},
        {"after more than a block", {lines + "\r\n", lines + cafe + "\r\n", omega + "\r\n"}, Enc::Utf16Le},
    };
    const std::string folder = ScratchDir("dsi-writer");
    for (const auto& c : cases) {
        const std::string path = folder + "\\" + c.name + ".dsi", taken = path + ".taken";
        ::DeleteFileA(path.c_str());
        WriteWholeFile(taken, "mine");
        const size_t before = FilesIn(folder);
        std::string all;
        {
            zentrel::DsiFileWriter writer(folder);
            for (const std::string& piece : c.pieces) {
                std::string back;
                EXPECT_EQ(0u, writer.Append(piece, &back)) << c.name;
                EXPECT_EQ(piece, back) << c.name;
                all += piece;
            }
            EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), writer.Place(taken)) << c.name;
            EXPECT_EQ(0u, writer.Place(path)) << c.name;
        }
        EXPECT_EQ("mine", ReadWholeFile(taken)) << c.name;
        EXPECT_EQ(Encode(Wide(all), c.enc), ReadWholeFile(path)) << c.name;
        EXPECT_EQ(before + 1, FilesIn(folder)) << c.name << ": a temporary file left";
    }
    // One never placed leaves nothing.
    const size_t before = FilesIn(folder);
    {
        zentrel::DsiFileWriter writer(folder);
        EXPECT_EQ(0u, writer.Append("y=" + omega + "\r\n", nullptr));
    }
    EXPECT_EQ(before, FilesIn(folder));
}

INSTANTIATE_TEST_SUITE_P(Table, DsiEncodingTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

}  // namespace
