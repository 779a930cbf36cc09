// A small import and a removal, with the n-th registry write failing once,
// or every write from the n-th on as if the process had been ended there and
// started again: each source is whole, old or new, with its own driver
// entry, and nothing temporary is left once the next run has looked at the
// scope. A preview writes nothing.
#include "DsiTestUtil.h"

#include <set>

#include "ui/Settings.h"
#include "registry/Attributes.h"
#include "registry/Catalogue.h"
#include "registry/ParallelCalls.h"
#include "registry/SafeReplace.h"
#include "registry/ScopeLock.h"
#include "registry/WriteFault.h"
#include "ops/ChangeReports.h"
#include "ui/Compare.h"

namespace {

struct Definition {
    const char* driver;
    std::vector<std::pair<std::string, std::string>> values;  // "key\name" -> text
};

const Definition kOld = {"Old Driver", {{"A", "old"}, {"Engines\\Threads", "4"}, {"Engines\\Deep\\X", "x"}}};
const Definition kNew = {"New Driver", {{"B", "new"}, {"Engines\\Pool", "1"}}};
// No keys below: set aside and deleted by the shorter way.
const Definition kFlat = {"Old Driver", {{"A", "old"}}};
const Definition kOther = {"Other Driver", {{"C", "other"}}};
// Flat new definitions, and old ones the same or one value apart: kept, or
// written in place where the driver is the same too.
const Definition kFlatNew = {"New Driver", {{"B", "new"}}};
const Definition kOneApart = {"New Driver", {{"B", "old"}}};
const Definition kOneApartElsewhere = {"Old Driver", {{"B", "old"}}};

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

void Seed(const std::string& dsn, const Definition& d, bool withEntry = true) {
    for (const auto& v : d.values) {
        const size_t cut = v.first.rfind('\\');
        const std::string path = cut == std::string::npos ? dsn : dsn + "\\" + v.first.substr(0, cut);
        PutString(HKEY_CURRENT_USER, OdbcPath(path), v.first.substr(cut + 1).c_str(), v.second);
    }
    if (withEntry) PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), dsn.c_str(), d.driver);
}

// The file that turns the old definitions into the new ones.
std::string NewDefinitions(const Definition& kNew = ::kNew,
                           const std::vector<const char*>& names = {"Kept", "Fresh"}) {
    std::string file = "[General]\r\nItems=" + std::to_string(names.size()) + "\r\n";
    int section = 0;
    for (const char* dsn : names) {
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

// A journal as an interrupted change leaves it.
void PlantJournal(const std::string& name, const std::string& kind, const std::string& source,
                  const std::string& driver, const std::string& tag = "zentrel-change-1") {
    const std::string data = tag + '\0' + kind + '\0' + source + '\0' + driver + '\0';
    PutBinary(HKEY_CURRENT_USER, OdbcPath(), name.c_str(), std::vector<unsigned char>(data.begin(), data.end()));
}

// A key a planted link points at: nothing may reach it.
const char kCanary[] = "Software\\ZentrelCanary";

// A key that is a registry link to `target` (a native path).
void PutLink(const std::string& path, const std::string& target) {
    HKEY link = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL,
                                                REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                                                KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &link, NULL));
    const std::wstring wide(target.begin(), target.end());
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE*)wide.data(),
                                              (DWORD)(wide.size() * sizeof(wchar_t))));
    ::RegCloseKey(link);
}

