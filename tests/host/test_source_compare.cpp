#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/BackupNames.h"
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
    return SourceDefinition{name, platform, "Drv", entries};
}

const std::string kSz("db1\0", 4);

TEST(SourceCompare, DifferenceLines) {
    struct Case {
        const char* name;
        std::vector<SourceDefinition> registry, file;
        std::string lines;
    };
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
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.lines, FormatComparison(CompareSources(c.registry, c.file))) << c.name;
    }
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
}

}  // namespace
