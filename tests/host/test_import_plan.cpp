#include "core/ImportPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zentrel {
namespace {

// The file's count: a file without sources is fine when it says so, not
// when it cannot say how many it has.
TEST(ImportPlanTest, FileCount) {
    struct Case {
        const char* file;
        bool present, empty, valid;
        const char* indices;
    } const cases[] = {
        {"[General]\r\nItems=3\r\n[DSN0]\r\n[DSN1]\r\n[DSN#2]\r\n", true, false, true, "0 1 2"},
        // Each gap and a count past the last section are met once,
        // however large the count or the gap.
        {"[General]\r\nItems=3\r\n[DSN0]\r\n[ dsn#2 ]\r\n", true, false, true, "0 1 2"},
        {"[General]\r\nItems=2147483647\r\n", true, false, true, "0"},
        {"[General]\r\nItems=2147483647\r\n[DSN0]\r\n[Other]\r\n[DSN#4]\r\n[DSN01]\r\n", true, false, true,
         "0 1 4 5"},
        {"[General]\r\nItems=2147483647\r\n[DSN#2000000000]\r\n", true, false, true, "0 2000000000 2000000001"},
        {"[General]\r\nItems=3\r\n[DSN0]\r\n[DSN7]\r\n", true, false, true, "0 1"},
        {"[General]\r\nItems=0\r\n", true, false, true, ""},
        {"[General]\r\nItems=\r\n", true, true, false, ""},
        {"[General]\r\nItems=-1\r\n", true, false, false, ""},
        {"[General]\r\nItems=4294967297\r\n", true, false, false, ""},
        {"[DSN0]\r\nDSN=A\r\n", false, false, true, ""},
    };
    for (const Case& c : cases) {
        ProfileFile file;
        file.Parse(std::string(c.file));
        const DsiFileCount count = ReadDsiFileCount(file);
        EXPECT_EQ(c.present, count.present) << c.file;
        EXPECT_EQ(c.empty, count.empty) << c.file;
        EXPECT_EQ(c.valid, count.valid) << c.file;
        std::string indices;
        for (int i : count.indices) indices += (indices.empty() ? "" : " ") + std::to_string(i);
        EXPECT_EQ(c.indices, indices) << c.file;
    }
}

// Each source's section, name, view and refusal, from the file alone.
TEST(ImportPlanTest, SourcePlans) {
    const std::string file =
        "[General]\r\nItems=8\r\n"
        "[DSN#0]\r\nDSN=Hashed\r\nDriver=D0\r\nItems=0\r\n[DSN0]\r\nDSN=Plain\r\nItems=0\r\n"
        "[DSN1]\r\nDSN=ThirtyTwo\r\nDriver=D1\r\nPlatform=32-bit\r\nItems=1\r\nName0=V\r\nValue0=x\r\nFormat0=1\r\n"
        "[DSN2]\r\nDSN=Sixteen\r\nPlatform=16-bit\r\nItems=0\r\n"
        "[DSN3]\r\nDSN=Back\\slash\r\nItems=0\r\n"
        "[DSN4]\r\nDSN=ODBC\r\nItems=0\r\n"
        "[DSN5]\r\nDSN=BadCount\r\nItems=many\r\n"
        "[DSN6]\r\nDriver=NoName\r\n"
        "[DSN7]\r\nDSN=Own\r\nItems=0\r\n";
    struct Case {
        bool systemScope, forced;
        std::vector<std::string> expected;  // section name platform refusal detail rows, per source
    };
    const Case cases[] = {
        {true, false,
         {"DSN#0 Hashed D0 1 0  0", "DSN1 ThirtyTwo D1 2 0  1", "DSN2 Sixteen  0 1 16-bit 0",
          "DSN3 Back\\slash  1 2 the name 'Back\\slash' contains a backslash 0", "DSN4 ODBC  1 3  0",
          "DSN5 BadCount  1 4 many 0", "DSN6   0 0  0", "DSN7 Own  1 0  0"}},
        // Forced: every source into that view, whatever its section says.
        {true, true,
         {"DSN#0 Hashed D0 2 0  0", "DSN1 ThirtyTwo D1 2 0  1", "DSN2 Sixteen  2 0  0",
          "DSN3 Back\\slash  2 2 the name 'Back\\slash' contains a backslash 0", "DSN4 ODBC  2 3  0",
          "DSN5 BadCount  2 4 many 0", "DSN6   0 0  0", "DSN7 Own  2 0  0"}},
        // The User scope has one view for all.
        {false, false,
         {"DSN#0 Hashed D0 0 0  0", "DSN1 ThirtyTwo D1 0 0  1", "DSN2 Sixteen  0 0  0",
          "DSN3 Back\\slash  0 2 the name 'Back\\slash' contains a backslash 0", "DSN4 ODBC  0 3  0",
          "DSN5 BadCount  0 4 many 0", "DSN6   0 0  0", "DSN7 Own  0 0  0"}},
    };
    ProfileFile dsi;
    dsi.Parse(file);
    for (const Case& c : cases) {
        DsiImportTarget target;
        target.systemScope = c.systemScope;
        target.viewForced = c.forced;
        target.forced = Platform::Bit32;
        target.own = Platform::Bit64;
        target.maxRows = 100;
        target.reserved = [](const std::string& name) { return name == "ODBC"; };
        std::vector<std::string> got;
        for (int i : ReadDsiFileCount(dsi).indices) {
            DsiSourcePlan plan = PlanDsiSource(dsi, i, target);
            if (!plan.fileName.empty()) PlanDsiSourceRows(dsi, target, plan);
            got.push_back(plan.section + " " + plan.name + " " + plan.driver + " " +
                          std::to_string(static_cast<int>(plan.platform)) + " " +
                          std::to_string(static_cast<int>(plan.refusal)) + " " + plan.refusalDetail + " " +
                          std::to_string(plan.rows.rows.size()));
        }
        EXPECT_EQ(c.expected, got) << c.systemScope << c.forced;
    }
}

// Another name is checked, not the file's: a rename can cure or cause a refusal.
TEST(ImportPlanTest, RenamedSourceIsCheckedUnderItsNewName) {
    ProfileFile dsi;
    dsi.Parse(std::string("[General]\r\nItems=1\r\n[DSN0]\r\nDSN=Bad\\name\r\nItems=0\r\n"));
    DsiImportTarget target;
    DsiSourcePlan plan = PlanDsiSource(dsi, 0, target);
    plan.name = "Good";
    PlanDsiSourceRows(dsi, target, plan);
    EXPECT_EQ(DsiRefusal::None, plan.refusal);
    EXPECT_EQ("Bad\\name", plan.fileName);

    plan = PlanDsiSource(dsi, 0, target);
    plan.name = "";
    PlanDsiSourceRows(dsi, target, plan);
    EXPECT_EQ(DsiRefusal::Name, plan.refusal);
}

}  // namespace
}  // namespace zentrel