// A listing's rows in the form TreeOf gives; empty for a source not there.
RegTree RowsOf(const AttributeListing& listing) {
    RegTree tree;
    for (const AttributeRow& row : listing.rows) {
        if (row.subkey) {
            tree[row.name + "\\"] = RegValue{-1, {}};
        } else {
            const std::string keys = row.name.substr(0, row.valueNameAt);
            tree[keys + "|" + row.name.substr(row.valueNameAt)] = RegValue{row.typeCode, row.data};
        }
    }
    return tree;
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
        SetChangePause(nullptr);
        SetRenameUnavailable(false);
        SetScopeLockWait(35000);
        SetScopeLockLease(30000, 5000);
        SetScopeLockRenewalPaused(false);
        WindowTest::TearDown();
    }
    // Imports the file and removes a source with the seam armed; the writes made.
    long Run(long failAt, bool andAfter) {
        ClearTestRegistry();
        Seed("Kept", *keptOld);
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
    const Definition* keptOld = &kOld;
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
  const std::pair<const Definition*, const Definition*> changes[] = {{&kOld, &kNew},
                                                                     {&kFlat, &kNew},
                                                                     {&kOneApart, &kFlatNew},
                                                                     {&kOneApartElsewhere, &kFlatNew},
                                                                     {&kFlatNew, &kFlatNew}};
  for (const auto& change : changes)
  for (bool noRename : {false, true}) {
    SCOPED_TRACE(std::string(noRename ? "by copy" : "by rename") + ", from " + change.first->values[0].first + "=" +
                 change.first->values[0].second + " of " + change.first->driver + " to " + change.second->driver);
    keptOld = change.first;
    const Definition& kNew = *change.second;
    WriteWholeFile(file, NewDefinitions(kNew));
    SetRenameUnavailable(noRename);
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
                ExpectWhole("Kept", keptOld, &kNew);
                ExpectWhole("Fresh", nullptr, &kNew);
                ExpectWhole("Gone", &kOld, nullptr);
            }
            // The next run: transient keys are not sources, and are put right.
            RegKey odbc;
            ASSERT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
            for (const RecoveredChange& change : RecoverInterruptedChanges(odbc, KEY_WOW64_64KEY))
                EXPECT_NE(RecoveredChange::Failed, change.outcome) << change.source;
            ExpectWhole("Kept", keptOld, &kNew);
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
}

// A preview changes nothing, not even through a backup, and says what the
// import would do.
TEST_F(SafeReplaceTest, APreviewWritesNothing) {
    Seed("Kept", kOld);
    Seed("Same", kNew);
    // An interrupted change a recovery would undo: it waits for a run that may write.
    PlantJournal("{zentrel-99-1}", "replace", "Kept", "New Driver");
    Seed("{zentrel-99-1}.new", kNew, false);
    std::string text = NewDefinitions();
    text.replace(text.find("Items=2"), 7, "Items=3");
    text.replace(text.find("DSN=Fresh"), 9, "DSN=Same");
    text += "[DSN2]\r\nDSN=Bad\r\nItems=x\r\n";
    WriteWholeFile(file, text);
    const RegTree before = Snapshot(HKEY_CURRENT_USER, "Software");
    window->facts.commandLine.m_bPreview = TRUE;
    const std::string out = ScratchDir("safe-replace-out") + "\\out.txt";
    window->facts.out = ::CreateFileA(out.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    prompts->messageAnswers = {IDOK, IDOK};
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    EXPECT_FALSE(window->Succeeded());  // the refused source, as the import would
    ASSERT_FALSE(prompts->calls.empty());
    EXPECT_EQ("A change of data source 'Kept' was interrupted; the next run that changes these data sources puts "
              "it right.",
              prompts->calls[0].text);
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
    // Nor does a comparison.
    ForgetRecoveredPlaces();
    Renew();
    window->facts.commandLine.m_bPreview = FALSE;
    window->facts.commandLine.m_bCompare = TRUE;
    WriteWholeFile(file, text);  // the check above emptied its folder
    prompts->messageAnswers = {IDOK, IDOK};
    std::vector<zentrel::SourceComparison> comparisons;
    CompareScopeWithFile(*window, file.c_str(), FALSE, comparisons);
    window->facts.commandLine.m_bCompare = FALSE;
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER, "Software"));
    bool told = false;
    for (const PromptCall& call : prompts->calls) told |= call.text.find("'Kept' was interrupted") != std::string::npos;
    EXPECT_TRUE(told);
}

// A temporary key no journal names hides nothing: the next run that holds
// the lock, one that only exports too, deletes it.
TEST_F(SafeReplaceTest, AnOrphanGoesWithTheNextRunThatHoldsTheLock) {
    Seed("{zentrel-99-2}.new", kNew, false);
    const std::string out = ScratchDir("safe-replace-out") + "\\orphan.dsi";
    window->ExportScopeToFile(out.c_str(), FALSE);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("{zentrel-99-2}.new")));
    EXPECT_EQ(std::string::npos, ReadWholeFile(out).find("zentrel-99"));
    Seed("{zentrel-99-2}.new", kNew, false);
    ForgetRecoveredPlaces();
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    EXPECT_TRUE(window->Succeeded());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("{zentrel-99-2}.new")));
    ExpectWhole("Fresh", &kNew, &kNew);
}

