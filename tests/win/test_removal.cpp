// Remove: the current data source's key with everything below it, then its
// driver entry; the question, the failures and what stays current.
#include "DsiTestUtil.h"

#include <sddl.h>

#include <cstdio>

#include "ui/Settings.h"
#include "ui/resource.h"

namespace {

const char kSettingsKey[] = "Software\\Morvane\\Zentrel\\";
const char kSources[] = "ODBC Data Sources";

class RemovalTest : public WindowTest {
protected:
    // Three System sources; "Sales" has nested keys and is the one removed.
    void Seed() {
        PutSource(true, "Alpha");
        PutSource(true, "Sales");
        PutSource(true, "Zeta");
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("Sales\\Options\\Deep"), "Level", "3");
        PutDword(HKEY_LOCAL_MACHINE, OdbcPath("Sales\\Options"), "Timeout", 30);
    }

    void ExpectNoCurrentItemBox(const PromptCall& call, const char* caption = "Remove") {
        EXPECT_EQ("message", call.kind);
        EXPECT_EQ("No item is currently selected", call.text);
        EXPECT_EQ(caption, call.caption);
        EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), call.type);
        EXPECT_EQ(Hwnd(), call.owner);
    }

    bool SourceEntry(const char* name) {
        return GetValue(HKEY_LOCAL_MACHINE, OdbcPath(kSources), name, nullptr, nullptr);
    }
};

TEST_F(RemovalTest, QuestionGuardedBySetting) {
    struct Case {
        const char* stored;  // bAskDelete as stored, nullptr for never stored
        int answer;          // 0: no question expected
        bool removed;
    };
    const Case cases[] = {
        {nullptr, IDYES, true},  // asks by default
        {"1", IDYES, true},
        {"7", IDYES, true},  // any non-zero number asks
        {"0", 0, true},      // deletes at once
        {"1", IDNO, false},
        {"1", IDCANCEL, false},  // anything but Yes declines
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored ? c.stored : "(none)") + " answer " + std::to_string(c.answer));
        ClearTestRegistry();
        Seed();
        if (c.stored) PutString(HKEY_CURRENT_USER, kSettingsKey, "bAskDelete", c.stored);
        Open();
        // A refill ticks every row again. (A tick changes the current source too.)
        window->m_lstDataSources.SetCheck(0, FALSE);
        Pick("Sales");
        if (c.answer) prompts->messageAnswers = {c.answer};

        Command(ID_REMOVE);

        if (c.answer) {
            ASSERT_EQ(1u, prompts->calls.size());
            const PromptCall& question = prompts->calls[0];
            EXPECT_EQ("Remove 'Sales' data source?", question.text);
            EXPECT_EQ("Warning!", question.caption);
            // No is the default button, so Enter keeps the source.
            EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), question.type);
            EXPECT_EQ(Hwnd(), question.owner);
        } else {
            EXPECT_TRUE(prompts->calls.empty());
        }
        EXPECT_EQ(!c.removed, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
        EXPECT_EQ(!c.removed, SourceEntry("Sales"));
        // Declined, the source stays current, as its highlight shows.
        EXPECT_STREQ(c.removed ? "Zeta" : "Sales", window->m_szCurrentDsn);
        // The others are untouched.
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Alpha")));
        EXPECT_TRUE(SourceEntry("Alpha"));
        EXPECT_TRUE(SourceEntry("Zeta"));
        if (c.removed) {
            EXPECT_EQ((std::vector<std::string>{"Alpha", "Zeta"}), Rows());
            EXPECT_TRUE(window->m_lstDataSources.GetCheck(0));  // refilled
            // The row that moved into its place is current.
            EXPECT_EQ(1, ListView_GetNextItem(list, -1, LVNI_SELECTED));
            EXPECT_GT(window->m_lstAttributes.GetItemCount(), 0);
        } else {
            EXPECT_EQ((std::vector<std::string>{"Alpha", "Sales", "Zeta"}), Rows());
            EXPECT_FALSE(window->m_lstDataSources.GetCheck(0));  // not refilled
            EXPECT_GT(window->m_lstAttributes.GetItemCount(), 0);
        }
        window.reset();
    }
}

