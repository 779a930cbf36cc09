// Replacing and removing sources through the registry layer, with the n-th
// write failing once, or every write from the n-th on as if the process had
// been ended there and started again: each source is whole, old or new, with
// its own driver entry, and nothing temporary is left once the next run has
// looked at the scope.
#include "DsiTestUtil.h"

#include "registry/SafeReplace.h"
#include "registry/WriteFault.h"

namespace {

struct Definition {
    const char* driver;
    std::vector<std::pair<std::string, std::string>> values;  // "key\name" -> text
};

const Definition kOld = {"Old Driver", {{"A", "old"}, {"Engines\\Threads", "4"}, {"Engines\\Deep\\X", "x"}}};
const Definition kNew = {"New Driver", {{"B", "new"}, {"Engines\\Pool", "1"}}};

RegTree TreeOf(const Definition& d) {
    RegTree tree;
    for (const auto& v : d.values) {
        const size_t cut = v.first.rfind('\\');
        std::string keys = cut == std::string::npos ? "" : v.first.substr(0, cut + 1);
        for (size_t at = keys.find('\\'); at != std::string::npos; at = keys.find('\\', at + 1))
            tree[keys.substr(0, at + 1)] = RegValue{-1, {}};
        tree[keys + "|" + v.first.substr(cut + 1)] = RegValue{REG_SZ, Text(v.second)};
    }
    return tree;
}

void Seed(const std::string& dsn, const Definition& d) {
    for (const auto& v : d.values) {
        const size_t cut = v.first.rfind('\\');
        const std::string path = cut == std::string::npos ? dsn : dsn + "\\" + v.first.substr(0, cut);
        PutString(HKEY_CURRENT_USER, OdbcPath(path), v.first.substr(cut + 1).c_str(), v.second);
    }
    PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), dsn.c_str(), d.driver);
}

// Written as import writes rows: every key and value through the registry
// layer; false at the first that fails.
bool WriteRows(HKEY key, const Definition& d) {
    for (const auto& v : d.values) {
        const size_t cut = v.first.rfind('\\');
        RegKey sub;
        HKEY target = key;
        if (cut != std::string::npos) {
            if (sub.Create(key, v.first.substr(0, cut).c_str(), KEY_WOW64_64KEY) != ERROR_SUCCESS) return false;
            target = sub;
        }
        if (RegKey::SetValue(target, v.first.substr(cut + 1).c_str(), REG_SZ, v.second.c_str(),
                             (DWORD)v.second.size() + 1) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

// One small change of a scope: a source replaced, one added, one removed.
void Change(HKEY odbc) {
    for (const char* dsn : {"Kept", "Fresh"}) {
        SourceReplacement replacement(odbc, KEY_WOW64_64KEY, dsn, kNew.driver);
        if (replacement.Begin().Ok() && WriteRows(replacement.Key(), kNew)) replacement.Commit();
    }
    RemoveSource(odbc, KEY_WOW64_64KEY, "Gone");
}

class SafeReplaceTest : public RegistryTest {
protected:
    // Runs the change with the seam armed; the writes it made.
    long Run(long failAt, bool andAfter) {
        ClearTestRegistry();
        Seed("Kept", kOld);
        Seed("Gone", kOld);
        RegKey odbc;
        EXPECT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
        ArmRegistryWriteFault(failAt, andAfter);
        Change(odbc);
        const long writes = RegistryWritesCounted();
        DisarmRegistryWriteFault();
        return writes;
    }
    // The source is whole in one of the given states; nothing at all for a null one.
    void ExpectWhole(const std::string& dsn, const Definition* a, const Definition* b) {
        const RegTree tree = Snapshot(HKEY_CURRENT_USER, OdbcPath(dsn));
        const RegValue driver = ValueOf(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), dsn.c_str());
        bool matched = false;
        for (const Definition* d : {a, b}) {
            if (d == nullptr) {
                matched |= !KeyExists(HKEY_CURRENT_USER, OdbcPath(dsn)) && driver.type == -2;
            } else {
                matched |= tree == TreeOf(*d) && driver == (RegValue{REG_SZ, Text(d->driver)});
            }
        }
        EXPECT_TRUE(matched) << dsn << ": " << tree.size() << " entries, driver " << driver;
    }
};

TEST_F(SafeReplaceTest, EveryFailedWriteLeavesEachSourceWhole) {
    const long writes = Run(0, false);
    ASSERT_GT(writes, 10);
    ExpectWhole("Kept", &kNew, &kNew);
    ExpectWhole("Fresh", &kNew, &kNew);
    ExpectWhole("Gone", nullptr, nullptr);
    for (bool crash : {false, true}) {
        for (long n = 1; n <= writes; ++n) {
            SCOPED_TRACE((crash ? "ended at write " : "failed write ") + std::to_string(n));
            Run(n, crash);
            if (!crash) {
                ExpectWhole("Kept", &kOld, &kNew);
                ExpectWhole("Fresh", nullptr, &kNew);
                ExpectWhole("Gone", &kOld, nullptr);
            }
            // The next run: transient keys are not sources, and are put right.
            RegKey odbc;
            ASSERT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
            for (const RecoveredChange& change : RecoverInterruptedChanges(odbc, KEY_WOW64_64KEY))
                EXPECT_NE(RecoveredChange::Failed, change.outcome) << change.source;
            ExpectWhole("Kept", &kOld, &kNew);
            ExpectWhole("Fresh", nullptr, &kNew);
            ExpectWhole("Gone", &kOld, nullptr);
            for (const auto& entry : Snapshot(HKEY_CURRENT_USER, OdbcPath())) {
                const std::string top = entry.first.substr(0, entry.first.find_first_of("\\|"));
                EXPECT_FALSE(IsTransientKeyName(top.c_str()) || entry.first.find("|{") == 0) << entry.first;
            }
        }
    }
}

// A replaced registry link is moved aside and removed as the link, never
// through it.
TEST_F(SafeReplaceTest, ALinkIsReplacedNotFollowed) {
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Target"), "T", "t");
    HKEY link = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, OdbcPath("Linked").c_str(), 0, NULL,
                                                REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                                KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &link, NULL));
    const std::wstring target = L"\\Registry\\Machine\\Software\\ODBC\\ODBC.INI\\Target";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)target.data(),
                                              (DWORD)(target.size() * sizeof(wchar_t))));
    ::RegCloseKey(link);
    RegKey odbc;
    ASSERT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_LOCAL_MACHINE, OdbcPath().c_str(), KEY_WOW64_64KEY));
    SourceReplacement replacement(odbc, KEY_WOW64_64KEY, "Linked", kNew.driver);
    ASSERT_TRUE(replacement.Begin().Ok());
    ASSERT_TRUE(WriteRows(replacement.Key(), kNew));
    EXPECT_TRUE(replacement.Commit().Ok());
    EXPECT_EQ(TreeOf(kNew), Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("Linked")));
    EXPECT_EQ((RegTree{{"|T", RegValue{REG_SZ, Text("t")}}}), Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("Target")));
}

}  // namespace