// Leftovers planted beside live sources: recovery acts on what each journal
// names, names compared as the registry compares them, and nothing else.
TEST_F(SafeReplaceTest, RecoveryActsOnlyOnWhatTheJournalNames) {
    struct Case {
        const char* what;
        std::function<void()> plant;
        const Definition* kept;  // what "Kept" is after, whole; null: gone
        std::vector<std::string> keysLeft;
        RecoveredChange::Outcome outcome;
        const wchar_t* exact = nullptr;  // a value "W" the new key holds, which must come back as it is
    };
    const Case cases[] = {
        {"a removal's old key beside the source made anew",
         [] {
             PlantJournal("{zentrel-99-1}", "remove", "Kept", "");
             Seed("{zentrel-99-1}.old", kNew, false);
         },
         &kOld, {}, RecoveredChange::Completed},
        {"a removal's old key spelled in another case",
         [] {
             ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Kept").c_str());
             PlantJournal("{zentrel-99-1}", "remove", "Kept", "");
             Seed("{ZENTREL-99-1}.OLD", kOld, false);
         },
         nullptr, {}, RecoveredChange::Completed},
        {"a journal this program cannot read",
         [] {
             PutString(HKEY_CURRENT_USER, OdbcPath(), "{zentrel-99-1}", "not a journal");
             Seed("{zentrel-99-1}.new", kNew, false);
         },
         &kOld, {"{zentrel-99-1}.new"}, RecoveredChange::Failed},
        {"a journal of another version",
         [] {
             PlantJournal("{zentrel-99-1}", "replace", "Kept", kNew.driver, "zentrel-change-2");
             Seed("{zentrel-99-1}.new", kNew, false);
         },
         &kOld, {"{zentrel-99-1}.new"}, RecoveredChange::Failed},
        // Someone made the source again after the old key was set aside.
        {"a replacement's keys beside a source made meanwhile",
         [] {
             PlantJournal("{zentrel-99-1}", "replace", "Kept", kNew.driver);
             Seed("{zentrel-99-1}.new", kNew, false);
             Seed("{zentrel-99-1}.old", kNew, false);
         },
         &kOld, {"{zentrel-99-1}.new", "{zentrel-99-1}.old"}, RecoveredChange::Failed},
        {"a copy stopped half way",
         [] {
             PlantJournal("{zentrel-99-1}", "copy", "Kept", kNew.driver);
             Seed("{zentrel-99-1}.new", kNew, false);
             ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Kept\\Engines").c_str());
         },
         &kNew, {}, RecoveredChange::Completed},
        {"a copy done but for its driver entry, the new key gone",
         [] {
             ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Kept").c_str());
             PlantJournal("{zentrel-99-1}", "copy", "Kept", kNew.driver);
             Seed("Kept", kNew, false);
         },
         &kNew, {}, RecoveredChange::Completed},
        {"a copy of text with no form in the code page",
         [] {
             PlantJournal("{zentrel-99-1}", "copy", "Kept", kNew.driver);
             Seed("{zentrel-99-1}.new", kNew, false);
             PutWide(HKEY_CURRENT_USER, L"Software\\ODBC\\ODBC.INI\\{zentrel-99-1}.new", L"W", REG_SZ,
                     WideSz(L"x\xD800y"));
         },
         &kNew, {}, RecoveredChange::Completed, L"x\xD800y"},
        // The copy way copies only what it made: never a link, nor a key
        // beside one it never makes; the source stays as it is.
        {"a copy whose temporary key is a link",
         [] {
             PlantJournal("{zentrel-99-1}", "copy", "Kept", kNew.driver);
             PutLink(OdbcPath("{zentrel-99-1}.new"), "\\Registry\\Machine\\" + std::string(kCanary));
         },
         &kOld, {"{zentrel-99-1}.new"}, RecoveredChange::Failed},
        {"a copy whose temporary key holds a link's value",
         [] {
             PlantJournal("{zentrel-99-1}", "copy", "Kept", kNew.driver);
             Seed("{zentrel-99-1}.new", kNew, false);
             PutWide(HKEY_CURRENT_USER, WideText(OdbcPath("{zentrel-99-1}.new\\Engines")), L"SymbolicLinkValue",
                     REG_LINK, WideSz(L"\\Registry\\Machine\\Software"));
         },
         &kOld, {"{zentrel-99-1}.new"}, RecoveredChange::Failed},
        {"a copy beside an old key",
         [] {
             PlantJournal("{zentrel-99-1}", "copy", "Kept", kNew.driver);
             Seed("{zentrel-99-1}.new", kNew, false);
             Seed("{zentrel-99-1}.old", kNew, false);
         },
         &kOld, {"{zentrel-99-1}.new", "{zentrel-99-1}.old"}, RecoveredChange::Failed},
    };
    PutString(HKEY_LOCAL_MACHINE, kCanary, "Held", "canary");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTestRegistry();
        Seed("Kept", kOld);
        c.plant();
        RegKey odbc;
        ASSERT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
        const std::vector<RecoveredChange> found = RecoverInterruptedChanges(odbc, KEY_WOW64_64KEY);
        ASSERT_EQ(1u, found.size());
        EXPECT_EQ(c.outcome, found[0].outcome);
        if (c.exact != nullptr) {
            HKEY kept = NULL;
            ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\ODBC\\ODBC.INI\\Kept", 0,
                                                     KEY_ALL_ACCESS, &kept));
            std::vector<unsigned char> data(64);
            DWORD size = (DWORD)data.size();
            EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExW(kept, L"W", NULL, NULL, data.data(), &size));
            data.resize(size);
            EXPECT_EQ(WideSz(c.exact), data);
            ::RegDeleteValueW(kept, L"W");
            ::RegCloseKey(kept);
        }
        ExpectWhole("Kept", c.kept, c.kept);
        std::vector<std::string> transient;
        for (const auto& entry : Snapshot(HKEY_CURRENT_USER, OdbcPath())) {
            const std::string top = entry.first.substr(0, entry.first.find_first_of("\\|"));
            if (IsTransientKeyName(top.c_str()) && (transient.empty() || transient.back() != top))
                transient.push_back(top);
        }
        EXPECT_EQ(c.keysLeft, transient);
        EXPECT_EQ((RegTree{{"|Held", RegValue{REG_SZ, Text("canary")}}}), Snapshot(HKEY_LOCAL_MACHINE, kCanary));
        for (const std::string& key : transient) DeleteKeyTree(odbc, key, 8, KEY_WOW64_64KEY);
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kCanary, 1, KEY_WOW64_64KEY);
}

