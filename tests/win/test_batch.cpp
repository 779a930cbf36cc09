// Console batch mode: the real program started with switches, and the error
// paths in-process through the same batch routine with scripted prompts.
#include "TestSupport.h"
#include "WindowHelpers.h"
#include "ops/RunContext.h"

#include <sddl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

std::string ProgramDir() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(NULL, path, sizeof(path));
    std::string dir(path, length);
    return dir.substr(0, dir.rfind('\\'));
}

struct Outcome {
    int code;  // exit code; -1 when the run did not end in time
    std::string out, err;
};

// Runs a command line in a directory with its standard output and error in
// files there, and waits for it and everything it starts.
// A run that outlives the time-out (a message box would wait forever) is
// ended with all its processes.
Outcome RunRedirected(const std::string& application, std::string commandLine, const std::string& dir,
                      DWORD timeout = 60000) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    const std::string outPath = dir + "\\stdout.txt", errPath = dir + "\\stderr.txt";
    HANDLE streams[2];
    int i = 0;
    for (const std::string& path : {outPath, errPath}) {
        streams[i++] = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     CREATE_ALWAYS, 0, NULL);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = streams[0];
    startup.hStdError = streams[1];
    HANDLE job = ::CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    PROCESS_INFORMATION process = {};
    Outcome outcome = {-2, "", ""};
    if (::CreateProcessA(application.c_str(), &commandLine[0], NULL, NULL, TRUE, CREATE_SUSPENDED, NULL,
                         dir.c_str(), &startup, &process)) {
        EXPECT_TRUE(::AssignProcessToJobObject(job, process.hProcess));
        ::ResumeThread(process.hThread);
        outcome.code = -1;
        if (::WaitForSingleObject(process.hProcess, timeout) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(process.hProcess, &code);
            outcome.code = (int)code;
        }
        ::TerminateJobObject(job, 99);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << application << ": " << ::GetLastError();
    }
    ::CloseHandle(job);
    for (HANDLE stream : streams) ::CloseHandle(stream);
    outcome.out = ReadWholeFile(outPath);
    outcome.err = ReadWholeFile(errPath);
    return outcome;
}

// zentrel.exe, started directly; returns its exit code.
int RunProgram(const std::string& args, const std::string& dir) {
    const std::string exe = ProgramDir() + "\\zentrel.exe";
    return RunRedirected(exe, "\"" + exe + "\" " + args, dir).code;
}

// "zentrel <args>" typed into cmd.exe, as a script runs it: the shell picks
// the console program.
Outcome RunShell(const std::string& args, const std::string& dir) {
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, sizeof(system));
    const std::string cmd = std::string(system) + "\\cmd.exe";
    return RunRedirected(cmd, "cmd.exe /c " + ProgramDir() + "\\zentrel " + args, dir);
}

size_t Lines(const std::string& text) {
    size_t count = 0;
    for (char c : text) count += c == '\n';
    return count;
}

void SeedSource(bool systemScope, const std::string& name, const std::string& driver) {
    const HKEY root = ScopeRoot(systemScope);
    PutString(root, OdbcPath(name), "Driver", "C:\\drivers\\" + driver + ".dll");
    PutString(root, OdbcPath(name), "Description", name + " in " + (systemScope ? "system" : "user"));
    PutDword(root, OdbcPath(name), "Timeout", 0xFFFFFFFF);
    PutDword(root, OdbcPath(name + "\\Engines\\Jet"), "Threads", 3);
    PutString(root, OdbcPath("ODBC Data Sources"), name.c_str(), driver);
}

// The current user's account as the platform names it: "DOMAIN\name".
std::string OwnAccount() {
    char name[256] = "", domain[256] = "";
    DWORD nameSize = sizeof(name), domainSize = sizeof(domain);
    SID_NAME_USE use;
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidA("S-1-5-21-0-0-0-1000", &sid)) return "?";
    ::LookupAccountSidA(NULL, sid, name, &nameSize, domain, &domainSize, &use);
    ::LocalFree(sid);
    return std::string(domain) + "\\" + name;
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
    struct Case { std::string switchText; const char* present; const char* absent; };
    const Case cases[] = {
        {"-eu", "DSN=UserOne", "SysOne"},
        {"-s" + ThisComputerName() + " -eu", "DSN=UserOne", "SysOne"},
        {"-es", "DSN=SysOne", "UserOne"},
        {"-eU", "DSN=SysOne", "UserOne"},  // only a lowercase u selects the user scope
        {"/e:", "DSN=SysOne", "UserOne"},
    };
    for (const Case& c : cases) {
        const std::string file = dir + "\\out.dsi";
        ::DeleteFileA(file.c_str());
        ASSERT_EQ(0, RunProgram(c.switchText + "\"" + file + "\"", dir)) << c.switchText;
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

    const Outcome run = RunShell("-iu\"" + file + "\" -eu\"" + file + "\"", dir);
    ASSERT_EQ(0, run.code) << run.err;
    // The replaced definition went to a backup first, named on standard error.
    const std::string announced = "Backup of the data sources replaced or removed: ";
    ASSERT_EQ(0u, run.err.find(announced)) << run.err;
    const std::string backup = run.err.substr(announced.size(), run.err.find("\r\n") - announced.size());
    EXPECT_NE(std::string::npos, ReadWholeFile(backup).find("gone after import")) << backup;

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

// Through the command shell, as a script or a scheduled task runs it.
TEST_F(BatchProgramTest, ConsoleProgramReportsOnStandardErrorAndExitCode) {
    SeedSource(false, "Kept", "KeptDriver");
    const std::string missing = dir + "\\missing.dsi", good = dir + "\\good.dsi";
    struct Case {
        std::string args;
        int code;
        int errLines;          // -1: several
        const char* errStart;  // what standard error begins with
    };
    const Case cases[] = {
        {"-q -iu" + missing, 1, 1, "Error: File: '"},
        {"-iu" + missing, 1, 1, "Error: File: '"},  // quiet without -q
        {"-snosuchhost -es" + good, 1, 1, "RegConnectRegistry: "},
        {"-q -eu" + good, 0, 0, ""},
        {"-s" + ThisComputerName() + " -Eu" + good, 2, -1, "Usage: "},  // nothing to do
    };
    for (const Case& c : cases) {
        ::DeleteFileA(good.c_str());
        const Outcome run = RunShell(c.args, dir);
        EXPECT_EQ(c.code, run.code) << c.args << "\n" << run.err;
        if (c.errLines < 0) {
            EXPECT_LT(1u, Lines(run.err)) << c.args;
        } else {
            EXPECT_EQ((size_t)c.errLines, Lines(run.err)) << c.args << "\n" << run.err;
        }
        EXPECT_EQ(0u, run.err.find(c.errStart)) << c.args << "\n" << run.err;
        EXPECT_EQ("", run.out) << c.args;
        EXPECT_EQ(c.code == 0, ReadWholeFile(good).find("DSN=Kept") != std::string::npos) << c.args;
    }

    // A question takes its default answer: the missing ODBC section is created.
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kOdbcIniPath);
    const Outcome created = RunShell("-eu" + good, dir);
    EXPECT_EQ(0, created.code);
    EXPECT_EQ(1u, Lines(created.err));
    EXPECT_EQ(0u, created.err.find("RegOpenKey: ")) << created.err;
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kOdbcIniPath));
}