// After a removal the row that moved into its place is current and in view
// (at the end, the row before it), and the list is not scrolled back to its top.
TEST_F(RemovalTest, TheNextRowBecomesCurrentWhereTheListWas) {
    struct Case {
        int picked;
        const char* current;
    };
    const Case cases[] = {{57, "Source 58"}, {59, "Source 58"}, {0, "Source 01"}, {30, "Source 31"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picked);
        ClearTestRegistry();
        char name[32];
        for (int i = 0; i < 60; ++i) {
            snprintf(name, sizeof(name), "Source %02d", i);
            PutSource(true, name);
        }
        PutString(HKEY_CURRENT_USER, kSettingsKey, "bAskDelete", "0");
        Open();
        snprintf(name, sizeof(name), "Source %02d", c.picked);
        Pick(name);
        ListView_EnsureVisible(list, RowOf(name), FALSE);
        const int topBefore = ListView_GetTopIndex(list);
        Command(ID_REMOVE);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath(name)));
        EXPECT_STREQ(c.current, window->m_szCurrentDsn);
        const int row = RowOf(c.current);
        EXPECT_EQ(row, ListView_GetNextItem(list, -1, LVNI_SELECTED));
        EXPECT_EQ(row, ListView_GetNextItem(list, -1, LVNI_FOCUSED));
        const int top = ListView_GetTopIndex(list);
        EXPECT_LE(top, row);
        EXPECT_LT(row, top + ListView_GetCountPerPage(list));
        EXPECT_GE(top, topBefore - 1);
        EXPECT_GT(window->m_lstAttributes.GetItemCount(), 0);
        EXPECT_TRUE(prompts->calls.empty());
        window.reset();
    }
}

TEST_F(RemovalTest, NestedKeysGoWithTheSource) {
    Seed();
    // Nested as deep as the registry allows: 512 levels below the hive's root.
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyA(HKEY_LOCAL_MACHINE, OdbcPath("Sales").c_str(), &key));
    for (int level = 0; level < 508; ++level) {
        HKEY next = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(key, "L", &next)) << level;
        ::RegCloseKey(key);
        key = next;
    }
    ::RegCloseKey(key);
    PutString(HKEY_CURRENT_USER, kSettingsKey, "bAskDelete", "0");
    Open();
    Pick("Sales");
    Command(ID_REMOVE);
    for (const std::string& path : {std::string("Sales\\Options\\Deep"), std::string("Sales\\Options"),
                                    std::string("Sales\\L"), std::string("Sales")}) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath(path))) << path;
    }
    EXPECT_TRUE(prompts->calls.empty());
}

// A source the backup cannot hold whole is not removed, and is named.
TEST_F(RemovalTest, AnUnreadableSourceIsNotRemoved) {
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", ScratchDir("removal-backup").c_str()));
    Seed();
    const auto access = [](const char* sddl) { SetKeyAccess(HKEY_LOCAL_MACHINE, OdbcPath("Sales\\Options"), sddl); };
    access("D:P");
    PutString(HKEY_CURRENT_USER, kSettingsKey, "bAskDelete", "0");
    Open();
    prompts->messageAnswers = {IDOK, IDOK};  // the listing's report, then the backup's
    Pick("Sales");
    Command(ID_REMOVE);
    access("D:(A;;KA;;;WD)");
    ASSERT_EQ(2u, prompts->calls.size());
    EXPECT_EQ("Data source 'Sales' cannot be backed up whole, so it is left as it is.\nKey: 'Sales\\Options'\n" +
                  MainWindow::SystemErrorText(ERROR_ACCESS_DENIED),
              prompts->calls[1].text);
    EXPECT_TRUE(SourceEntry("Sales"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales\\Options\\Deep")));
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
}

// The backup written before the removal brings the source back whole.
TEST_F(RemovalTest, TheBackupRestoresTheSourceByteForByte) {
    const std::string appData = ScratchDir("removal-backup");
    ASSERT_TRUE(::SetEnvironmentVariableA("LOCALAPPDATA", appData.c_str()));
    Seed();
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Sales"), "Paths", std::string("a\0b\0\0", 5), REG_MULTI_SZ);
    PutBinary(HKEY_LOCAL_MACHINE, OdbcPath("Sales\\Options"), "Key", Pattern(40));
    PutString(HKEY_LOCAL_MACHINE, OdbcPath("Sales"), "Odd", std::string("x\0y", 3));
    PutKey(HKEY_LOCAL_MACHINE, OdbcPath("Sales\\Empty"));
    const RegTree before = Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("Sales"));
    PutString(HKEY_CURRENT_USER, kSettingsKey, "bAskDelete", "0");
    Open();
    Pick("Sales");
    Command(ID_REMOVE);
    ::SetEnvironmentVariableA("LOCALAPPDATA", NULL);
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
    ASSERT_FALSE(SourceEntry("Sales"));

    const std::string backup = FirstBackup(appData, "*-system.dsi");
    ASSERT_FALSE(backup.empty());
    window->ImportDsiFile(FALSE, backup.c_str(), TRUE);
    EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
    EXPECT_EQ((RegValue{REG_SZ, Text("Test Driver")}), ValueOf(HKEY_LOCAL_MACHINE, OdbcPath(kSources), "Sales"));
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(RemovalTest, MissingDriverEntryIsNoError) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"no value of that name", [] { ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, OdbcPath(kSources).c_str(), "Sales"); }},
        {"no ODBC Data Sources key", [] { ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, OdbcPath(kSources).c_str()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTestRegistry();
        Seed();
        c.prepare();
        PutString(HKEY_CURRENT_USER, kSettingsKey, "bAskDelete", "0");
        Open();
        Pick("Sales");
        Command(ID_REMOVE);
        EXPECT_TRUE(prompts->calls.empty());
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
        EXPECT_EQ((std::vector<std::string>{"Alpha", "Zeta"}), Rows());
        EXPECT_STREQ("Zeta", window->m_szCurrentDsn);
        window.reset();
    }
}