// Two runs at once: while one changes the scope, paused between its steps,
// the other cannot take the scope, its recovery leaves the live change
// alone, its listing holds every source that is not being changed, and a
// source it reads is wholly old or wholly new, or not read at all. The
// changes are made several at once, on the run's threads.
TEST_F(SafeReplaceTest, TwoRunsAtOnce) {
    static std::vector<std::string> seen;
    static std::vector<std::string> problems;
    static std::set<DWORD> threads;
    WriteWholeFile(file, NewDefinitions(kNew, {"Kept", "Fresh", "Fresh 2"}));
    for (bool noRename : {false, true}) {
        SCOPED_TRACE(noRename ? "by copy" : "by rename");
        SetRenameUnavailable(noRename);
        ClearTestRegistry();
        Seed("Kept", kOld);
        Seed("Other", kOld);
        ForgetRecoveredPlaces();
        seen.clear();
        problems.clear();
        threads.clear();
        SetChangePause([](const char* step) {
            if (std::string(step) == "enumerating") return;
            seen.push_back(step);
            threads.insert(::GetCurrentThreadId());
            // Long enough for another thread to reach a step of its own.
            if (std::string(step) == "begun") ::Sleep(30);
            RegKey odbc;
            odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY);
            for (const char* dsn : {"Kept", "Fresh"}) {
                const AttributeListing read = ListAttributesWhole(odbc, dsn, KEY_WOW64_64KEY, 0);
                const RegTree rows = RowsOf(read);
                const LONG why = read.problems.empty() ? ERROR_SUCCESS : read.problems[0].code;
                if (read.incomplete ? !rows.empty() || (why != ERROR_BUSY && why != ERROR_FILE_NOT_FOUND)
                                    : rows != TreeOf(kOld) && rows != TreeOf(kNew))
                    problems.push_back(std::string(step) + ": '" + dsn + "' read in part");
            }
            ScopeLock other;
            LockHolder holder;
            if (other.Take(odbc, KEY_WOW64_64KEY, 0, &holder) != ERROR_LOCK_VIOLATION ||
                holder.process != ::GetCurrentProcessId())
                problems.push_back(std::string(step) + ": the lock was free");
            std::vector<std::string> names = EnumerateDataSources(odbc, nullptr);
            if (std::find(names.begin(), names.end(), "Other") == names.end())
                problems.push_back(std::string(step) + ": 'Other' not listed");
        });
        prompts->messageAnswers.clear();
        window->ResetOutcome();
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        SetChangePause(nullptr);
        EXPECT_TRUE(window->Succeeded());
        EXPECT_TRUE(problems.empty()) << problems[0];
        EXPECT_GE(seen.size(), 4u);
        EXPECT_GE(threads.size(), 2u);
        ExpectWhole("Kept", &kNew, &kNew);
        ExpectWhole("Fresh", &kNew, &kNew);
        ExpectWhole("Fresh 2", &kNew, &kNew);
        ExpectWhole("Other", &kOld, &kOld);
    }
}