TEST_F(BatchProgramTest, ListPrintsEachSourceWithItsDriverAndScope) {
    SeedSource(false, "UserOne", "User Driver");
    SeedSource(false, "UserTwo", "Other Driver");
    SeedSource(true, "SysOne", "Sys Driver");
    PutKey(HKEY_LOCAL_MACHINE, OdbcPath("NoEntry"));  // a source without a driver entry
    for (const char* view : {"Software", "Software\\Wow6432Node"}) {
        const std::string drivers = std::string(view) + "\\ODBC\\ODBCINST.INI\\ODBC Drivers";
        PutString(HKEY_LOCAL_MACHINE, drivers, "User Driver", "Installed");
        PutString(HKEY_LOCAL_MACHINE, drivers, "Sys Driver", "Installed");
    }
    struct Case {
        std::string args;
        int code;
        std::string out;
    };
    const Case cases[] = {
        {"-lu", 0,
         "UserOne\tUser Driver\tUser\t32/64-bit\r\nUserTwo\tOther Driver\tUser\t32/64-bit, driver missing\r\n"},
        {"-ls", 0, "NoEntry\t\tSystem\t64-bit, driver missing\r\nSysOne\tSys Driver\tSystem\t64-bit\r\n"},
        {"-s" + ThisComputerName() + " -lu", 0,
         "UserOne\tUser Driver\tUser\t32/64-bit\r\nUserTwo\tOther Driver\tUser\t32/64-bit, driver missing\r\n"},
        // A view names System sources only: User ones are in both.
        {"-p32 -lu", 0,
         "UserOne\tUser Driver\tUser\t32/64-bit\r\nUserTwo\tOther Driver\tUser\t32/64-bit, driver missing\r\n"},
        {"-snosuchhost -lu", 1, ""},
        // Another computer's User DSNs are an account's: one not logged on
        // there is told, and no other account's are listed instead.
        {"-s" + ThisComputerName() + " -uS-1-5-21-9-9-9-4242 -lu", 1, ""},
        {"-s" + ThisComputerName() + " -w", 0, "S-1-5-21-0-0-0-1000\t" + OwnAccount() + "\r\n"},
    };
    for (const Case& c : cases) {
        const Outcome run = RunShell(c.args, dir);
        EXPECT_EQ(c.code, run.code) << c.args << "\n" << run.err;
        EXPECT_EQ(c.out, run.out) << c.args;
        EXPECT_EQ(c.code == 0 ? 0u : 1u, Lines(run.err)) << c.args << "\n" << run.err;
    }
}

// -c copies through the import: the driver check where the sources go comes
// first, -n previews, a wrong pair of places or name is an error.
TEST_F(BatchProgramTest, CopyPutsSourcesIntoAnotherViewOrScope) {
    SeedSource(false, "UserOne", "User Driver");
    SeedSource(true, "SysOne", "Sys Driver");
    for (const char* view : {"Software", "Software\\Wow6432Node"})
        PutString(HKEY_LOCAL_MACHINE, std::string(view) + "\\ODBC\\ODBCINST.INI\\ODBC Drivers", "User Driver",
                  "Installed");
    PutString(HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBCINST.INI\\ODBC Drivers", "Sys Driver", "Installed");
    struct Case {
        std::string args;
        int code;
        std::string out;
        std::function<bool()> done;  // what the registry holds after it
    };
    const auto has = [](HKEY root, std::string path) { return [root, path] { return KeyExists(root, path); }; };
    const Case cases[] = {
        {"-c63SysOne", 0, "driver\tSysOne\tSys Driver\t32-bit, driver missing\r\n",
         has(HKEY_LOCAL_MACHINE, OdbcPath32("SysOne") + "\\Engines\\Jet")},
        {"-n -cu6", 0, "driver\tUserOne\tUser Driver\t64-bit\r\nnew\tUserOne\t64-bit\r\n",
         [] { return !KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("UserOne")); }},
        {"-cu6\"UserOne\"", 0, "driver\tUserOne\tUser Driver\t64-bit\r\n",
         has(HKEY_LOCAL_MACHINE, OdbcPath("UserOne") + "\\Engines\\Jet")},
        {"-c3uSYSONE", 0, "driver\tSysOne\tSys Driver\t32/64-bit, 64-bit driver only\r\n", has(HKEY_CURRENT_USER, OdbcPath("SysOne"))},
        {"-c66", 1, "", [] { return true; }},
        {"-cx6", 1, "", [] { return true; }},
        {"-c63Nope", 1, "", [] { return !KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32("Nope")); }},
    };
    for (const Case& c : cases) {
        const Outcome run = RunShell(c.args, dir);
        EXPECT_EQ(c.code, run.code) << c.args << "\n" << run.err;
        EXPECT_EQ(c.out, run.out) << c.args;
        EXPECT_EQ(c.code == 0 ? 0u : 1u, Lines(run.err)) << c.args << "\n" << run.err;
        EXPECT_TRUE(c.done()) << c.args;
    }
    // The copy is the source whole, with its driver entry in the new place.
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, OdbcPath("UserOne"), "Description", &type, &data));
    EXPECT_STREQ("UserOne in user", Text(data).c_str());
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "UserOne", &type, &data));
    EXPECT_STREQ("User Driver", Text(data).c_str());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("SysOne")));
}