// What is shown is what acts: after No, the highlighted row is still the
// one Delete asks about, and a Yes then removes it.
TEST_F(RemovalTest, DeclinedThenDeleteAsksAgain) {
    Seed();
    Open();
    Pick("Sales");
    prompts->messageAnswers = {IDNO, IDYES};
    Command(ID_REMOVE);
    EXPECT_EQ(RowOf("Sales"), ListView_GetNextItem(list, -1, LVNI_SELECTED));
    EXPECT_GT(window->m_lstAttributes.GetItemCount(), 0);
    MSG key = {};
    key.hwnd = list;
    key.message = WM_KEYDOWN;
    key.wParam = VK_DELETE;
    EXPECT_TRUE(window->PreTranslateMessage(&key));
    ASSERT_EQ(2u, prompts->calls.size());
    EXPECT_EQ("Remove 'Sales' data source?", prompts->calls[1].text);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Zeta"}), Rows());
}

TEST_F(RemovalTest, SourceDeletedMeanwhileIsReportedAndStaysCurrent) {
    Seed();
    Open();
    window->m_lstDataSources.SetCheck(0, FALSE);
    Pick("Sales");
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, OdbcPath("Sales").c_str());  // another program
    prompts->messageAnswers = {IDYES, IDOK};

    Command(ID_REMOVE);

    ASSERT_EQ(2u, prompts->calls.size());
    EXPECT_EQ("Warning!", prompts->calls[0].caption);
    const PromptCall& error = prompts->calls[1];
    EXPECT_EQ(MainWindow::SystemErrorText(ERROR_FILE_NOT_FOUND), error.text);
    EXPECT_EQ("SHDeleteKey Error", error.caption);
    EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), error.type);
    // Nothing else changed: the entry stays, the list is not refilled.
    EXPECT_TRUE(SourceEntry("Sales"));
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Sales", "Zeta"}), Rows());
    EXPECT_FALSE(window->m_lstDataSources.GetCheck(0));
    EXPECT_STREQ("Sales", window->m_szCurrentDsn);
}