// Who holds the lock decides: a run that ended is taken over, a run on
// another computer is waited for, then named, and nothing is changed; a
// lock that nobody renews for the lease, whoever it names and even with no
// values at all, is taken over; a run that renews it is waited for.
TEST_F(SafeReplaceTest, ALockHeldElsewhere) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof(computer);
    ASSERT_TRUE(::GetComputerNameA(computer, &size));
    struct Case {
        std::string computer;
        bool changes;
        DWORD process;  // the identifier the lock names
        DWORD wait = 0;
        bool empty = false;    // the key alone, its maker never named itself
        bool renewed = false;  // held by a live run that renews it
    };
    std::string lower = computer;
    for (char& ch : lower) ch = (char)tolower((unsigned char)ch);
    // An identifier no process has; then one a live process has, which
    // started at another time than the lock says; this computer named in
    // other letters.
    for (const Case& c : {Case{computer, true, 0xFFFFFFF0}, Case{"ELSEWHERE", false, 0xFFFFFFF0},
                          Case{computer, true, ::GetCurrentProcessId()}, Case{lower, true, 0xFFFFFFF0},
                          Case{"ELSEWHERE", true, 0xFFFFFFF0, 3000}, Case{"", true, 0, 3000, true},
                          Case{"", false, 0, 1000, false, true}}) {
        SCOPED_TRACE(c.computer + (c.empty ? " empty" : "") + (c.renewed ? " renewed" : ""));
        ClearTestRegistry();
        Seed("Kept", kOld);
        ForgetRecoveredPlaces();
        SetScopeLockWait(c.wait);
        SetScopeLockLease(400, 50);
        // Its journal says it was replacing "Kept" when it stopped.
        PlantJournal("{zentrel-77-1}", "replace", "Kept", "Old Driver");
        PutKey(HKEY_CURRENT_USER, OdbcPath("{zentrel-77-1}.new"));
        ScopeLock live;
        LockHolder none;
        if (c.renewed) {
            RegKey odbc;
            ASSERT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
            ASSERT_EQ(ERROR_SUCCESS, live.Take(odbc, KEY_WOW64_64KEY, 0, &none));
        } else if (c.empty) {
            PutKey(HKEY_CURRENT_USER, OdbcPath("{zentrel-!lock}"));
        } else {
            PutString(HKEY_CURRENT_USER, OdbcPath("{zentrel-!lock}"), "Computer", c.computer);
            PutDword(HKEY_CURRENT_USER, OdbcPath("{zentrel-!lock}"), "Process", c.process);
            PutBinary(HKEY_CURRENT_USER, OdbcPath("{zentrel-!lock}"), "Started", std::vector<unsigned char>(8, 1));
        }
        window->ResetOutcome();
        window->m_strStatusNote.clear();
        prompts->calls.clear();
        prompts->messageAnswers.assign(4, IDOK);
        const ULONGLONG began = ::GetTickCount64();
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        const ULONGLONG took = ::GetTickCount64() - began;
        EXPECT_EQ(c.changes, (bool)window->Succeeded());
        ExpectWhole("Kept", c.changes ? &kNew : &kOld, c.changes ? &kNew : &kOld);
        EXPECT_EQ(c.changes, KeyExists(HKEY_CURRENT_USER, OdbcPath("Fresh")));
        // Whoever took the lock over put the stopped run's change right first.
        EXPECT_EQ(!c.changes, KeyExists(HKEY_CURRENT_USER, OdbcPath("{zentrel-77-1}.new")));
        if (c.wait > 0) {
            EXPECT_NE(std::string::npos, window->m_strStatusNote.find("Waiting for another run")) << window->m_strStatusNote;
            EXPECT_LT(took, c.changes ? 2000u : 2500u);
        }
        if (!c.changes) {
            const PromptCall& busy = prompts->calls.back();
            EXPECT_EQ(0u, busy.text.find("Another run is changing these data sources (computer '" +
                                         (c.renewed ? std::string(computer) : c.computer) + "', process "))
                << busy.text;
        } else {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("{zentrel-!lock}")));
        }
        live.Release();
    }
}

