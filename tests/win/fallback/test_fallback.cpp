// Without the manifest's UTF-8 code page (Windows before 10 1903), a name
// the code page cannot hold is reported by name and left out, never acted
// on as its substitute; text values still travel byte for byte.
#include "DsiTestUtil.h"

namespace {

void PutW(const std::wstring& path, const std::wstring& name, const std::vector<unsigned char>& data) {
    PutWide(HKEY_CURRENT_USER, L"Software\\ODBC\\ODBC.INI\\" + path, name, REG_SZ, data);
}

class FallbackTest : public WindowTest {
protected:
    FallbackTest() : WindowTest(Mode::Batch) {}
};

TEST_F(FallbackTest, NamesWithoutAnsiFormAreReportedAndLeftOut) {
    ASSERT_EQ(1252u, ::GetACP());
    PutW(L"\u6570\u636e\u6e90", L"Server", WideSz(L"x"));
    PutW(L"???", L"Server", WideSz(L"real"));
    PutW(L"Named", L"\u0418\u043c\u044f", WideSz(L"x"));
    PutW(L"Plain", L"Description", WideSz(L"\u041e\u0442\u0447\u0451\u0442\u044b"));
    for (const wchar_t* name : {L"\u6570\u636e\u6e90", L"???", L"Named", L"Plain"})
        PutW(L"ODBC Data Sources", name, WideSz(L"D"));
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
    EXPECT_EQ(WideSz(L"\u041e\u0442\u0447\u0451\u0442\u044b"), data);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("Named")));
}

}  // namespace
