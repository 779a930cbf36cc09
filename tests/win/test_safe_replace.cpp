// A small import and a removal, with the n-th registry write failing once,
// or every write from the n-th on as if the process had been ended there and
// started again: each source is whole, old or new, with its own driver
// entry, and nothing temporary is left once the next run has looked at the
// scope. A preview writes nothing.
#include "DsiTestUtil.h"

#include "registry/SafeReplace.h"
#include "registry/WriteFault.h"
#include "ops/ChangeReports.h"

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

// The file that turns the old definitions into the new ones.
std::string NewDefinitions() {
    std::string file = "[General]\r\nItems=2\r\n";
    int section = 0;
    for (const char* dsn : {"Kept", "Fresh"}) {
        file += "[DSN" + std::to_string(section++) + "]\r\nDriver=" + kNew.driver + "\r\nDSN=" + dsn +
                "\r\nItems=" + std::to_string(kNew.values.size()) + "\r\n";
        for (size_t j = 0; j < kNew.values.size(); ++j) {
            const std::string n = std::to_string(j);
            file += "Name" + n + "=" + kNew.values[j].first + "\r\nValue" + n + "=" + kNew.values[j].second +
                    "\r\nFormat" + n + "=1\r\n";
        }
    }
    return file;
}

class SafeReplaceTest : public WindowTest {
protected:
    SafeReplaceTest() : WindowTest(Mode::Batch) {}
    void SetUp() override {
        WindowTest::SetUp();
        const std::string dir = ScratchDir("safe-replace");
        ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str()));
        file = dir + "\\new.dsi";
        WriteWholeFile(file, NewDefinitions());
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
        WindowTest::TearDown();
    }
    // Imports the file and removes a source with the seam armed; the writes made.
    long Run(long failAt, bool andAfter) {
        ClearTestRegistry();
        Seed("Kept", kOld);
        Seed("Gone", kOld);
        Renew();
        ForgetRecoveredPlaces();
        prompts->messageAnswers.assign(8, IDOK);  // failures reported, whichever
        ArmRegistryWriteFault(failAt, andAfter);
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        RegKey odbc;
        EXPECT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
        RemoveSource(odbc, KEY_WOW64_64KEY, "Gone");
        const long writes = RegistryWritesCounted();
        DisarmRegistryWriteFault();
        return writes;
    }
    std::string file;
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
    EXPECT_TRUE(prompts->calls.empty());
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
            // Listed as a source only what is one.
            std::vector<ListedSource> listed;
            ASSERT_TRUE(window->CatalogueScope(window->PlaceOf(FALSE), listed));
            for (const ListedSource& source : listed) EXPECT_FALSE(IsTransientKeyName(source.name.c_str())) << source.name;
            for (const auto& entry : Snapshot(HKEY_CURRENT_USER, OdbcPath())) {
                const std::string top = entry.first.substr(0, entry.first.find_first_of("\\|"));
                EXPECT_FALSE(IsTransientKeyName(top.c_str()) || entry.first.find("|{") == 0) << entry.first;
            }
        }
    }
}

// A preview changes nothing, not even through a backup, and says what the
// import would do.
TEST_F(SafeReplaceTest, APreviewWritesNothing) {
    Seed("Kept", kOld);
    Seed("Same", kNew);
    std::string text = NewDefinitions();
    text.replace(text.find("Items=2"), 7, "Items=3");
    text.replace(text.find("DSN=Fresh"), 9, "DSN=Same");
    text += "[DSN2]\r\nDSN=Bad\r\nItems=x\r\n";
    WriteWholeFile(file, text);
    const RegTree before = Snapshot(HKEY_CURRENT_USER, "Software");
    window->facts.commandLine.m_bPreview = TRUE;
    const std::string out = ScratchDir("safe-replace-out") + "\\out.txt";
    window->facts.out = ::CreateFileA(out.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    prompts->messageAnswers = {IDOK};
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    EXPECT_FALSE(window->Succeeded());  // the refused source, as the import would
    ::CloseHandle(window->facts.out);
    window->facts.out = NULL;
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((ScratchDir("safe-replace") + "\\Zentrel").c_str()));
    EXPECT_EQ("replace\tKept\t32/64-bit\r\n"
              "driver\tKept\t32/64-bit\t\tOld Driver\tNew Driver\r\n"
              "key\tKept\t32/64-bit\tEngines\\Deep\t<SUBKEY>\t-\r\n"
              "value\tKept\t32/64-bit\tEngines\\Deep\\X\tREG_SZ x\t-\r\n"
              "value\tKept\t32/64-bit\tEngines\\Threads\tREG_SZ 4\t-\r\n"
              "value\tKept\t32/64-bit\tA\tREG_SZ old\t-\r\n"
              "value\tKept\t32/64-bit\tB\t-\tREG_SZ new\r\n"
              "value\tKept\t32/64-bit\tEngines\\Pool\t-\tREG_SZ 1\r\n"
              "identical\tSame\t32/64-bit\r\n"
              "refused\tBad\t32/64-bit\tits row count 'x' is not a number of rows\r\n",
              ReadWholeFile(out));
}

}  // namespace