// A scope against its own export, and against the export changed one way
// at a time: the lines on standard output and the exit code.
TEST_F(BatchProgramTest, CompareTellsEachDifferenceAndExitsByOutcome) {
    SeedSource(true, "SysOne", "Sys Driver");
    const std::string file = dir + "\\ref.dsi";
    ASSERT_EQ(0, RunShell("-es" + file, dir).code);
    const std::string exported = ReadWholeFile(file);
    struct Case {
        const char* what;
        std::string from, to;  // the change made to the exported file
        std::string args;
        int code;
        std::string out;
        int errLines = 0;                 // messages on standard error
        std::function<void()> arrange = nullptr;
    };
    const auto noSection = [](HKEY root, const std::string& path) {
        return [root, path] { ::SHDeleteKeyA(root, path.c_str()); };
    };
    const Case cases[] = {
        {"identical", "", "", "-ds", 0, ""},
        // Told once, however far the count goes beyond the sections.
        {"count far beyond the file", "Items=1\r\n", "Items=2147483647\r\n", "-ds", 2, "", 1},
        {"preview of a count far beyond the file", "Items=1\r\n", "Items=2147483647\r\n", "-n -is", 1,
         "identical\tSysOne\t64-bit\r\n", 1},
        // Not compared is neither identical nor only in the registry.
        {"a row count that is none", "Platform=64-bit\r\nItems=", "Platform=64-bit\r\nItems=many\r\nX=", "-ds", 2,
         "", 1},
        {"rows the section announces and lacks", "Platform=64-bit\r\nItems=", "Platform=64-bit\r\nItems=9\r\nX=",
         "-ds", 2, "", 1},
        {"a source count that is none", "Items=1\r\n", "Items=one\r\n", "-ds", 2, "", 1},
        // A preview writes nothing, not even a missing section, whatever -p says.
        {"preview into a missing User section", "", "", "-n -iu", 1, "", 1, noSection(HKEY_CURRENT_USER, OdbcPath())},
        {"User preview under -p32", "", "", "-p32 -n -iu", 0, "new\tSysOne\t32/64-bit\r\n", 0,
         [] { PutKey(HKEY_CURRENT_USER, OdbcPath()); }},
        {"System preview of the view asked for", "", "", "-p64 -n -is", 0, "identical\tSysOne\t64-bit\r\n"},
        // The same name in both views, each its own: the preview reads the one asked for.
        {"System preview of the other view", "", "", "-p32 -n -is", 0,
         "replace\tSysOne\t32-bit\r\ndriver\tSysOne\t32-bit\t\tSys Driver 32\tSys Driver\r\n"
         "value\tSysOne\t32-bit\tDescription\tREG_SZ SysOne in 32-bit\tREG_SZ SysOne in system\r\n",
         0,
         [] {
             PutString(HKEY_LOCAL_MACHINE, OdbcPath32("SysOne"), "Driver", "C:\\drivers\\Sys Driver.dll");
             PutString(HKEY_LOCAL_MACHINE, OdbcPath32("SysOne"), "Description", "SysOne in 32-bit");
             PutDword(HKEY_LOCAL_MACHINE, OdbcPath32("SysOne"), "Timeout", 0xFFFFFFFF);
             PutDword(HKEY_LOCAL_MACHINE, OdbcPath32("SysOne\\Engines\\Jet"), "Threads", 3);
             PutString(HKEY_LOCAL_MACHINE, OdbcPath32("ODBC Data Sources"), "SysOne", "Sys Driver 32");
         }},
        // Why a source is refused, escaped as every other field.
        {"refused preview", "Platform=64-bit", "Platform=64\x1b[2J\x7f", "-n -is", 1,
         "refused\tSysOne\t64-bit\tits Platform '64\\x1b[2J\\x7f' is neither 32-bit nor 64-bit\r\n", 1},
        {"System preview into a view without a section", "", "", "-p32 -n -is", 1, "", 1,
         noSection(HKEY_LOCAL_MACHINE, OdbcPath32())},
        {"value text", "=SysOne in system", "=SysOne changed", "-ds", 1,
         "differs\tSysOne\t64-bit\r\nvalue\tSysOne\t64-bit\tDescription\tREG_SZ SysOne in system\t"
         "REG_SZ SysOne changed\r\n"},
        {"view", "Platform=64-bit", "Platform=32-bit", "-ds", 1,
         "only in file\tSysOne\t32-bit\r\nonly in registry\tSysOne\t64-bit\r\n"},
        // A missing section holds no sources; a comparison leaves it missing.
        {"only the view asked for", "", "", "-p32 -ds", 1, "only in file\tSysOne\t32-bit\r\n"},
        {"other scope", "", "", "-du", 1, "only in file\tSysOne\t32/64-bit\r\n"},
        {"other scope of another computer", "", "", "-s" + ThisComputerName() + " -du", 1,
         "only in file\tSysOne\t32/64-bit\r\n"},
        // Judged as import judges it: a name import refuses is not compared.
        {"a name import refuses", "DSN=SysOne", "DSN=ODBC Data Sources", "-ds", 2,
         "only in registry\tSysOne\t64-bit\r\n", 1},
        // Read only in part on the registry's side: neither side's half is a difference.
        {"a source the registry holds unreadable", "", "", "-ds", 2, "", 1,
         [] { SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("SysOne\\Engines\\Jet"), "D:P"); }},
        {"file missing", "", "", "-ds" + dir + "\\missing.dsi", 2, "", 1},
        // Another computer's run has swapped the source in and has yet to
        // write its driver entry: the preview waits for the change to end.
        {"preview while another run swaps a source in", "", "", "-n -is", 0, "identical\tSysOne\t64-bit\r\n", 0,
         [] {
             PutString(HKEY_LOCAL_MACHINE, OdbcPath("{zentrel-!lock}"), "Computer", "ELSEWHERE");
             PutDword(HKEY_LOCAL_MACHINE, OdbcPath("{zentrel-!lock}"), "Process", 1);
             PutBinary(HKEY_LOCAL_MACHINE, OdbcPath("{zentrel-!lock}"), "Started", std::vector<unsigned char>(8, 1));
             const std::string journal = std::string("zentrel-change-1") + '\0' + "replace" + '\0' + "SysOne" + '\0' +
                                         "Sys Driver" + '\0';
             PutBinary(HKEY_LOCAL_MACHINE, OdbcPath(), "{zentrel-99-1}", std::vector<unsigned char>(journal.begin(),
                                                                                                 journal.end()));
             PutString(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources"), "SysOne", "Old Driver");
             // Ends well after the preview has started looking.
             ::CloseHandle(::CreateThread(NULL, 0, [](void*) -> DWORD {
                 ::Sleep(2500);
                 ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, OdbcPath("ODBC Data Sources").c_str(), "SysOne", REG_SZ,
                                   "Sys Driver", 11);
                 ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, OdbcPath("{zentrel-!lock}").c_str());
                 ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, OdbcPath().c_str(), "{zentrel-99-1}");
                 return 0;
             }, NULL, 0, NULL));
         }},
        // A change whose run has not yet named itself in the lock is its
        // own, not an interrupted one. (Last: what it plants stays.)
        {"preview while another run starts a change", "", "", "-n -is", 0, "identical\tSysOne\t64-bit\r\n", 0,
         [] {
             PutKey(HKEY_LOCAL_MACHINE, OdbcPath("{zentrel-!lock}"));
             const std::string journal = std::string("zentrel-change-1") + '\0' + "replace" + '\0' + "SysOne" + '\0' +
                                         "Sys Driver" + '\0';
             PutBinary(HKEY_LOCAL_MACHINE, OdbcPath(), "{zentrel-99-1}", std::vector<unsigned char>(journal.begin(),
                                                                                                 journal.end()));
         }},
    };
    for (const Case& c : cases) {
        std::string text = exported;
        if (!c.from.empty()) text.replace(text.find(c.from), c.from.size(), c.to);
        WriteWholeFile(file, text);
        if (c.arrange) c.arrange();
        const bool sections[2] = {KeyExists(HKEY_CURRENT_USER, OdbcPath()),
                                  KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32())};
        const bool named = c.args.find(".dsi") != std::string::npos;
        const Outcome run = RunShell(named ? c.args : c.args + file, dir);
        SetAccess(HKEY_LOCAL_MACHINE, OdbcPath("SysOne\\Engines\\Jet"), "D:(A;;KA;;;WD)");
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        EXPECT_EQ(c.out, run.out) << c.what;
        EXPECT_EQ((size_t)c.errLines, Lines(run.err)) << c.what << "\n" << run.err;
        // Neither a preview nor a comparison writes anything.
        EXPECT_EQ(sections[0], KeyExists(HKEY_CURRENT_USER, OdbcPath())) << c.what;
        EXPECT_EQ(sections[1], KeyExists(HKEY_LOCAL_MACHINE, OdbcPath32())) << c.what;
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("SysOne"))) << c.what;
    }
}


