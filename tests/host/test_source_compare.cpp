#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/BackupNames.h"
#include "core/Digest.h"
#include "core/Fleet.h"
#include "core/SourceCompare.h"

using namespace zentrel;
using namespace std::string_literals;

namespace {

SourceEntry Value(const std::string& name, uint32_t type, const std::string& bytes, std::vector<std::string> levels = {}) {
    SourceEntry e;
    e.levels = levels;
    e.valueName = name;
    e.type = type;
    e.data.assign(bytes.begin(), bytes.end());
    return e;
}

SourceEntry Key(std::vector<std::string> levels) {
    SourceEntry e;
    e.levels = levels;
    e.key = true;
    return e;
}

SourceDefinition Source(const std::string& name, std::vector<SourceEntry> entries, Platform platform = Platform::Bit64) {
    return SourceDefinition{name, platform, "Drv", entries, {}};
}

const std::string kSz("db1\0", 4);

TEST(SourceCompare, DifferenceLines) {
    struct Case {
        const char* name;
        std::vector<SourceDefinition> registry, file;
        std::string lines;
        bool clear = false;  // secrets shown as they are
    };
    const std::string pwd("S3cret!\0", 8), other("0ther!\0", 7);
    SourceDefinition withheld = Source("S", {Value("Server", 1, kSz)});
    withheld.withheld = {"PWD", "Sub\\Token"};
    const SourceDefinition base = Source("Sales", {Key({"Engines"}), Value("Server", 1, kSz), Value("Port", 4, "\x10\0\0\0"s)});
    SourceDefinition otherDriver = base;
    otherDriver.driver = "Other\tDrv";
    const Case cases[] = {
        {"identical, names folded", {base}, {Source("SALES", {Value("port", 4, "\x10\0\0\0"s), Key({"ENGINES"}), Value("SERVER", 1, kSz)})}, ""},
        {"only in file", {}, {base}, "only in file\tSales\t64-bit\r\n"},
        {"only in registry", {base}, {}, "only in registry\tSales\t64-bit\r\n"},
        {"view", {base}, {Source("Sales", base.entries, Platform::Bit32)},
         "only in file\tSales\t32-bit\r\nonly in registry\tSales\t64-bit\r\n"},
        {"driver", {base}, {otherDriver}, "differs\tSales\t64-bit\r\ndriver\tSales\t64-bit\t\tDrv\tOther\\x09Drv\r\n"},
        // The listing's escaping: lower case, C1 too.
        {"controls in the status line", {}, {Source("Esc\x1b[2J\xc2\x85\x7f", {})},
         "only in file\tEsc\\x1b[2J\\xc2\\x85\\x7f\t64-bit\r\n"},
        {"controls in a difference line", {Source("E\x1b", {Value("Server", 1, kSz)})},
         {Source("E\x1b", {Value("Server", 1, std::string("db2\0", 4))})},
         "differs\tE\\x1b\t64-bit\r\nvalue\tE\\x1b\t64-bit\tServer\tREG_SZ db1\tREG_SZ db2\r\n"},
        {"value text", {Source("S", {Value("Server", 1, kSz)})}, {Source("S", {Value("Server", 1, std::string("db2\0", 4))})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\tServer\tREG_SZ db1\tREG_SZ db2\r\n"},
        {"type", {Source("S", {Value("Server", 1, kSz)})}, {Source("S", {Value("Server", 2, kSz)})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\tServer\tREG_SZ db1\tREG_EXPAND_SZ db1\r\n"},
        {"bytes the text hides", {Source("S", {Value("Server", 1, kSz)})},
         {Source("S", {Value("Server", 1, std::string("db1\0x", 5))})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\tServer\tREG_SZ db1 [64623100]\tREG_SZ db1 [6462310078]\r\n"},
        {"nested key and its value", {Source("S", {Key({"Engines"}), Value("Threads", 4, "\x04\0\0\0"s, {"Engines"})})},
         {Source("S", {})},
         "differs\tS\t64-bit\r\nkey\tS\t64-bit\tEngines\t<SUBKEY>\t-\r\nvalue\tS\t64-bit\tEngines\\Threads\tREG_DWORD 4\t-\r\n"},
        {"a key the file's path implies", {Source("S", {Key({"E"}), Key({"E", "F"}), Value("V", 1, kSz, {"E", "F"})})},
         {Source("S", {Value("V", 1, kSz, {"E", "F"})})}, ""},
        {"only the file's value, its last row", {Source("S", {})},
         {Source("S", {Value("A", 1, std::string("x\0", 2)), Value("a", 1, std::string("y\0", 2))})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\ta\t-\tREG_SZ y\r\n"},
        // A secret's difference is told by its name and type alone.
        {"secret data", {Source("S", {Value("PWD", 1, pwd)})}, {Source("S", {Value("pwd", 1, other)})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\tPWD\tREG_SZ ********\tREG_SZ ********\r\n"},
        {"secret bytes the text hides", {Source("S", {Value("Password", 1, pwd)})},
         {Source("S", {Value("Password", 1, pwd + "x")})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\tPassword\tREG_SZ ********\tREG_SZ ********\r\n"},
        {"nested secret on one side", {Source("S", {Value("SSL_Key_Passwd", 3, pwd, {"Sub"})})}, {Source("S", {})},
         "differs\tS\t64-bit\r\nkey\tS\t64-bit\tSub\t<SUBKEY>\t-\r\n"
         "value\tS\t64-bit\tSub\\SSL_Key_Passwd\tREG_BINARY ********\t-\r\n"},
        {"secret shown when asked", {Source("S", {Value("PWD", 1, pwd)})}, {Source("S", {})},
         "differs\tS\t64-bit\r\nvalue\tS\t64-bit\tPWD\tREG_SZ S3cret!\t-\r\n", true},
        // What a file left out is the registry's to keep; what it gives still counts.
        {"secrets the file left out",
         {Source("S", {Value("Server", 1, kSz), Value("PWD", 1, pwd), Key({"Sub"}), Value("Token", 1, pwd, {"Sub"})})},
         {withheld}, "differs\tS\t64-bit\r\nkey\tS\t64-bit\tSub\t<SUBKEY>\t-\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.lines, FormatComparison(CompareSources(c.registry, c.file, !c.clear))) << c.name;
    }
}

std::string Hex(const std::array<uint8_t, 32>& digest) {
    std::string out;
    for (uint8_t b : digest) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
    return out;
}

TEST(SourceDigest, ShaVectorsAndExactness) {
    // Lengths around the padding's block boundary, and pieces added unevenly.
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
    };
    for (const auto& v : vectors) {
        Sha256 whole, pieces;
        whole.Add(v.first);
        for (size_t at = 0, n = 1; at < v.first.size(); at += n, n = n * 2 + 1) pieces.Add(v.first.substr(at, n));
        EXPECT_EQ(v.second, Hex(whole.Finish())) << v.first.size();
        EXPECT_EQ(v.second, Hex(pieces.Finish())) << v.first.size();
    }
    const std::vector<SourceEntry> base = {Value("Server", 1, kSz), Value("Port", 4, "\x10\0\0\0"s)};
    SourceEntry stored = base[0];
    stored.stored = true;
    const std::vector<std::vector<SourceEntry>> others = {
        {Value("server", 1, kSz), base[1]},
        {base[1], base[0]},
        {stored, base[1]},
        {Value("Server", 2, kSz), base[1]},
        {Value("Serve", 1, "r"s + kSz), base[1]},
        {Value("Server", 1, kSz, {"K"}), base[1]},
        {base[0]},
    };
    EXPECT_EQ(SourceDigest("Drv", base), SourceDigest("Drv", base));
    EXPECT_NE(SourceDigest("Drv", base), SourceDigest("Drv2", base));
    for (size_t i = 0; i < sizeof(others) / sizeof(others[0]); ++i)
        EXPECT_NE(SourceDigest("Drv", base), SourceDigest("Drv", others[i])) << i;
}

TEST(BackupNames, NamesAndRotation) {
    const BackupTime t = {2026, 12, 7, 9, 5, 3};
    EXPECT_EQ("20261207-090503-user.dsi", BackupFileName(t, false, 1));
    EXPECT_EQ("20261207-090503-system-2.dsi", BackupFileName(t, true, 2));
    // Same times: the name's order decides. The file just written stays even
    // when older files carry later dates in their names.
    const std::vector<BackupFile> folder = {{"20261207-090503-user-10.dsi", 5}, {"20261207-090503-user-2.dsi", 5},
                                            {"20261207-090503-user.dsi", 5},    {"20251231-235959-system.dsi", 5},
                                            {"notes.txt", 1},                   {"20261207-090503-other.dsi", 1},
                                            {"20261207-0905-user.dsi", 1}};
    EXPECT_EQ((std::vector<std::string>{"20251231-235959-system.dsi", "20261207-090503-user.dsi"}),
              BackupsBeyond(folder, 2, "none"));
    EXPECT_TRUE(BackupsBeyond(folder, 4, "none").empty());
    const std::vector<BackupFile> clock = {{"29991231-235959-user.dsi", 10}, {"29991231-235958-user.dsi", 11},
                                           {"20261207-090503-user.dsi", 12}, {"20010101-000000-user.dsi", 13}};
    EXPECT_EQ((std::vector<std::string>{"29991231-235959-user.dsi", "29991231-235958-user.dsi"}),
              BackupsBeyond(clock, 2, "20010101-000000-user.dsi"));
    EXPECT_EQ((std::vector<std::string>{"29991231-235959-user.dsi", "29991231-235958-user.dsi",
                                        "20261207-090503-user.dsi"}),
              BackupsBeyond(clock, 1, "20010101-000000-user.dsi"));
    // A run over many computers: each computer's backups, and those named by
    // none, are kept apart, the newest of each.
    EXPECT_EQ("20261207-090503-SRV-2-system-3.dsi", BackupFileName(t, true, 3, "\\\\SRV-2"));
    EXPECT_EQ("20261207-090503-a_b_-user.dsi", BackupFileName(t, false, 1, "a:b."));
    // What a name says of its backup; names of no backup say nothing.
    struct Named {
        const char* name;
        bool read;
        const char* computer;
        bool system;
    };
    for (const Named& n : {Named{"20261207-090503-SRV-2-system-3.dsi", true, "SRV-2", true},
                           Named{"20261207-090503-user.dsi", true, "", false},
                           Named{"20261207-090503-a_b_-user-12.dsi", true, "a_b_", false},
                           Named{"20261207-090503-other.dsi", false, "", false}, Named{"notes.txt", false, "", false}}) {
        BackupNameParts parts;
        ASSERT_EQ(n.read, ReadBackupFileName(n.name, &parts)) << n.name;
        if (!n.read) continue;
        EXPECT_EQ(n.computer, parts.computer) << n.name;
        EXPECT_EQ(n.system, parts.systemScope) << n.name;
        EXPECT_EQ(2026, parts.time.year);
        EXPECT_EQ(7, parts.time.day);
        EXPECT_EQ(3, parts.time.second);
    }
    const std::vector<BackupFile> fleet = {
        {"20261207-090503-SRV-2-system-3.dsi", 1}, {"20261207-090503-srv-2-system.dsi", 1},
        {"20261208-000000-SRV-2-user.dsi", 1},     {"20261207-090503-user.dsi", 1},
        {"20261207-090504-user.dsi", 1},           {"20261201-000000-b-user.dsi", 1}};
    EXPECT_EQ((std::vector<std::string>{"20261207-090503-user.dsi", "20261207-090503-srv-2-system.dsi",
                                        "20261207-090503-SRV-2-system-3.dsi"}),
              BackupsBeyond(fleet, 1, "none"));
}

// A device's name anywhere in a path, as the system would take it.
TEST(BackupNames, DeviceNames) {
    const struct {
        const char* path;
        bool device;
    } cases[] = {
        {"COM1", true},          {"c:\\out\\lpt9.dsi", true}, {"NUL.txt", true},    {"con", true},
        {"d:/x/Aux .dsi", true}, {"c:\\PRN\\a.dsi", true},   {"conout$", true},    {"COM0", false},
        {"COM10.dsi", false},    {"console.dsi", false},       {"c:\\nully", false}, {"LPT", false},
        {"", false},             {"c:\\data\\export.dsi", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.device, NamesDevice(c.path)) << c.path;
}

// Each computer's own file, whatever its name holds, and none shared.
TEST(Fleet, ComputerFileNames) {
    struct Case {
        std::string path;
        std::vector<std::string> computers, files;
    };
    const Case cases[] = {
        {"C:\\out\\sys.dsi", {"SRV01", "\\\\SRV02"}, {"C:\\out\\sys.SRV01.dsi", "C:\\out\\sys.SRV02.dsi"}},
        {"C:\\out.d\\sys", {"A"}, {"C:\\out.d\\sys.A"}},
        {"a.b.dsi", {"x<y>|z?*\"/\x01", "host. "}, {"a.b.x_y__z_____.dsi", "a.b.host__.dsi"}},
        {"s.dsi", {"a?", "a*", "A?"}, {"s.a_.dsi", "s.a_-2.dsi", "s.A_-3.dsi"}},
        {"C:\\out\\", {"A", "B"}, {"C:\\out\\", "C:\\out\\"}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.files, ComputerFileNames(c.path, c.computers)) << c.path;
}

// Lines on standard error and the exit code, from the outcomes of the computers.
TEST(Fleet, ProgressSummaryAndExitCode) {
    ComputerOutcome done{"SRV01", true, 0, {}};
    done.counts.exported = 3;
    done.counts.written = 2;
    done.counts.replaced = 1;
    done.counts.skipped = 0;
    ComputerOutcome unreachable{"nosuch\x1b", false, 2, {}};
    unreachable.counts.different = 0;
    ComputerOutcome differs{"SRV02", true, 1, {}};
    differs.counts.different = 4;
    ComputerOutcome exportFailed{"SRV03", false, 0, {}};
    EXPECT_EQ("SRV01 (1 of 2): started\r\n", ComputerStartLine(1, 2, "SRV01"));
    EXPECT_EQ("SRV01 (1 of 2): done: 3 exported, 2 written, 1 replaced, 0 skipped\r\n", ComputerEndLine(1, 2, done));
    EXPECT_EQ("nosuch\\x1b (2 of 2): failed: 0 different\r\n", ComputerEndLine(2, 2, unreachable));
    EXPECT_EQ("SRV03 (2 of 2): failed\r\n", ComputerEndLine(2, 2, exportFailed));
    struct Case {
        std::vector<ComputerOutcome> outcomes;
        bool compare;
        int code;
        std::string summary;
    };
    const Case cases[] = {
        {{done}, false, 0, "Summary: 1 of 1 computers done, 0 failed\r\n"},
        {{done, exportFailed}, false, 1, "Summary: 1 of 2 computers done, 1 failed: SRV03\r\n"},
        {{done, differs}, true, 1, "Summary: 2 of 2 computers done (1 different: SRV02), 0 failed\r\n"},
        {{differs, unreachable, exportFailed}, true, 2,
         "Summary: 1 of 3 computers done (1 different: SRV02), 2 failed: nosuch\\x1b, SRV03\r\n"},
        {{done, exportFailed}, true, 1, "Summary: 1 of 2 computers done (0 different), 1 failed: SRV03\r\n"},
        // Without a comparison, not being compared is no outcome of its own.
        {{unreachable}, false, 1, "Summary: 0 of 1 computers done, 1 failed: nosuch\\x1b\r\n"},
        {{}, false, 1, "Summary: 0 of 0 computers done, 0 failed\r\n"},
        {{}, true, 2, "Summary: 0 of 0 computers done (0 different), 0 failed\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.code, FleetExitCode(c.outcomes, c.compare)) << c.summary;
        EXPECT_EQ(c.summary, FleetSummaryLine(c.outcomes, c.compare));
    }
}

// Per source, the computers that differ in it, each line led by the computer.
TEST(Fleet, DriftReport) {
    const SourceDefinition reference = Source("Sales", {Value("Server", 1, kSz)});
    const SourceDefinition changed = Source("Sales", {Value("Server", 1, std::string("db2\0", 4))});
    const SourceDefinition other = Source("HR", {});
    const std::vector<std::pair<std::string, std::vector<SourceComparison>>> computers = {
        {"A", CompareSources({reference, other}, {reference, other})},
        {"B\tx", CompareSources({changed}, {reference, other})},
        {"C", CompareSources({changed, other, Source("Extra", {})}, {reference, other})},
    };
    EXPECT_EQ("B\\x09x\tdiffers\tSales\t64-bit\r\n"
              "B\\x09x\tvalue\tSales\t64-bit\tServer\tREG_SZ db2\tREG_SZ db1\r\n"
              "C\tdiffers\tSales\t64-bit\r\n"
              "C\tvalue\tSales\t64-bit\tServer\tREG_SZ db2\tREG_SZ db1\r\n"
              "B\\x09x\tonly in file\tHR\t64-bit\r\n"
              "C\tonly in registry\tExtra\t64-bit\r\n",
              FormatDrift(computers));
}

}  // namespace
