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

// Another computer serves no HKEY_CURRENT_USER: its User DSNs are an
// account's hive under HKEY_USERS, the running account's unless one is
// named, and a hive not loaded there is told, never replaced by another.
// Under Wine this computer's own name is such a connection, and the running
// account's hive there is the current user's.
TEST_F(ConnectionTest, OtherComputersUserScopeIsAnAccountsHive) {
    static std::vector<std::pair<std::string, HKEY>> asked;
    SetConnectionWatch([](const std::string& machine, HKEY root) { asked.emplace_back(machine, root); });
    PutKey(HKEY_CURRENT_USER, OdbcPath("OnlyUser"));
    const std::string own = ThisComputerName();
    // Wine's current user: its hive is HKEY_CURRENT_USER too.
    const std::string sid = "S-1-5-21-0-0-0-1000";
    struct Case {
        std::string computer, account;
        BOOL systemScope;
        HKEY root;
        int result;
        const char* told;  // the start of the one message; none when null
    };
    const Case cases[] = {
        {own, "", FALSE, HKEY_USERS, 0, nullptr},
        {"\\\\" + own, "", FALSE, HKEY_USERS, 0, nullptr},
        {"", sid, FALSE, HKEY_USERS, 0, nullptr},
        {own, "", TRUE, HKEY_LOCAL_MACHINE, 0, nullptr},
        {"", "", FALSE, HKEY_CURRENT_USER, 0, nullptr},
        {own, "S-1-5-21-9-9-9-4242", FALSE, HKEY_USERS, -7,
         "The User DSNs of S-1-5-21-9-9-9-4242 are not loaded on computer '"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.computer + " " + c.account);
        asked.clear();
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK};
        window->facts.commandLine.m_strRemoteSystem = c.computer;
        window->facts.commandLine.m_strAccount = c.account;
        EXPECT_EQ(c.result, window->ConnectOdbcIni(c.systemScope));
        ASSERT_EQ(1u, asked.size());
        EXPECT_EQ(c.root, asked[0].second);
        EXPECT_EQ(c.told == nullptr ? 0u : 1u, prompts->calls.size());
        if (c.told != nullptr) {
            EXPECT_EQ(0u, prompts->calls[0].text.find(c.told + own + "' (HKEY_USERS\\S-1-5-21-9-9-9-4242)"))
                << prompts->calls[0].text;
            EXPECT_EQ(nullptr, window->m_hOdbcIniKey);
            continue;
        }
        // The hive reached is the running account's own.
        HKEY key = NULL;
        EXPECT_EQ(!c.systemScope, ::RegOpenKeyA(window->m_hOdbcIniKey, "OnlyUser", &key) == ERROR_SUCCESS);
        ::RegCloseKey(key);
        EXPECT_EQ(c.root == HKEY_USERS, !window->m_strHiveAccount.empty());
    }
    SetConnectionWatch(nullptr);
    window->facts.commandLine.m_strAccount.clear();
    // Whose are loaded there: this account's among them, by its SID.
    window->facts.commandLine.m_strRemoteSystem = own;
    prompts->calls.clear();
    prompts->messageAnswers = {IDOK};
    window->OnLoadedAccounts();
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_NE(std::string::npos, prompts->calls[0].text.find("\n" + sid + "\t")) << prompts->calls[0].text;
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