// A holder paused past its lease (it stops renewing, and is not ended) is
// taken over; resumed, it finishes the change it was making and changes
// nothing more, and leaves the other run's lock alone.
TEST_F(SafeReplaceTest, APausedHolderTakenOverWritesNothingMore) {
    static std::unique_ptr<ScopeLock> other;
    static LONG taken = ERROR_SUCCESS;
    ClearTestRegistry();
    Seed("Kept", kOld);
    ForgetRecoveredPlaces();
    SetScopeLockLease(300, 50);
    other.reset(new ScopeLock);
    taken = ERROR_GEN_FAILURE;
    SetChangePause([](const char* step) {
        if (std::string(step) != "begun" || taken == ERROR_SUCCESS) return;
        SetScopeLockRenewalPaused(true);
        RegKey odbc;
        odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY);
        LockHolder holder;
        taken = other->Take(odbc, KEY_WOW64_64KEY, 2000, &holder);
        SetScopeLockRenewalPaused(false);
    });
    prompts->messageAnswers.assign(4, IDOK);
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    SetChangePause(nullptr);
    EXPECT_EQ(ERROR_SUCCESS, taken);
    EXPECT_TRUE(other->TookOver());
    EXPECT_FALSE(window->Succeeded());
    // The source begun at the pause is finished; the other is not touched.
    ExpectWhole("Kept", &kOld, &kNew);
    ExpectWhole("Fresh", nullptr, &kNew);
    EXPECT_NE(Snapshot(HKEY_CURRENT_USER, OdbcPath("Kept")) == TreeOf(kNew),
              KeyExists(HKEY_CURRENT_USER, OdbcPath("Fresh")));
    ASSERT_FALSE(prompts->calls.empty());
    EXPECT_EQ(0u, prompts->calls.back().text.find("Another run took over these data sources after this run had not "
                                                  "renewed its claim on them for 0.3 s"))
        << prompts->calls.back().text;
    EXPECT_TRUE(other->StillHeld());
    other.reset();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OdbcPath("{zentrel-!lock}")));
}