// Planted secrets of every type: no line of any switch holds them, a
// difference in one still counts, and an export without them, imported
// back, keeps the registry's own.
TEST_F(BatchProgramTest, SecretsAreNeverPrintedAndStayWhereTheyAre) {
    SeedSource(true, "SysOne", "Sys Driver");
    const std::string src = OdbcPath("SysOne");
    const std::string pwd = "Pl4nted!Pw1", proxy = "Pl4nted!Pw2";
    PutString(HKEY_LOCAL_MACHINE, src, "PWD", pwd);
    PutBinary(HKEY_LOCAL_MACHINE, src + "\\Sub", "Proxy_Password", std::vector<unsigned char>(proxy.begin(), proxy.end()));
    PutString(HKEY_LOCAL_MACHINE, src, "Token", std::string("Pl4nted!Pw3\0x\0", 14), REG_MULTI_SZ);
    PutString(HKEY_LOCAL_MACHINE, src, "ClientSecret", "Pl4nted!Pw4", REG_EXPAND_SZ);
    PutDword(HKEY_LOCAL_MACHINE, src, "KeyStorePwd", 0x0BADF00D);
    const std::string full = dir + "\\full.dsi", bare = dir + "\\bare.dsi", other = dir + "\\other.dsi";
    ASSERT_EQ(0, RunShell("-es" + full, dir).code);
    std::string changed = ReadWholeFile(full);
    changed.replace(changed.find(pwd), pwd.size(), "Pl4nted!Pw9");
    WriteWholeFile(other, changed);
    // As text, as bytes in hex (ANSI and UTF-16), and the number.
    const char* const planted[] = {"Pl4nted", "506C346E746564", "50006C0034006E00", "0BADF00D", "0DF0AD0B", "195948557"};
    const std::string own = ThisComputerName();
    const std::string differs = "\tSysOne\t64-bit\tPWD\tREG_SZ ********\tREG_SZ ********\r\n";
    struct Case {
        const char* what;
        std::string args;
        int code;
        std::vector<std::string> out;  // each in standard output
    };
    const Case cases[] = {
        {"compare", "-ds" + other, 1, {"value" + differs}},
        {"preview", "-n -is" + other, 0, {"replace\tSysOne\t64-bit\r\nvalue" + differs}},
        {"list", "-ls", 0, {"SysOne\t"}},
        {"drift over computers", "-s" + own + ",nosuchhost -ds" + other, 2, {own + "\tvalue" + differs}},
        {"export leaving secrets out", "-es" + bare + " -x", 0, {}},
        {"that file compared", "-ds" + bare, 0, {}},
        {"that file imported", "-is" + bare, 0, {}},
        {"the registry kept every secret", "-ds" + full, 0, {}},
    };
    for (const Case& c : cases) {
        const Outcome run = RunShell(c.args, dir);
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        for (const std::string& line : c.out) EXPECT_NE(std::string::npos, run.out.find(line)) << c.what << "\n" << run.out;
        for (const char* form : planted) {
            EXPECT_EQ(std::string::npos, run.out.find(form)) << c.what << ": " << form << "\n" << run.out;
            EXPECT_EQ(std::string::npos, run.err.find(form)) << c.what << ": " << form << "\n" << run.err;
        }
    }
    const std::string written = ReadWholeFile(bare);
    for (const char* form : planted) EXPECT_EQ(std::string::npos, written.find(form)) << form << "\n" << written;
    for (const char* name : {"PWD", "Sub\\Proxy_Password", "Token", "ClientSecret", "KeyStorePwd"})
        EXPECT_NE(std::string::npos, written.find(std::string(";Left out (secret): ") + name + "\r\n")) << name;
    EXPECT_NE(std::string::npos, written.find("Sys Driver"));
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, src, "PWD", &type, &data));
    EXPECT_EQ(pwd + '\0', Text(data));
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, src + "\\Sub", "Proxy_Password", &type, &data));
    EXPECT_EQ(proxy, Text(data));
}

