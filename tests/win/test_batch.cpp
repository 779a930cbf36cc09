// Console batch mode: the real program started with switches, and the error
// paths in-process through the same batch routine with scripted prompts.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include <string>

namespace {

std::string ProgramDir() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(NULL, path, sizeof(path));
    std::string dir(path, length);
    return dir.substr(0, dir.rfind('\\'));
}

// Runs zentrel.exe with a command line in a directory; returns its exit code,
// or -1 when it did not end in time (a message box would wait forever).
int RunProgram(const std::string& args, const std::string& directory) {
    const std::string exe = ProgramDir() + "\\zentrel.exe";
    std::string commandLine = "\"" + exe + "\" " + args;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, directory.c_str(), &startup,
                          &process)) {
        ADD_FAILURE() << "cannot start " << exe << ": " << ::GetLastError();
        return -2;
    }
    int result = -1;
    if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        result = (int)code;
    } else {
        ::TerminateProcess(process.hProcess, 99);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

void SeedSource(bool systemScope, const std::string& name, const std::string& driver) {
    const HKEY root = ScopeRoot(systemScope);
    PutString(root, OdbcPath(name), "Driver", "C:\\drivers\\" + driver + ".dll");
    PutString(root, OdbcPath(name), "Description", name + " in " + (systemScope ? "system" : "user"));
    PutDword(root, OdbcPath(name), "Timeout", 0xFFFFFFFF);
    PutDword(root, OdbcPath(name + "\\Engines\\Jet"), "Threads", 3);
    PutString(root, OdbcPath("ODBC Data Sources"), name.c_str(), driver);
}

std::string Text(const std::vector<unsigned char>& data) {
    return std::string(data.begin(), data.end());
}

class BatchProgramTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        dir = ScratchDir("batch");
    }
    std::string dir;
};

TEST_F(BatchProgramTest, ExportsTheScopeNamedBySwitch) {
    SeedSource(false, "UserOne", "UserDriver");
    SeedSource(true, "SysOne", "SysDriver");
    struct Case { const char* switchText; const char* present; const char* absent; };
    const Case cases[] = {
        {"-eu", "DSN=UserOne", "SysOne"},
        {"-es", "DSN=SysOne", "UserOne"},
        {"-eU", "DSN=SysOne", "UserOne"},  // only a lowercase u selects the user scope
        {"/e:", "DSN=SysOne", "UserOne"},
    };
    for (const Case& c : cases) {
        const std::string file = dir + "\\out.dsi";
        ::DeleteFileA(file.c_str());
        ASSERT_EQ(0, RunProgram(std::string(c.switchText) + "\"" + file + "\"", dir)) << c.switchText;
        const std::string text = ReadWholeFile(file);
        EXPECT_NE(std::string::npos, text.find(c.present)) << c.switchText << "\n" << text;
        EXPECT_EQ(std::string::npos, text.find(c.absent)) << c.switchText;
        EXPECT_NE(std::string::npos, text.find("[General]\r\nItems=1\r\n")) << text;
    }
}

TEST_F(BatchProgramTest, BareNameLandsInTheCurrentDirectory) {
    SeedSource(false, "Here", "D");
    ASSERT_EQ(0, RunProgram("-eubare.dsi", dir));
    EXPECT_NE(std::string::npos, ReadWholeFile(dir + "\\bare.dsi").find("DSN=Here"));
}

TEST_F(BatchProgramTest, ImportReplacesWithoutQuestionThenExportsSameFile) {
    // The file carries a new definition of Shared; the user scope holds an old one.
    const std::string file = dir + "\\both.dsi";
    WriteWholeFile(file,
                   "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=New Driver\r\nDSN=Shared\r\nItems=1\r\n"
                   "Name0=Server\r\nValue0=db02\r\nFormat0=1\r\n");
    PutString(HKEY_CURRENT_USER, OdbcPath("Shared"), "Stale", "gone after import");
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Shared", "Old Driver");
    SeedSource(false, "Other", "OtherDriver");

    ASSERT_EQ(0, RunProgram("-iu\"" + file + "\" -eu\"" + file + "\"", dir));

    DWORD type = 0;
    std::vector<unsigned char> data;
    EXPECT_FALSE(GetValue(HKEY_CURRENT_USER, OdbcPath("Shared"), "Stale", &type, &data));
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, OdbcPath("Shared"), "Server", &type, &data));
    EXPECT_EQ(std::string("db02", 5), Text(data));
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Shared", &type, &data));
    EXPECT_EQ(std::string("New Driver", 11), Text(data));
    // The export ran after the import: both sources, the imported one as imported.
    const std::string text = ReadWholeFile(file);
    EXPECT_NE(std::string::npos, text.find("[General]\r\nItems=2\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("DSN=Other"));
    EXPECT_NE(std::string::npos, text.find("Driver=New Driver"));
    EXPECT_EQ(std::string::npos, text.find("Stale"));
}

TEST_F(BatchProgramTest, ImportsIntoTheUserScope) {
    const std::string file = dir + "\\in.dsi";
    WriteWholeFile(file,
                   "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Drv\r\nDSN=Fresh\r\nItems=2\r\n"
                   "Name0=Engines\\Threads\r\nValue0=-1\r\nFormat0=4\r\nName1=Flags\r\nValue1=0A01FF\r\nFormat1=3\r\n");
    ASSERT_EQ(0, RunProgram("-iuin.dsi", dir));
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, OdbcPath("Fresh\\Engines"), "Threads", &type, &data));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(std::vector<unsigned char>({0xFF, 0xFF, 0xFF, 0xFF}), data);
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, OdbcPath("Fresh"), "Flags", &type, &data));
    EXPECT_EQ(std::vector<unsigned char>({0x0A, 0x01, 0xFF}), data);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Fresh")));
}