TEST_F(RemovalTest, NothingCurrentReportsNoItem) {
    struct Case {
        const char* what;
        std::function<void()> before;  // leaves no removable current source
        int answers;                               // questions answered on the way
        bool othersKept = true;                    // Alpha and Zeta are there throughout
    };
    const Case cases[] = {
        {"fresh window", [] {}, 0},
        // The next row becomes current after a removal: none is left after the last source's.
        {"right after the last source's removal",
         [this] {
             ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, OdbcPath("Alpha").c_str());
             ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, OdbcPath("Zeta").c_str());
             Command(ID_REFRESH);
             Pick("Sales");
             prompts->messageAnswers = {IDYES};
             Command(ID_REMOVE);
         },
         1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTestRegistry();
        Seed();
        Open();
        c.before();
        ASSERT_EQ((size_t)c.answers, prompts->calls.size());
        const std::vector<std::string> rows = Rows();
        prompts->messageAnswers = {IDOK};

        Command(ID_REMOVE);

        ASSERT_EQ((size_t)c.answers + 1, prompts->calls.size());
        ExpectNoCurrentItemBox(prompts->calls.back());
        EXPECT_EQ(rows, Rows());
        EXPECT_EQ(c.othersKept, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Alpha")));
        EXPECT_EQ(c.othersKept, KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Zeta")));
        window.reset();
    }
}

// The current source is a source in a place: a refill keeps it only while
// the list shows it in the scope and on the computer where it was picked.
TEST_F(RemovalTest, ActsOnlyOnTheSourcePickedInTheListedPlace) {
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof(computer);
    ASSERT_TRUE(::GetComputerNameA(computer, &size));
    struct Case {
        const char* what;
        std::function<void()> change;
        bool removes;  // the User "Sales" picked at the start
    };
    const Case cases[] = {
        {"scope switched; same name in the new scope, listed",
         [this] {
             PutSource(true, "Sales");
             ::SelectTab(*window, 0);
         },
         false},
        // The other scope's list does not show it: nothing is current after.
        {"scope switched and back", [this] {
             ::SelectTab(*window, 0);
             ::SelectTab(*window, 1);
         },
         false},
        {"refreshed", [this] { Command(ID_REFRESH); }, true},
        {"refreshed after another program deleted it",
         [this] {
             ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Sales").c_str());
             Command(ID_REFRESH);
         },
         false},
        {"refreshed against another computer that lists the same name",
         [this, &computer] {
             ::SetDlgItemTextA(window->m_hWnd, IDC_REMOTE_SYSTEM, computer);
             Command(ID_REFRESH);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearTestRegistry();
        PutString(HKEY_CURRENT_USER, kSettingsKey, "bDefSystem", "0");
        PutSource(false, "Sales");
        PutSource(false, "Other");
        PutSource(true, "Alpha");
        Open();
        Pick("Sales");
        c.change();
        ASSERT_STREQ(c.removes ? "Sales" : "", window->m_szCurrentDsn);
        const std::vector<std::string> rows = Rows();
        prompts->messageAnswers = c.removes ? std::deque<int>{IDYES} : std::deque<int>{IDOK, IDOK};
        prompts->fileAnswers = {""};

        // Export of the current source follows the same rule (its file
        // dialog is cancelled), then Remove.
        Command(ID_EXPORT);
        Command(ID_REMOVE);

        ASSERT_EQ(2u, prompts->calls.size());
        if (c.removes) {
            EXPECT_EQ("save", prompts->calls[0].kind);
            EXPECT_EQ("Sales", prompts->calls[0].text);
            EXPECT_EQ("Remove 'Sales' data source?", prompts->calls[1].text);
        } else {
            ExpectNoCurrentItemBox(prompts->calls[0], "Export");
            ExpectNoCurrentItemBox(prompts->calls[1]);
            EXPECT_EQ(rows, Rows());
        }
        EXPECT_EQ(!c.removes && std::string(c.what).find("deleted") == std::string::npos,
                  KeyExists(HKEY_CURRENT_USER, OdbcPath("Sales")));
        EXPECT_EQ(std::string(c.what).find("new scope") != std::string::npos,
                  KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OdbcPath("Other")));
        window.reset();
    }
}

// Names the list shows exactly as stored: one that differs only in case is
// another row, not the current source.
TEST_F(RemovalTest, ListedNameMustMatchExactly) {
    PutString(HKEY_CURRENT_USER, kSettingsKey, "bDefSystem", "0");
    PutSource(false, "sales");
    PutSource(true, "SALES");
    Open();
    Pick("sales");
    ::SelectTab(*window, 0);
    ASSERT_EQ((std::vector<std::string>{"SALES"}), Rows());
    prompts->messageAnswers = {IDOK};
    Command(ID_REMOVE);
    ASSERT_EQ(1u, prompts->calls.size());
    ExpectNoCurrentItemBox(prompts->calls[0]);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("SALES")));
}

}  // namespace