// Many computers in one run: each named computer gets its own run, files and
// backups, an unreachable one is told and passed, and the summary and exit
// code count them all. Here only this computer's own name reaches a registry.
TEST_F(BatchProgramTest, ManyComputersRunOneAfterAnother) {
    const std::string own = ThisComputerName();
    SeedSource(false, "Kept", "KeptDriver");
    SeedSource(true, "SysOne", "Sys Driver");
    const std::string ref = dir + "\\ref.dsi", sys = dir + "\\sys.dsi", in = dir + "\\in.dsi";
    ASSERT_EQ(0, RunShell("-es" + ref, dir).code);
    const std::string exported = ReadWholeFile(ref);
    std::string changed = exported;
    changed.replace(changed.find("=SysOne in system"), 17, "=SysOne drifted");
    // Replaces Kept, so that the import backs it up first.
    WriteWholeFile(in, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=New\r\nDSN=Kept\r\nItems=1\r\n"
                       "Name0=Server\r\nValue0=db02\r\nFormat0=1\r\n");
    WriteWholeFile(dir + "\\list.txt", "# the fleet\r\n\r\n   \r\n" + own + "\r\n  # " + own + "\r\nnosuchhost\r\n");
    WriteWholeFile(dir + "\\own.txt", "\xEF\xBB\xBF" + own + "\n");
    std::string big = "\xFE\xFF";  // UTF-16, the high byte first
    for (char c : own + "\r\n") big += std::string(1, '\0') + c;
    WriteWholeFile(dir + "\\big.txt", big);
    WriteWholeFile(dir + "\\odd.txt", big + std::string(1, '\0'));
    const std::string ownFile = dir + "\\sys." + own + ".dsi";
    const std::string failed = "nosuchhost (2 of 2): failed";
    struct Case {
        const char* what;
        std::string args;
        int code;
        std::string out;                     // exactly
        std::vector<std::string> err;            // each in standard error
        std::vector<std::string> files = {};     // made by the run
        std::vector<std::string> absent = {};    // not made
        bool imported = false;                   // Kept replaced
        bool outStarts = false;                  // out only begins so; each line begins with this computer
        std::function<void()> arrange = nullptr;
    };
    const Case cases[] = {
        {"own name twice", "-s" + own + "," + own + " -es" + sys, 0, "",
         {"Computer list, name 2: '" + own + "' is named before; skipped.\r\n" + own + " (1 of 1): started\r\n" +
              own + " (1 of 1): done: 1 exported\r\nSummary: 1 of 1 computers done, 0 failed\r\n"},
         {ownFile},
         {sys}},
        {"own and unreachable", "-s" + own + ",nosuchhost -es" + sys + " -lu", 1,
         own + "\tKept\tKeptDriver\tUser\t32/64-bit, driver missing\r\n",
         {own + " (1 of 2): done: 1 exported, 1 listed\r\n", "RegConnectRegistry: Computer: 'nosuchhost'",
          failed + ": 0 exported, 0 listed\r\n", "Summary: 1 of 2 computers done, 1 failed: nosuchhost\r\n"},
         {ownFile},
         {sys, dir + "\\sys.nosuchhost.dsi"}},
        {"list file with comments and blanks", "-s@list.txt -lu", 1,
         own + "\tKept\tKeptDriver\tUser\t32/64-bit, driver missing\r\n",
         {own + " (1 of 2): started", failed, "Summary: 1 of 2 computers done, 1 failed: nosuchhost\r\n"}},
        {"list file unreadable", "-s@missing.txt -iu" + in, 1, "", {"Error: File: '"}, {}, {}},
        {"list file in UTF-16, high byte first", "-s@big.txt -lu", 0,
         own + "\tKept\tKeptDriver\tUser\t32/64-bit, driver missing\r\n",
         {own + " (1 of 1): done: 1 listed\r\n"}},
        {"list file in UTF-16 of an odd length", "-s@odd.txt -lu", 1, "", {"Error: File: '"}},
        {"import per computer", "-s@list.txt -iu" + in, 1, "",
         {"Backup of the data sources replaced or removed: ", "-" + own + "-user.dsi\r\n",
          own + " (1 of 2): done: 1 written, 1 replaced, 0 skipped\r\n", failed + ": 0 written, 0 replaced, 0 skipped"},
         {}, {}, true},
        // One other computer alone: its backup names it too.
        {"import on another computer", "-s" + own + " -iu" + in, 0, "",
         {"Backup of the data sources replaced or removed: ", "-" + own + "-user"}, {}, {}, true},
        {"drift", "-s@own.txt -ds" + ref, 1,
         own + "\tdiffers\tSysOne\t64-bit\r\n" + own +
             "\tvalue\tSysOne\t64-bit\tDescription\tREG_SZ SysOne in system\tREG_SZ SysOne drifted\r\n",
         {own + " (1 of 1): done: 1 different\r\n", "Summary: 1 of 1 computers done (1 different: " + own + ")"}},
        {"preview per computer", "-s@own.txt -n -iu" + in, 0, own + "\treplace\tKept\t32/64-bit\r\n" + own + "\t",
         {"Summary: 1 of 1 computers done, 0 failed"}, {}, {}, false, true},
        // One computer as ever, the refusal told with what would let it through.
        {"a change refused", "-iu" + in, 1, "",
         {"Access denied: Data source 'Kept' on computer '" + own + "' was not changed: access denied. "},
         {}, {}, false, false,
         [] { SetAccess(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "D:P(A;;KR;;;WD)"); }},
        // A source whose write failed is one not written. (Taken the copy
        // way, as over a connection, its key is in before its driver entry fails.)
        {"a write failed on one of many", "-s@own.txt -iu" + in, 1, "",
         {own + " (1 of 1): failed: 0 written, 0 replaced, 1 skipped\r\n"}, {}, {}, true, false,
         [] { SetAccess(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "D:P(A;;KR;;;WD)"); }},
        {"every change refused", "-iu" + in, 1, "",
         {"Access denied: The data sources on computer '" + own + "' were not changed: access denied. "},
         {}, {}, false, false, [] { SetAccess(HKEY_CURRENT_USER, OdbcPath(), "D:P(A;;KR;;;WD)"); }},
        // A computer compared only in part tells no drift.
        {"drift of one compared in part", "-s@own.txt -ds" + ref, 2, "", {own + " (1 of 1): failed"}, {}, {}, false,
         false,
         [ref, changed] {
             std::string text = changed;
             text.replace(text.find("Items=1\r\n"), 9, "Items=2\r\n");
             WriteWholeFile(ref, text + "[DSN1]\r\nDSN=Bad\r\nItems=x\r\n");
         }},
        {"drift with one not compared", "-s" + own + ",nosuchhost -ds" + ref, 2,
         own + "\tdiffers\tSysOne\t64-bit\r\n" + own +
             "\tvalue\tSysOne\t64-bit\tDescription\tREG_SZ SysOne in system\tREG_SZ SysOne drifted\r\n",
         {failed + ": 0 different\r\n"}},
    };
    for (const Case& c : cases) {
        for (const std::string& file : {sys, ownFile}) ::DeleteFileA(file.c_str());
        WriteWholeFile(ref, changed);
        if (c.arrange) c.arrange();
        const Outcome run = RunShell(c.args, dir);
        for (const std::string& key : {OdbcPath(), OdbcPath("ODBC Data Sources")})
            SetAccess(HKEY_CURRENT_USER, key, "D:(A;;KA;;;WD)");
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        if (c.outStarts) {
            EXPECT_EQ(0u, run.out.find(c.out)) << c.what << "\n" << run.out;
            for (size_t at = 0; at < run.out.size();) {
                EXPECT_EQ(0, run.out.compare(at, own.size() + 1, own + "\t")) << c.what << "\n" << run.out;
                const size_t end = run.out.find('\n', at);
                at = end == std::string::npos ? run.out.size() : end + 1;
            }
        } else {
            EXPECT_EQ(c.out, run.out) << c.what;
        }
        for (const std::string& text : c.err)
            EXPECT_NE(std::string::npos, run.err.find(text)) << c.what << ": " << text << "\n" << run.err;
        // The commented line names this computer again: read, it would be a duplicate.
        if (c.args.find("@list") != std::string::npos) {
            EXPECT_EQ(std::string::npos, run.err.find("is named before")) << c.what << "\n" << run.err;
        }
        for (const std::string& file : c.files)
            EXPECT_NE(std::string::npos, ReadWholeFile(file).find("DSN=SysOne")) << c.what << ": " << file;
        for (const std::string& file : c.absent)
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(file.c_str())) << c.what << ": " << file;
        DWORD type = 0;
        std::vector<unsigned char> data;
        EXPECT_EQ(c.imported, GetValue(HKEY_CURRENT_USER, OdbcPath("Kept"), "Server", &type, &data)) << c.what;
        ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Kept").c_str());
        SeedSource(false, "Kept", "KeptDriver");
    }
}

