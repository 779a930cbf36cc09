// Without the manifest's UTF-8 code page (Windows before 10 1903), a name
// the code page cannot hold is reported by name and left out, never acted
// on as its substitute; text values still travel byte for byte.
#include "DsiTestUtil.h"

namespace {

std::vector<unsigned char> Sz(const std::wstring& text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.c_str());
    return std::vector<unsigned char>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

void PutW(const std::wstring& path, const std::wstring& name, const std::vector<unsigned char>& data) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, (L"Software\\ODBC\\ODBC.INI\\" + path).c_str(), 0,
                                               NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, data.data(), (DWORD)data.size()));
    ::RegCloseKey(key);
}

class FallbackTest : public WindowTest {
protected:
    FallbackTest() : WindowTest(Mode::Batch) {}
};

TEST_F(FallbackTest, NamesWithoutAnsiFormAreReportedAndLeftOut) {
    ASSERT_EQ(1252u, ::GetACP());
    PutW(L"\u6570\u636e\u6e90", L"Server", Sz(L"x"));
    PutW(L"???", L"Server", Sz(L"real"));
    PutW(L"Named", L"\u0418\u043c\u044f", Sz(L"x"));
    PutW(L"Plain", L"Description", Sz(L"\u041e\u0442\u0447\u0451\u0442\u044b"));
    for (const wchar_t* name : {L"\u6570\u636e\u6e90", L"???", L"Named", L"Plain"})
        PutW(L"ODBC Data Sources", name, Sz(L"D"));
    prompts->messageAnswers = {IDOK, IDOK, IDOK};
    const std::string file = ScratchDir("fallback") + "\\user.dsi";
    window->ExportScopeToFile(file.c_str(), FALSE);
    EXPECT_FALSE(window->Succeeded());
    const std::vector<PromptCall> shown = prompts->Of("message");
    ASSERT_EQ(3u, shown.size());
    EXPECT_EQ("Data source '\\u6570\\u636E\\u6E90' has a name this program cannot carry exactly (it would act on a "
              "substitute); it is left out.",
              shown[0].text);
    EXPECT_EQ("The data source 'Named' holds a name this program cannot carry exactly ('\\u0418\\u043C\\u044F'); it "
              "is not listed.",
              shown[1].text);
    EXPECT_EQ("Data source 'Named' could not be read whole (see the message before); it is not exported.",
              shown[2].text);

    // The rest travels: the Cyrillic text as its stored bytes.
    ClearTestRegistry();
    window->ResetOutcome();
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_EQ(RegValue({REG_SZ, Text("real")}), ValueOf(HKEY_CURRENT_USER, OdbcPath("???"), "Server"));
    DWORD type = 0;
    std::vector<unsigned char> data(64);
    DWORD size = (DWORD)data.size();
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\ODBC\\ODBC.INI\\Plain", L"Description",
                                            RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size));
    data.resize(size);
    EXPECT_EQ(Sz(L"\u041e\u0442\u0447\u0451\u0442\u044b"), data);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("Named")));
}

}  // namespace