// What stands at a name when it is written decides: a source another
// program made after the questions is asked about, and backed up before it
// is replaced; one it deleted is written as new.
TEST_F(SafeReplaceTest, SourcesChangedAfterTheQuestions) {
    static std::function<void()> meddle;
    static int begunLeft = 0;
    struct Case {
        const char* what;
        std::function<void()> change;
        std::vector<int> answers;  // none: no question
        const Definition* fresh;
        bool succeeded;
        int atChange = 0;     // as which source's change begins; 0: once backed up, before any
        bool byCopy = false;  // the rename-free way
        const Definition* freshBefore = nullptr;  // "Fresh" there from the start, and backed up
    };
    // The first answer lets "Kept" be replaced, at the questions.
    const Case cases[] = {
        {"made, kept", [] { Seed("Fresh", kOld); }, {IDYES, IDNO, IDOK}, &kOld, false},
        {"made, replaced", [] { Seed("Fresh", kOld); }, {IDYES, IDYES}, &kNew, true},
        {"replaced source deleted", [] { ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Kept").c_str()); }, {IDYES},
         &kNew, true},
        // Made after "Fresh" was found absent, as its own change begins
        // (first: "Kept", whose keys go below, is written after the batch):
        // asked about like one made before.
        {"made at its own write", [] { Seed("Fresh", kOld); }, {IDYES, IDNO, IDOK}, &kOld, false, 1},
        {"made at its own write, by copy", [] { Seed("Fresh", kOld); }, {IDYES, IDNO, IDOK}, &kOld, false, 1, true},
        // Backed up, then changed: the backup no longer holds it.
        {"backed up, changed, kept",
         [] {
             ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Fresh").c_str());
             Seed("Fresh", kOther);
         },
         {IDYES, IDYES, IDNO, IDOK}, &kOther, false, 0, false, &kOld},
        // Told unchanged by its key's stamp alone, which a value or a
        // driver entry written since must not pass.
        {"backed up, unchanged", [] {}, {IDYES, IDYES}, &kNew, true, 0, false, &kFlat},
        {"backed up, a value changed", [] { PutString(HKEY_CURRENT_USER, OdbcPath("Fresh"), "A", "changed"); },
         {IDYES, IDYES, IDYES}, &kNew, true, 0, false, &kFlat},
        {"backed up, its driver entry changed",
         [] { PutString(HKEY_CURRENT_USER, OdbcPath("ODBC Data Sources"), "Fresh", "Old Driver 2"); },
         {IDYES, IDYES, IDYES}, &kNew, true, 0, false, &kFlat},
        // A write below the source's key leaves the key's own stamp as it was.
        {"backed up, a value in a key below changed",
         [] { PutString(HKEY_CURRENT_USER, OdbcPath("Fresh\\Engines"), "Threads", "5"); },
         {IDYES, IDYES, IDYES}, &kNew, true, 0, false, &kOld},
    };
    // As the window asks; a batch run never does.
    SettingsDialog settings(nullptr);
    settings.m_bAskImport = TRUE;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTestRegistry();
        Seed("Kept", kOld);
        if (c.freshBefore != nullptr) Seed("Fresh", *c.freshBefore);
        ForgetRecoveredPlaces();
        meddle = c.change;
        begunLeft = c.atChange;
        SetRenameUnavailable(c.byCopy);
        // Once, as the chosen source's change begins: after every question.
        SetChangePause([](const char* step) {
            const bool now = begunLeft == 0 ? std::string(step) == "backed up"
                                            : std::string(step) == "begun" && --begunLeft == 0;
            if (meddle && now) {
                const std::function<void()> once = meddle;
                meddle = nullptr;
                once();
            }
        });
        window->ResetOutcome();
        prompts->calls.clear();
        prompts->messageAnswers.assign(c.answers.begin(), c.answers.end());
        g_pSettings = &settings;
        window->ImportDsiFile(FALSE, file.c_str(), FALSE);
        g_pSettings = nullptr;
        SetChangePause(nullptr);
        SetRenameUnavailable(false);
        EXPECT_TRUE(prompts->messageAnswers.empty());
        EXPECT_EQ(c.succeeded, (bool)window->Succeeded());
        ExpectWhole("Fresh", c.fresh, c.fresh);
        ExpectWhole("Kept", &kNew, &kNew);
    }
    // The replaced "Fresh" is in a backup of its own, and so is the one
    // changed below its key, as it was changed.
    bool backedUp = false, again = false;
    WIN32_FIND_DATAA found;
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof(temp), temp);
    const std::string folder = std::string(temp) + "zentrel-safe-replace\\Zentrel\\Backups\\";
    const HANDLE search = ::FindFirstFileA((folder + "*.dsi").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do {
        const std::string text = ReadWholeFile(folder + found.cFileName);
        backedUp |= text.find("DSN=Fresh") != std::string::npos && text.find("Old Driver") != std::string::npos;
        const size_t threads = text.find("Engines\\Threads\r\nValue");
        again |= threads != std::string::npos && text.compare(text.find('=', threads) + 1, 3, "5\r\n") == 0;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    EXPECT_TRUE(backedUp);
    EXPECT_TRUE(again);
}

// An enumeration that a rename shifts is made again: no source that exists
// throughout is left out.
TEST_F(SafeReplaceTest, ListingsSeeEverySourceThroughARename) {
    static int calls = 0;
    ClearTestRegistry();
    for (const char* dsn : {"A", "B", "C"}) Seed(dsn, kOld);
    calls = 0;
    // Renamed aside at the first look, back at the second.
    SetChangePause([](const char* step) {
        if (std::string(step) != "enumerating" || ++calls > 2) return;
        const std::string from = calls == 1 ? "A" : "{zentrel-99-1}.old", to = calls == 1 ? "{zentrel-99-1}.old" : "A";
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, OdbcPath(from).c_str(), 0, KEY_WRITE, &key));
        const std::wstring wide(to.begin(), to.end());
        EXPECT_EQ(ERROR_SUCCESS, ::RegRenameKey(key, NULL, wide.c_str()));
        ::RegCloseKey(key);
    });
    RegKey odbc;
    ASSERT_EQ(ERROR_SUCCESS, odbc.Open(HKEY_CURRENT_USER, OdbcPath().c_str(), KEY_WOW64_64KEY));
    LONG failed = ERROR_SUCCESS;
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), EnumerateDataSources(odbc, nullptr, nullptr, &failed));
    EXPECT_EQ(ERROR_SUCCESS, failed);
    EXPECT_EQ(4, calls);  // two that a rename shifted, two that agree

    // Shifted at every look, it never agrees: the export names the section
    // and leaves the file as it was.
    SetChangePause([](const char* step) {
        if (std::string(step) != "enumerating") return;
        const bool aside = KeyExists(HKEY_CURRENT_USER, OdbcPath("A"));
        const std::string from = aside ? "A" : "{zentrel-99-1}.old", to = aside ? "{zentrel-99-1}.old" : "A";
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, OdbcPath(from).c_str(), 0, KEY_WRITE, &key));
        const std::wstring wide(to.begin(), to.end());
        EXPECT_EQ(ERROR_SUCCESS, ::RegRenameKey(key, NULL, wide.c_str()));
        ::RegCloseKey(key);
    });
    const std::string out = ScratchDir("safe-replace-out") + "\\unsettled.dsi";
    const std::string was = "[General]\r\nItems=1\r\n[DSN0]\r\nDSN=Was\r\nItems=0\r\n";
    WriteWholeFile(out, was);
    prompts->messageAnswers = {IDOK};
    window->ExportScopeToFile(out.c_str(), FALSE);
    SetChangePause(nullptr);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ(std::string("Key: '") + kOdbcIniPath + "'\n" + MainWindow::SystemErrorText(ERROR_BUSY),
              prompts->calls[0].text);
    EXPECT_FALSE(window->Succeeded());
    EXPECT_EQ(was, ReadWholeFile(out));
}