// Removal from the command line: one name a switch or a file of names,
// any name a source can have, backed up first, without a question.
TEST_F(BatchProgramTest, RemovesNamedSources) {
    const std::string own = ThisComputerName();
    const std::vector<std::string> users = {"Kept", "-n", "@at", "/q", "A, b=c \xC3\xA9"};
    WriteWholeFile(dir + "\\names.txt", "\xEF\xBB\xBF" "Kept\r\n@at\r\n\r\nA, b=c \xC3\xA9\r\n");
    const std::string announced = "Backup of the data sources replaced or removed: ";
    struct Case {
        const char* what;
        std::string args;
        int code;
        std::string out;                // exactly
        std::vector<std::string> err;   // each in standard error
        std::vector<std::string> gone;  // User sources removed; the others stay
        bool sysGone = false;
        std::function<void()> arrange = nullptr;
    };
    const Case cases[] = {
        {"one, backed up first", "-ruKept", 0, "", {announced}, {"Kept"}},
        {"names that look like switches", "-ru-n -ru\"@at\" -ru/q", 0, "", {announced}, {"-n", "@at", "/q"}},
        {"a file of names", "-ru@names.txt", 0, "", {announced}, {"Kept", "@at", "A, b=c \xC3\xA9"}},
        {"a preview changes nothing", "-n -ruKept -ru\"A, b=c \xC3\xA9\" -ruGone", 0,
         "remove\tKept\t32/64-bit\r\nremove\tA, b=c \xC3\xA9\t32/64-bit\r\n",
         {"There is no data source 'Gone' among the User DSNs; nothing to remove."}, {}},
        {"nothing to remove, said so", "-rsKept", 0, "",
         {"There is no data source 'Kept' among the System DSNs; nothing to remove."}, {}},
        {"reserved names and paths refused", "-ru\"ODBC Data Sources\" -ruKept\\Engines -ruODBC", 1, "",
         {"'ODBC Data Sources' is not the name of a data source that can be removed", "'Kept\\Engines' is not",
          "'ODBC' is not"},
         {}},
        {"a backup that cannot hold it", "-ruKept -ru/q", 1, "",
         {"Data source 'Kept' cannot be backed up whole"}, {"/q"}, false,
         [] { PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Kept", "Two\r\nlines"); }},
        {"the System scope's one view", "-p64 -rsSysOne", 0, "", {announced}, {}, true},
        {"many computers", "-s" + own + ",nosuchhost -ruKept", 1, "",
         {own + " (1 of 2): done: 1 removed\r\n", "nosuchhost (2 of 2): failed: 0 removed"}, {"Kept"}},
        {"a preview over many computers", "-s" + own + ", -n -ruKept", 0, own + "\tremove\tKept\t32/64-bit\r\n",
         {own + " (1 of 1): done\r\n"}, {}},
        {"a names file that cannot be read: nothing removed", "-ruKept -ru@missing.txt", 1, "",
         {"Error: File: '"}, {}},
    };
    for (const Case& c : cases) {
        ClearTestRegistry();
        for (const std::string& name : users) SeedSource(false, name, "D");
        SeedSource(true, "SysOne", "Sys Driver");
        if (c.arrange) c.arrange();
        const Outcome run = RunShell(c.args, dir);
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        EXPECT_EQ(c.out, run.out) << c.what;
        for (const std::string& text : c.err)
            EXPECT_NE(std::string::npos, run.err.find(text)) << c.what << ": " << text << "\n" << run.err;
        for (const std::string& name : users) {
            const bool gone = std::find(c.gone.begin(), c.gone.end(), name) != c.gone.end();
            EXPECT_NE(gone, KeyExists(HKEY_CURRENT_USER, OdbcPath(name))) << c.what << ": " << name;
            DWORD type = 0;
            std::vector<unsigned char> data;
            EXPECT_NE(gone, GetValue(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), name.c_str(), &type, &data))
                << c.what << ": " << name;
        }
        EXPECT_NE(c.sysGone, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("SysOne"))) << c.what;
        // What went is in the backup the run named.
        const size_t at = run.err.find(announced);
        if (!c.gone.empty() && at != std::string::npos) {
            const size_t from = at + announced.size();
            const std::string backup = ReadWholeFile(run.err.substr(from, run.err.find("\r\n", from) - from));
            // Written in the ANSI code page where it fits: the ASCII part is checked.
            for (const std::string& name : c.gone)
                EXPECT_NE(std::string::npos, backup.find("DSN=" + name.substr(0, name.find('\xC3'))))
                    << c.what << ": " << name;
        }
    }
}

