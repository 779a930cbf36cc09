#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "core/Fleet.h"
#include "core/Platform.h"

using zentrel::CommandLineSwitches;
using zentrel::Platform;
using zentrel::ReadCopyPlace;

namespace {

CommandLineSwitches Parse(const char* tail, std::vector<std::string>* tokens = nullptr) {
    CommandLineSwitches s;
    zentrel::TokenizeCommandLine(tail, [&](const std::string& token) {
        if (tokens) tokens->push_back(token);
        s.ParseSwitch(token);
    });
    return s;
}

struct Expect {
    const char* tail;
    int batch, import, export_, user;
    const char* file;
    const char* remote;
    const char* account = "";
    int accounts = 0;  // -w
};

TEST(CommandLine, Switches) {
    const Expect cases[] = {
        {"-euC:\\dsn\\user.dsi", 1, 0, 1, 1, "C:\\dsn\\user.dsi", ""},
        {"-esD:\\all.dsi", 1, 0, 1, 0, "D:\\all.dsi", ""},
        {"/i:backup.dsi", 1, 1, 0, 0, "backup.dsi", ""},
        {"-iu\"C:\\My Files\\a.dsi\"", 1, 1, 0, 1, "C:\\My Files\\a.dsi", ""},
        {"-e\"D:\\x.dsi\"", 1, 0, 1, 0, "D:\\x.dsi", ""},
        {"-sSERVER01", 0, 0, 0, 0, "", "SERVER01"},
        {"-e", 1, 0, 1, 0, "", ""},
        {"-E:x -I:y -x -h -?", 0, 0, 0, 0, "", ""},
        {"", 0, 0, 0, 0, "", ""},
        {"     ", 0, 0, 0, 0, "", ""},
        {"-eUC:\\a.dsi", 1, 0, 1, 0, "C:\\a.dsi", ""},
        {"\"-euC:\\a.dsi\"", 0, 0, 0, 0, "", ""},
        {"-e C:\\a.dsi", 1, 0, 1, 0, "", ""},
        {"-euA.dsi -isB.dsi", 1, 1, 1, 0, "B.dsi", ""},
        {"-euA.dsi\t-isB.dsi", 1, 0, 1, 1, "A.dsi\t-isB.dsi", ""},
        {"-s\"far host\"", 0, 0, 0, 0, "", "\"far host\""},
        {"-es\"\"\"a\"b\"\"", 1, 0, 1, 0, "a\"b", ""},
        {"-eu\"\"\"", 1, 0, 1, 1, "", ""},
        {"-s", 0, 0, 0, 0, "", ""},
        {"-sONE -sTWO", 0, 0, 0, 0, "", "TWO"},
        {"-eu\"unbalanced name", 1, 0, 1, 1, "unbalanced name", ""},
        {"/eu", 1, 0, 1, 1, "", ""},
        {"-", 0, 0, 0, 0, "", ""},
        {"x-eu", 0, 0, 0, 0, "", ""},
        {"-u\"DOM\\John Smith\" -sFAR -w", 1, 0, 0, 0, "", "FAR", "DOM\\John Smith", 1},
        {"-uS-1-5-21-1-2-3-1001 -wx", 0, 0, 0, 0, "", "", "S-1-5-21-1-2-3-1001", 0},
    };
    for (const Expect& c : cases) {
        const CommandLineSwitches s = Parse(c.tail);
        EXPECT_EQ(c.batch, s.m_bBatchMode) << c.tail;
        EXPECT_EQ(c.import, s.m_bImport) << c.tail;
        EXPECT_EQ(c.export_, s.m_bExport) << c.tail;
        EXPECT_EQ(c.user, s.m_bUserScope) << c.tail;
        EXPECT_EQ(c.file, s.m_strFileName) << c.tail;
        EXPECT_EQ(c.remote, s.m_strRemoteSystem) << c.tail;
        EXPECT_EQ(c.account, s.m_strAccount) << c.tail;
        EXPECT_EQ(c.accounts, s.m_bListAccounts) << c.tail;
    }
}

TEST(CommandLine, Tokens) {
    struct Case { const char* tail; std::vector<std::string> tokens; };
    const Case cases[] = {
        {"a  b   c", {"a", "b", "c"}},
        {"  lead trail  ", {"lead", "trail"}},
        {"\"a b\" c", {"\"a b\"", "c"}},
        {"x\"a b\"y z", {"x\"a b\"y", "z"}},
        {"tab\tinside", {"tab\tinside"}},
        {"\"open to the end", {"\"open to the end"}},
        {"back\\slash", {"back\\slash"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> tokens;
        Parse(c.tail, &tokens);
        EXPECT_EQ(c.tokens, tokens) << c.tail;
    }
}

TEST(CommandLine, QuietAndList) {
    struct Case {
        const char* tail;
        int quiet, list, listUser, batch, exportUser;
        const char* file;
    };
    const Case cases[] = {
        {"-q", 1, 0, 0, 0, 0, ""},
        {"/q -lu", 1, 1, 1, 1, 0, ""},
        {"-ls", 0, 1, 0, 1, 0, ""},
        {"-l", 0, 1, 0, 1, 0, ""},
        {"-lU", 0, 1, 0, 1, 0, ""},
        {"-Q -L", 0, 0, 0, 0, 0, ""},
        // The list switch has a scope of its own and takes no file.
        {"-euA.dsi -ls", 0, 1, 0, 1, 1, "A.dsi"},
        {"-lu -esB.dsi", 0, 1, 1, 1, 0, "B.dsi"},
    };
    for (const Case& c : cases) {
        const CommandLineSwitches s = Parse(c.tail);
        EXPECT_EQ(c.quiet, s.m_bQuiet) << c.tail;
        EXPECT_EQ(c.list, s.m_bList) << c.tail;
        EXPECT_EQ(c.listUser, s.m_bListUserScope) << c.tail;
        EXPECT_EQ(c.batch, s.m_bBatchMode) << c.tail;
        EXPECT_EQ(c.exportUser, s.m_bUserScope) << c.tail;
        EXPECT_EQ(c.file, s.m_strFileName) << c.tail;
    }
}

// -d has its own scope and file; -n only qualifies an import.
TEST(CommandLine, CompareAndPreview) {
    struct Case {
        const char* tail;
        int compare, compareUser, preview, batch;
        const char* compareFile;
        const char* importFile;
        int withhold = 0;  // -x
    };
    const Case cases[] = {
        {"-du\"C:\\ref.dsi\"", 1, 1, 0, 1, "C:\\ref.dsi", ""},
        {"/dsref.dsi -iuA.dsi -n", 1, 0, 1, 1, "ref.dsi", "A.dsi"},
        {"-n", 0, 0, 1, 0, "", ""},
        {"-nx -D", 0, 0, 0, 0, "", ""},
        {"-d", 1, 0, 0, 1, "", ""},
        {"-esall.dsi /x", 0, 0, 0, 1, "", "all.dsi", 1},
        {"-xs -es", 0, 0, 0, 1, "", "", 0},
    };
    for (const Case& c : cases) {
        const CommandLineSwitches s = Parse(c.tail);
        EXPECT_EQ(c.compare, s.m_bCompare) << c.tail;
        EXPECT_EQ(c.compareUser, s.m_bCompareUserScope) << c.tail;
        EXPECT_EQ(c.preview, s.m_bPreview) << c.tail;
        EXPECT_EQ(c.batch, s.m_bBatchMode) << c.tail;
        EXPECT_EQ(c.compareFile, s.m_strCompareFile) << c.tail;
        EXPECT_EQ(c.importFile, s.m_strFileName) << c.tail;
        EXPECT_EQ(c.withhold, s.m_bWithholdSecrets) << c.tail;
    }
}

// -r: one name a switch, whatever it holds; '@' names a file unless quoted.
// -j and -t: a number in range, or the switch is refused whole.
TEST(CommandLine, RemovalAndFleetWidth) {
    struct Case {
        const char* tail;
        std::vector<std::string> removals;  // "u:" or "s:", then "@" for a file, then the text
        int atOnce, wait;
        const char* bad;
    };
    const Case cases[] = {
        {"-rsOld", {"s:Old"}, 8, 60, ""},
        {"-ru\"My DSN, 2=x\" -rs-n -rs/q", {"u:My DSN, 2=x", "s:-n", "s:/q"}, 8, 60, ""},
        {"-ru\"@prod\" -ru@\"C:\\my names.txt\"", {"u:@prod", "u:@C:\\my names.txt"}, 8, 60, ""},
        {"-rs -ru\"\"", {"s:", "u:"}, 8, 60, ""},
        {"-rs\xC3\xA9t\xC3\xA9 -j1 -t5", {"s:\xC3\xA9t\xC3\xA9"}, 1, 5, ""},
        {"-j64 -t86400", {}, 64, 86400, ""},
        {"-j0", {}, 8, 60, "-j0"},
        {"-j65", {}, 8, 60, "-j65"},
        {"-t", {}, 8, 60, "-t"},
        {"-t-1", {}, 8, 60, "-t-1"},
        {"-j 4", {}, 8, 60, "-j"},
        {"-t99999999999", {}, 8, 60, "-t99999999999"},
    };
    for (const Case& c : cases) {
        const CommandLineSwitches s = Parse(c.tail);
        std::vector<std::string> removals;
        for (const zentrel::RemovalSwitch& r : s.m_removals)
            removals.push_back(std::string(r.userScope ? "u:" : "s:") + (r.fromFile ? "@" : "") + r.text);
        EXPECT_EQ(c.removals, removals) << c.tail;
        EXPECT_EQ(c.removals.empty() ? 0 : 1, s.m_bBatchMode) << c.tail;
        EXPECT_EQ(c.atOnce, s.m_nAtOnce) << c.tail;
        EXPECT_EQ(c.wait, s.m_nWaitSeconds) << c.tail;
        EXPECT_EQ(c.bad, s.m_strBadSwitch) << c.tail;
    }
    // A names file: every line that is not empty, exactly as it stands.
    EXPECT_EQ((std::vector<std::string>{" lead", "# not a comment", "@at", "tail "}),
              zentrel::NameLines(" lead\r\n\r\n# not a comment\n@at\ntail "));
}

// -c: two place letters and a name; the places as a copy reads them.
TEST(CommandLine, CopyBetweenPlaces) {
    struct Case {
        const char* tail;
        int copy, batch;
        const char* places;
        const char* name;
    };
    const Case cases[] = {
        {"-c36", 1, 1, "36", ""},
        {"-cu6\"My DSN\" -q", 1, 1, "u6", "My DSN"},
        {"/c63Payroll -euA.dsi", 1, 1, "63", "Payroll"},
        {"-c3", 1, 1, "3", ""},
        {"-C36", 0, 0, "", ""},
    };
    for (const Case& c : cases) {
        const CommandLineSwitches s = Parse(c.tail);
        EXPECT_EQ(c.copy, s.m_bCopy) << c.tail;
        EXPECT_EQ(c.batch, s.m_bBatchMode) << c.tail;
        EXPECT_EQ(c.places, s.m_strCopyPlaces) << c.tail;
        EXPECT_EQ(c.name, s.m_strCopyName) << c.tail;
    }
    struct Place {
        char letter;
        bool known, system;
        Platform view;
    };
    for (const Place& p : {Place{'u', true, false, Platform::Shared}, Place{'3', true, true, Platform::Bit32},
                           Place{'6', true, true, Platform::Bit64}, Place{'s', false, true, Platform::Shared}}) {
        bool system = false;
        Platform view = Platform::Bit32;
        EXPECT_EQ(p.known, ReadCopyPlace(p.letter, &system, &view)) << p.letter;
        if (!p.known) continue;
        EXPECT_EQ(p.system, system) << p.letter;
        EXPECT_EQ(p.view, view) << p.letter;
    }
}

// -s naming many computers: the names each run gets, in order, and what is
// reported and skipped.
TEST(ComputerList, NamesAndProblems) {
    struct Case {
        const char* value;   // the -s switch's text, or with '@' the list file's text
        bool many;
        std::vector<std::string> names;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"SRV01", false, {"SRV01"}, {}},
        {"\\SRV01", false, {"\\SRV01"}, {}},
        {"SRV01,SRV02", true, {"SRV01", "SRV02"}, {}},
        {"SRV01,", true, {"SRV01"}, {"Computer list, name 2: no computer name; skipped."}},
        {",\\,b", true, {"b"}, {"Computer list, name 1: no computer name; skipped.",
                                  "Computer list, name 2: no computer name; skipped."}},
        // One computer by any of its spellings.
        {"srv,SRV,\\Srv", true, {"srv"}, {"Computer list, name 2: 'SRV' is named before; skipped.",
                                           "Computer list, name 3: '\\Srv' is named before; skipped."}},
        {"@# fleet\r\n\r\n  SRV01  \r\n\t\nSRV02\n  # off\nsrv01\nlast", true, {"SRV01", "SRV02", "last"},
         {"Computer list, line 7: 'srv01' is named before; skipped."}},
        {"@\x1b[2J,x", true, {"\x1b[2J,x"}, {}},
        {"@", true, {}, {}},
    };
    for (const Case& c : cases) {
        // A list file's text stands after the '@' here.
        const zentrel::ComputerSwitch which = zentrel::ReadComputerSwitch(c.value);
        EXPECT_EQ(c.many, which.many) << c.value;
        const zentrel::ComputerList list =
            which.fromFile ? zentrel::ReadComputerListText(which.text) : zentrel::SplitComputerNames(which.text);
        EXPECT_EQ(c.names, list.names) << c.value;
        std::vector<std::string> problems;
        for (const auto& problem : list.problems) problems.push_back(zentrel::ComputerListProblemText(problem));
        EXPECT_EQ(c.problems, problems) << c.value;
    }
    EXPECT_EQ("C:\\My Lists\\a.txt", zentrel::ReadComputerSwitch("@\"C:\\My Lists\\a.txt\"").text);
}

TEST(CommandLine, TailOfAFullCommandLine) {
    struct Case { const char* line; const char* tail; };
    const Case cases[] = {
        {"zentrel -eu a.dsi", "-eu a.dsi"},
        {"\"C:\\Program Files\\Zentrel\\zentrel.com\"   -lu", "-lu"},
        {"\"C:\\odd\"name -q", "name -q"},
        {"zentrel\t-q", "-q"},
        {"zentrel", ""},
        {"\"unclosed -q", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(c.tail, zentrel::CommandLineTail(c.line)) << c.line;
}

}  // namespace

namespace {

// -p names one of the two views; anything else is not the switch.
TEST(PlatformSwitch, NamesOneViewOrNothing) {
    struct Case {
        const char* token;
        const char* platform;
    };
    for (const Case& c : {Case{"-p32", "32"}, Case{"/p64", "64"}, Case{"-p16", ""}, Case{"-p", ""},
                          Case{"-p640", ""}}) {
        zentrel::CommandLineSwitches switches;
        switches.ParseSwitch(c.token);
        EXPECT_EQ(c.platform, switches.m_strPlatform) << c.token;
        EXPECT_EQ(0, switches.m_bBatchMode) << c.token;
        zentrel::Platform parsed = zentrel::Platform::Shared;
        EXPECT_EQ(*c.platform != '\0', zentrel::ParsePlatformText(switches.m_strPlatform, &parsed)) << c.token;
        // Batch runs only: the window always has both views.
        EXPECT_FALSE(switches.ForcedView(&parsed)) << c.token;
        switches.m_bBatchMode = 1;
        EXPECT_EQ(*c.platform != '\0', switches.ForcedView(&parsed)) << c.token;
    }
    zentrel::Platform parsed = zentrel::Platform::Shared;
    for (const char* text : {" 32-bit ", "32-BIT", "32"}) {
        ASSERT_TRUE(zentrel::ParsePlatformText(text, &parsed)) << text;
        EXPECT_EQ(zentrel::Platform::Bit32, parsed);
    }
    EXPECT_FALSE(zentrel::ParsePlatformText("32/64-bit", &parsed));
}

}  // namespace