// A temporary key another program deletes under a run: the failure names
// the source, and the source stays as it was.
// ("Fresh" is begun first: "Kept", whose keys go below, is written after
// the batch.)
TEST_F(SafeReplaceTest, ATemporaryKeyDeletedUnderARunIsNamed) {
    static bool done = false;
    ClearTestRegistry();
    Seed("Kept", kOld);
    ForgetRecoveredPlaces();
    done = false;
    SetChangePause([](const char* step) {
        if (done || std::string(step) != "begun") return;
        done = true;
        for (const auto& entry : Snapshot(HKEY_CURRENT_USER, OdbcPath()))
            if (entry.first.find(".new\\") != std::string::npos)
                ::RegDeleteKeyA(HKEY_CURRENT_USER, OdbcPath(entry.first.substr(0, entry.first.size() - 1)).c_str());
    });
    prompts->messageAnswers = {IDOK};
    window->ImportDsiFile(FALSE, file.c_str(), FALSE);
    SetChangePause(nullptr);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("RegSetValueEx Error", prompts->calls[0].caption);
    EXPECT_EQ("Key: 'Fresh'\n" + MainWindow::SystemErrorText(ERROR_KEY_DELETED), prompts->calls[0].text);
    ExpectWhole("Kept", &kNew, &kNew);
    ExpectWhole("Fresh", nullptr, nullptr);
}

// Every task runs once, whichever thread takes it; what one throws reaches
// the caller, and the threads serve the next run.
TEST(ParallelCallsTest, RunsEachTaskOnceAndPassesOnWhatOneThrows) {
    ParallelCalls calls;
    for (int round = 0; round < 3; ++round) {
        std::vector<LONG> runs(500, 0);
        calls.Run(runs.size(), [&](size_t i) { ::InterlockedIncrement(&runs[i]); });
        EXPECT_EQ(std::vector<LONG>(500, 1), runs) << round;
        EXPECT_THROW(calls.Run(100,
                               [](size_t i) {
                                   if (i == 7) throw std::runtime_error("refused");
                               }),
                     std::runtime_error);
    }
}

}  // namespace