// zentrel.com runs as its caller; the window asks for an administrator.
TEST(ProgramManifest, ConsoleRunsAsInvokerWindowAsAdministrator) {
    struct Case { const char* program; const char* level; };
    for (const Case& c : {Case{"zentrel.com", "level=\"asInvoker\""}, Case{"zentrel.exe", "level=\"requireAdministrator\""}}) {
        const std::string path = ProgramDir() + "\\" + c.program;
        const HMODULE module = ::LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(HMODULE(NULL), module) << path;
        const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        ASSERT_NE(HRSRC(NULL), found) << c.program;
        const char* text = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
        const std::string manifest(text, ::SizeofResource(module, found));
        EXPECT_NE(std::string::npos, manifest.find(c.level)) << c.program;
        EXPECT_NE(std::string::npos, manifest.find(">UTF-8<")) << c.program;
        ::FreeLibrary(module);
    }
}

// Under the null graphics driver a real message box would block until the
// time-out: a quiet run of the windowed program must end on its own.
TEST_F(BatchProgramTest, WindowedProgramWithQuietShowsNoBox) {
    const std::string exe = ProgramDir() + "\\zentrel.exe";
    const std::string cases[] = {
        "-q -iu" + dir + "\\missing.dsi",
        "-q -snosuchhost -lu",
    };
    for (const std::string& args : cases) {
        const Outcome run = RunRedirected(exe, "zentrel.exe " + args, dir, 20000);
        EXPECT_EQ(1, run.code) << args;
        EXPECT_EQ(1u, Lines(run.err)) << args << "\n" << run.err;
        EXPECT_EQ("", run.out) << args;
    }
}

// Error paths run in-process, through the routine the program runs, so that
// their message boxes are scripted instead of waiting for a user.
class BatchRoutineTest : public WindowTest {
protected:
    BatchRoutineTest() : WindowTest(Mode::Batch) {}
    int Run(const char* commandLine) {
        ManagerApp& app = ResetApp();
        app.ParseCommandLine(commandLine);
        EXPECT_TRUE(app.m_bBatchMode);
        const int code = app.RunBatch(*window);
        app.m_bBatchMode = FALSE;
        return code;
    }
    std::string dir = ScratchDir("batch-routine");
};

TEST_F(BatchRoutineTest, UnknownComputerFailsWithExitOne) {
    // Many computers: each one's own context asks through the run's prompts,
    // which the run has back at the end; each is told once, whatever the switches.
    struct Case { const char* computers; size_t told; };
    // One computer alone is told by each operation, as ever.
    for (const Case& c : {Case{"nosuchhost", 2}, Case{"nosuchhost,nosuch2,nosuch3", 3}}) {
        const char* computers = c.computers;
        prompts->calls.clear();
        prompts->messageAnswers = {IDOK, IDOK, IDOK};
        const std::string line = std::string("-s") + computers + " -ls -es\"" + dir + "\\x.dsi\"";
        EXPECT_EQ(1, Run(line.c_str())) << computers;
        ASSERT_EQ(c.told, prompts->calls.size()) << computers;
        for (const auto& call : prompts->calls) {
            EXPECT_EQ("RegConnectRegistry", call.caption) << computers;
            EXPECT_EQ(NULL, call.owner);
        }
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((dir + "\\x.dsi").c_str()));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((dir + "\\x.nosuchhost.dsi").c_str()));
    }
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