TEST_F(BatchProgramTest, ThisComputerByNameWorks) {
    SeedSource(true, "ByName", "D");
    ASSERT_EQ(0, RunProgram("-s" + ThisComputerName() + " -esnamed.dsi", dir));
    EXPECT_NE(std::string::npos, ReadWholeFile(dir + "\\named.dsi").find("DSN=ByName"));
}

// Error paths run in-process, through the routine the program runs, so that
// their message boxes are scripted instead of waiting for a user.
class BatchRoutineTest : public BatchWindowTest {
protected:
    void SetUp() override {
        BatchWindowTest::SetUp();
        dir = ScratchDir("batch-routine");
    }
    int Run(const char* commandLine) {
        ManagerApp& app = ResetApp();
        app.ParseCommandLine(commandLine);
        EXPECT_TRUE(app.m_bBatchMode);
        const int code = app.RunBatch(window);
        app.m_bBatchMode = FALSE;
        return code;
    }
    std::string dir;
};

TEST_F(BatchRoutineTest, UnknownComputerFailsWithExitOne) {
    prompts->messageAnswers = {IDOK};
    const std::string line = "-snosuchhost -es\"" + dir + "\\x.dsi\"";
    EXPECT_EQ(1, Run(line.c_str()));
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("RegConnectRegistry", prompts->calls[0].caption);
    EXPECT_EQ(NULL, prompts->calls[0].owner);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((dir + "\\x.dsi").c_str()));
}

TEST_F(BatchRoutineTest, MissingImportFileIsReportedNotChosen) {
    prompts->messageAnswers = {IDOK};
    const std::string file = dir + "\\missing.dsi";
    const std::string line = "-iu\"" + file + "\"";
    EXPECT_EQ(1, Run(line.c_str()));
    ASSERT_EQ(1u, prompts->calls.size());  // no file chooser
    EXPECT_EQ("message", prompts->calls[0].kind);
    EXPECT_EQ("Error", prompts->calls[0].caption);
    EXPECT_NE(std::string::npos, prompts->calls[0].text.find(file)) << prompts->calls[0].text;
    EXPECT_NE(std::string::npos,
              prompts->calls[0].text.find(MainWindow::SystemErrorText(ERROR_FILE_NOT_FOUND)))
        << prompts->calls[0].text;
    EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), prompts->calls[0].type);
}

TEST_F(BatchRoutineTest, DeclinedOdbcSectionFailsWithExitOne) {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kOdbcIniPath);
    prompts->messageAnswers = {IDNO};
    const std::string line = "-eu\"" + dir + "\\y.dsi\"";
    EXPECT_EQ(1, Run(line.c_str()));
    EXPECT_EQ("RegOpenKey", prompts->calls.at(0).caption);
}

TEST_F(BatchRoutineTest, SuccessfulRunExitsZeroWithoutPrompts) {
    SeedSource(false, "Fine", "D");
    const std::string line = "-eu\"" + dir + "\\ok.dsi\"";
    EXPECT_EQ(0, Run(line.c_str()));
    EXPECT_TRUE(prompts->calls.empty());
}

}  // namespace

namespace {

TEST_F(BatchRoutineTest, FileNameIsMadeAbsolute) {
    char saved[MAX_PATH];
    ::GetCurrentDirectoryA(sizeof(saved), saved);
    struct Case { std::string directory, token, expected; bool writes; };
    const Case cases[] = {
        {dir, "-eurel.dsi", dir + "\\rel.dsi", true},
        {"C:\\", "-euroot.dsi", "C:\\\\root.dsi", true},  // a drive root already ends in a backslash
        {dir, "-eusub\\x.dsi", "sub\\x.dsi", false},      // a backslash anywhere: left as it is
        {dir, "-eu", dir + "\\", false},                   // empty: the directory and a backslash
    };
    for (const Case& c : cases) {
        ::SetCurrentDirectoryA(c.directory.c_str());
        prompts->calls.clear();
        if (!c.writes) prompts->messageAnswers = {IDOK};
        const int code = Run(c.token.c_str());
        EXPECT_EQ(c.expected, TheApp().m_strFileName) << c.token;
        if (c.writes) {
            EXPECT_EQ(0, code) << c.token;
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(c.expected.c_str())) << c.expected;
            ::DeleteFileA(c.expected.c_str());
        } else {
            // Nothing to write to: reported, and the run fails.
            EXPECT_EQ(1, code) << c.token;
            ASSERT_EQ(1u, prompts->calls.size()) << c.token;
            EXPECT_EQ("Export", prompts->calls[0].caption);
        }
    }
    ::SetCurrentDirectoryA(saved);
}

}  // namespace
