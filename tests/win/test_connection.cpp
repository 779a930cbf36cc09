// The registry connection against the private Wine prefix.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include <set>

namespace {

class ConnectionTest : public WindowTest {
protected:
    ConnectionTest() : WindowTest(Mode::Batch) {}
};

TEST_F(ConnectionTest, ConnectsLocallyForBothScopes) {
    PutKey(HKEY_LOCAL_MACHINE, OdbcPath("OnlySystem"));
    PutKey(HKEY_CURRENT_USER, OdbcPath("OnlyUser"));
    struct Case { BOOL systemScope; const char* visible; const char* hidden; };
    for (const Case& c : {Case{TRUE, "OnlySystem", "OnlyUser"}, Case{FALSE, "OnlyUser", "OnlySystem"}}) {
        ASSERT_EQ(0, window->ConnectOdbcIni(c.systemScope));
        ASSERT_NE(nullptr, window->m_hOdbcIniKey);
        HKEY key = NULL;
        EXPECT_EQ(ERROR_SUCCESS, ::RegOpenKeyA(window->m_hOdbcIniKey, c.visible, &key));
        ::RegCloseKey(key);
        EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyA(window->m_hOdbcIniKey, c.hidden, &key));
    }
    EXPECT_TRUE(prompts->calls.empty());
    EXPECT_TRUE(window->Succeeded());
}

TEST_F(ConnectionTest, UnknownComputerIsReportedWithPlatformText) {
    window->facts.commandLine.m_strRemoteSystem = "nosuchhost";
    prompts->messageAnswers = {IDOK};
    EXPECT_EQ(-1, window->ConnectOdbcIni(TRUE));
    EXPECT_EQ(nullptr, window->m_hOdbcIniKey);
    ASSERT_EQ(1u, prompts->calls.size());
    const PromptCall& call = prompts->calls[0];
    EXPECT_EQ("RegConnectRegistry", call.caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), call.type);
    EXPECT_EQ("Computer: 'nosuchhost'\n" + MainWindow::SystemErrorText(ERROR_BAD_NETPATH), call.text);
    EXPECT_NE(std::string::npos, call.text.find("[0x00000035]"));
    EXPECT_EQ(NULL, call.owner);
    EXPECT_FALSE(window->Succeeded());
}

TEST_F(ConnectionTest, MachineNameForms) {
    // This computer reached by name, with or without the leading backslashes.
    const std::string name = ThisComputerName();
    for (const std::string& box : {name, "\\\\" + name}) {
        window->facts.commandLine.m_strRemoteSystem = box;
        EXPECT_EQ(0, window->ConnectOdbcIni(TRUE)) << box;
        EXPECT_STREQ(box.c_str(), window->m_szRemoteSystem);
    }
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(ConnectionTest, LongNameIsCutTo259Characters) {
    window->facts.commandLine.m_strRemoteSystem = std::string(300, 'x');
    prompts->messageAnswers = {IDOK};
    EXPECT_EQ(-1, window->ConnectOdbcIni(TRUE));
    EXPECT_EQ(259u, strlen(window->m_szRemoteSystem));
}

TEST_F(ConnectionTest, MissingSectionAsksAndCreatesOnYes) {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kOdbcIniPath);
    prompts->messageAnswers = {IDNO};
    EXPECT_EQ(-2, window->ConnectOdbcIni(FALSE));
    EXPECT_EQ(nullptr, window->m_hOdbcIniKey);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("RegOpenKey", prompts->calls[0].caption);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), prompts->calls[0].type);
    EXPECT_EQ(MainWindow::SystemErrorText(ERROR_FILE_NOT_FOUND) + "\n'Software\\ODBC\\ODBC.INI'\n\nDo you wish to create it?",
              prompts->calls[0].text);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath()));

    prompts->messageAnswers = {IDYES};
    EXPECT_EQ(0, window->ConnectOdbcIni(FALSE));
    EXPECT_NE(nullptr, window->m_hOdbcIniKey);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OdbcPath()));
    EXPECT_EQ(2u, prompts->calls.size());
}

TEST_F(ConnectionTest, SecondConnectionReleasesTheFirst) {
    // Released handles are reused by the next open; leaked ones never are.
    std::set<HKEY> seen;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(0, window->ConnectOdbcIni(i % 2));
        seen.insert(window->m_hOdbcIniKey);
    }
    EXPECT_LE(seen.size(), 4u);
    // A failed connection leaves none, and the next one starts clean.
    window->facts.commandLine.m_strRemoteSystem = "nosuchhost";
    prompts->messageAnswers = {IDOK};
    EXPECT_EQ(-1, window->ConnectOdbcIni(FALSE));
    EXPECT_EQ(nullptr, window->m_hOdbcIniKey);
    window->facts.commandLine.m_strRemoteSystem.clear();
    EXPECT_EQ(0, window->ConnectOdbcIni(FALSE));
}

TEST(SystemErrorTextTest, FormatsPlatformTextAndCode) {
    struct Case { LONG code; const char* suffix; };
    for (const Case& c : {Case{ERROR_FILE_NOT_FOUND, " [0x00000002]"}, Case{ERROR_ACCESS_DENIED, " [0x00000005]"},
                          Case{0x7FFFFF00, " [0x7FFFFF00]"}}) {
        const std::string text = MainWindow::SystemErrorText(c.code);
        ASSERT_GE(text.size(), strlen(c.suffix));
        EXPECT_EQ(c.suffix, text.substr(text.size() - strlen(c.suffix))) << text;
        EXPECT_EQ(std::string::npos, text.find('\r'));
        EXPECT_EQ(std::string::npos, text.find('\n'));
    }
    // Zero looks up the thread's last error but prints the code as passed.
    ::SetLastError(ERROR_ACCESS_DENIED);
    const std::string zero = MainWindow::SystemErrorText(0);
    EXPECT_EQ(MainWindow::SystemErrorText(ERROR_ACCESS_DENIED).substr(0, zero.size() - 13) + " [0x00000000]", zero);
    // A code the platform has no text for still gives the number.
    EXPECT_EQ(" [0x7FFFFF00]", MainWindow::SystemErrorText(0x7FFFFF00));
}

}  // namespace