// The batch over a plain run context, as the program runs it: no window is
// made on the way, and an exception ends the run with 1, told on the error
// stream.
class BatchContextTest : public RegistryTest {
protected:
    struct Run {
        int code;
        int windowsMade;
        std::string out, err;
    };
    Run RunLine(Prompts* prompts, const std::string& line) {
        s_windowsMade = 0;
        int code = 0;
        const CapturedStreams streams = CaptureStdStreams(dir, [&]() {
            const HHOOK hook = ::SetWindowsHookExA(WH_CBT, &CountCreations, NULL, ::GetCurrentThreadId());
            ManagerApp& app = ResetApp();
            app.ParseCommandLine(line.c_str());
            RunContext run{std::unique_ptr<Prompts>(prompts)};
            code = app.RunBatch(run);
            app.m_bBatchMode = FALSE;
            ::UnhookWindowsHookEx(hook);
        });
        return Run{code, s_windowsMade, streams.out, streams.err};
    }
    static LRESULT CALLBACK CountCreations(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) ++s_windowsMade;
        return ::CallNextHookEx(NULL, code, wParam, lParam);
    }
    static int s_windowsMade;
    std::string dir = ScratchDir("batch-context");
};
int BatchContextTest::s_windowsMade = 0;

struct ThrowingPrompts : ScriptedPrompts {
    int Message(HWND, const char*, const char*, UINT) override { throw std::runtime_error("prompt broke"); }
};

TEST_F(BatchContextTest, RunsWithoutAWindow) {
    SeedSource(false, "Fine", "D");
    const std::string file = dir + "\\ok.dsi";
    ScriptedPrompts* prompts = new ScriptedPrompts;
    const Run run = RunLine(prompts, "-eu\"" + file + "\" -lu");
    EXPECT_EQ(0, run.code) << run.err;
    EXPECT_EQ(0, run.windowsMade);
    EXPECT_NE(std::string::npos, ReadWholeFile(file).find("DSN=Fine"));
    EXPECT_NE(std::string::npos, run.out.find("Fine\tD\tUser\t")) << run.out;
}

TEST_F(BatchContextTest, ExceptionEndsTheRunWithOne) {
    const Run run = RunLine(new ThrowingPrompts, "-snosuchhost -eu\"" + dir + "\\x.dsi\"");
    EXPECT_EQ(1, run.code);
    EXPECT_NE(std::string::npos, run.err.find("prompt broke")) << run.err;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((dir + "\\x.dsi").c_str()));
}

// Computers at once, through the connection seam: "waitN" answers after N
// milliseconds, as this computer does.
DWORD AnswerAfter(std::string* computer) {
    if (computer->compare(0, 4, "wait") != 0) return 0;
    const DWORD delay = (DWORD)atoi(computer->c_str() + 4);
    *computer = ThisComputerName();
    return delay;
}

TEST_F(BatchContextTest, ManyComputersAtOnce) {
    SeedSource(false, "Kept", "KeptDriver");
    const std::string in = dir + "\\in.dsi";
    WriteWholeFile(in, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=New\r\nDSN=Fresh\r\nItems=0\r\n");
    const std::string listed = "\tKept\tKeptDriver\tUser\t32/64-bit, driver missing\r\n";
    struct Case {
        const char* what;
        std::string line;
        int code;
        std::string out;                // exactly
        std::vector<std::string> err;   // in standard error, in this order
    };
    const Case cases[] = {
        {"output in the order named, ends as they come", "-q -swait900,wait0,wait400 -lu", 0,
         "wait900" + listed + "wait0" + listed + "wait400" + listed,
         {"wait0 (2 of 3): done: 1 listed", "wait400 (3 of 3): done", "wait900 (1 of 3): done"}},
        {"one after another", "-q -j1 -swait300,wait0 -lu", 0, "wait300" + listed + "wait0" + listed,
         {"wait300 (1 of 2): done", "wait0 (2 of 2): started", "wait0 (2 of 2): done"}},
        {"past its limit: not reached, nothing written", "-q -t1 -swait1600, -ruKept -iu\"" + in + "\"", 1, "",
         {"Computer 'wait1600' did not answer within 1 seconds; it is not reached",
          "wait1600 (1 of 1): failed: 0 removed, 0 written", "Summary: 0 of 1 computers done, 1 failed: wait1600"}},
        {"a limit out of range", "-q -t0 -swait0,wait0 -lu", 1, "", {"'-t0': -j takes"}},
    };
    SetConnectionDelay(&AnswerAfter);
    for (const Case& c : cases) {
        const Run run = RunLine(new ScriptedPrompts, c.line);
        EXPECT_EQ(c.code, run.code) << c.what << "\n" << run.err;
        EXPECT_EQ(c.out, run.out) << c.what << "\n" << run.err;
        size_t at = 0;
        for (const std::string& text : c.err) {
            at = run.err.find(text, at);
            EXPECT_NE(std::string::npos, at) << c.what << ": " << text << "\n" << run.err;
        }
    }
    SetConnectionDelay(nullptr);
    // The late connection is long made and closed: it wrote nothing.
    ::Sleep(1000);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OdbcPath("Kept")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("Fresh")));
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
        // A device's name, with or without an extension, in any case: no
        // file at all, refused before it is opened.
        {dir, "-euCOM1", dir + "\\COM1", false},
        {dir, "-eulpt9.dsi", dir + "\\lpt9.dsi", false},
        {dir, "-euNul.Txt", dir + "\\Nul.Txt", false},
        {dir, "-euaux", dir + "\\aux", false},
        {dir, "-eu" + dir + "\\Con.dsi", dir + "\\Con.dsi", false},
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
