// Companion tools, help and the About box, seen through the prompt interface:
// every shell request is recorded instead of carried out.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <functional>
#include <regex>
#include <set>

#include "ui/AboutDialog.h"
#include "ui/ProductTable.h"
#include "ui/resource.h"

namespace {

std::string ModulePath() {
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(NULL, path, sizeof(path));
    return path;
}

std::string WithExtension(const std::string& path, const char* extension) {
    return path.substr(0, path.size() - 3) + extension;
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

class CompanionTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        ASSERT_NE(nullptr, window->m_hWnd);
    }
    // Runs the About command (1012); check sees the box, created modeless, while it is open.
    void WithAboutBox(const std::function<void(AboutDialog&)>& check) {
        bool ran = false;
        prompts->dialogAnswers.push_back([&](CDialog& dialog) -> INT_PTR {
            AboutDialog* about = dynamic_cast<AboutDialog*>(&dialog);
            EXPECT_NE(nullptr, about) << "the About command runs an AboutDialog";
            if (about == nullptr) return IDCANCEL;
            EXPECT_TRUE(about->Create(nullptr));
            check(*about);
            about->DestroyWindow();
            ran = true;
            return IDOK;
        });
        ::SendMessageA(window->m_hWnd, WM_COMMAND, MAKEWPARAM(ID_ABOUT, 0), 0);
        EXPECT_TRUE(ran) << "the command reached the dialog runner";
    }
};

const std::string kProductKeyRoot = "Software\\Morvane\\";

// ---- the product table -----------------------------------------------------

TEST(ProductTableTest, TitlesAreTheToolsMenuEntriesInOrder) {
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(nullptr, menu);
    HMENU tools = ::GetSubMenu(menu, 2);
    ASSERT_NE(nullptr, tools);
    int separator = -1;
    for (int i = 0; i < ::GetMenuItemCount(tools); ++i) {
        if (::GetMenuItemID(tools, i) == 0) separator = i;
    }
    ASSERT_GE(separator, 0);
    ASSERT_EQ(separator + 1 + kProductCount, ::GetMenuItemCount(tools));
    for (int k = 0; k < kProductCount; ++k) {
        const int position = separator + 1 + k;
        EXPECT_EQ(UINT(ID_PRODUCT_FIRST + k), ::GetMenuItemID(tools, position));
        char caption[128] = "";
        ::GetMenuStringA(tools, position, caption, sizeof(caption), MF_BYPOSITION);
        std::string title;
        for (const char* p = caption; *p; ++p) {
            if (*p != '&') title += *p;
        }
        EXPECT_EQ(title, ProductTable[k].title) << "row " << k;
    }
    ::DestroyMenu(menu);
}

TEST(ProductTableTest, RowsAreWellFormed) {
    std::set<std::string> keys, stems;
    int emptyFolders = 0;
    for (int k = 0; k < kProductCount; ++k) {
        const ProductInfo& row = ProductTable[k];
        SCOPED_TRACE(row.key);
        const std::string key = row.key, title = row.title, stem = row.stem, folder = row.pageFolder,
                          description = row.description;
        EXPECT_FALSE(key.empty());
        EXPECT_EQ(std::string::npos, key.find_first_of(" \\\t"));
        EXPECT_EQ(0u, title.find("Morvane "));
        EXPECT_TRUE(std::regex_match(stem, std::regex("[a-z]{2,5}"))) << stem;
        if (folder.empty()) {
            ++emptyFolders;
        } else {
            EXPECT_EQ('/', folder.back());
        }
        EXPECT_EQ(0u, description.find("is "));
        EXPECT_NE('.', description.back());
        keys.insert(key);
        stems.insert(stem);
    }
    EXPECT_EQ(1, emptyFolders);
    EXPECT_EQ(size_t(kProductCount), keys.size()) << "keys are unique";
    EXPECT_EQ(size_t(kProductCount), stems.size()) << "download stems are unique";
}

// ---- launching a companion product ------------------------------------------

TEST_F(CompanionTest, ProductWithoutKeyAsksAndDownloadsOnlyOnYes) {
    struct Case {
        int index;
        int answer;
        const char* caption;
        const char* text;
        const char* download;  // nullptr: nothing opened
    };
    const Case cases[] = {
        {0, IDNO, "Morvane Query Desk is not installed",
         "Morvane Query Desk is an interactive SQL editor for any ODBC data source.\n\nDo you want to download and "
         "install this software product from 'www.morvane.example' ?",
         nullptr},
        {0, IDYES, "Morvane Query Desk is not installed",
         "Morvane Query Desk is an interactive SQL editor for any ODBC data source.\n\nDo you want to download and "
         "install this software product from 'www.morvane.example' ?",
         "http://www.morvane.example/qdesk_d.exe"},
        {7, IDYES, "Morvane SQL Scheduler is not installed",
         "Morvane SQL Scheduler is a service that runs SQL scripts on a schedule.\n\nDo you want to download and "
         "install this software product from 'www.morvane.example' ?",
         "http://www.morvane.example/sqlsc_d.exe"},
        {11, IDYES, "Morvane Password Vault is not installed",
         "Morvane Password Vault is a safe store for database passwords.\n\nDo you want to download and install "
         "this software product from 'www.morvane.example' ?",
         "http://www.morvane.example/pwv_d.exe"},
        {12, IDNO, "Morvane SQL Formatter is not installed",
         "Morvane SQL Formatter is a formatter that lays out SQL statements.\n\nDo you want to download and install "
         "this software product from 'www.morvane.example' ?",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        prompts->calls.clear();
        prompts->messageAnswers = {c.answer};
        EXPECT_EQ(0, window->LaunchProduct(c.index));
        const std::vector<PromptCall> messages = prompts->Of("message");
        ASSERT_EQ(1u, messages.size());
        EXPECT_EQ(c.caption, messages[0].caption);
        EXPECT_EQ(c.text, messages[0].text);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), messages[0].type);
        EXPECT_EQ(window->m_hWnd, messages[0].owner);
        const std::vector<PromptCall> shell = prompts->Of("shell");
        if (c.download == nullptr) {
            EXPECT_TRUE(shell.empty());
        } else {
            ASSERT_EQ(1u, shell.size());
            EXPECT_EQ(c.download, shell[0].text);
            EXPECT_EQ(window->m_hWnd, shell[0].owner);
            EXPECT_EQ("", shell[0].caption) << "no parameters";
        }
    }
}

TEST_F(CompanionTest, EveryRowOffersItsOwnTitleAndDownload) {
    for (int k = 0; k < kProductCount; ++k) {
        prompts->calls.clear();
        prompts->messageAnswers = {IDYES};
        window->LaunchProduct(k);
        ASSERT_EQ(2u, prompts->calls.size()) << k;
        EXPECT_EQ(std::string(ProductTable[k].title) + " is not installed", prompts->calls[0].caption);
        EXPECT_EQ(0u, prompts->calls[0].text.find(std::string(ProductTable[k].title) + " " +
                                                  ProductTable[k].description + ".\n\n"));
        EXPECT_EQ(std::string("http://www.morvane.example/") + ProductTable[k].stem + "_d.exe",
                  prompts->calls[1].text);
    }
}

TEST_F(CompanionTest, ExePathDecidesBetweenStartingAndAsking) {
    const std::string dir = ScratchDir("companion-exe");
    const std::string present = dir + "\\trace viewer.txt";  // any extension, blanks in the path
    WriteWholeFile(present, "x");
    const std::string missing = dir + "\\gone.exe";
    const std::string own = kProductKeyRoot + "TraceView";  // row 3
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* opened;  // nullptr: the not-installed question comes instead
    };
    const Case cases[] = {
        {"existing file", [&] { PutString(HKEY_CURRENT_USER, own, "ExePath", present); }, present.c_str()},
        {"existing file, expandable type",
         [&] { PutString(HKEY_CURRENT_USER, own, "ExePath", present, REG_EXPAND_SZ); }, present.c_str()},
        {"no key", [] {}, nullptr},
        {"key without ExePath", [&] { PutKey(HKEY_CURRENT_USER, own); }, nullptr},
        {"empty ExePath", [&] { PutString(HKEY_CURRENT_USER, own, "ExePath", ""); }, nullptr},
        {"ExePath names no file", [&] { PutString(HKEY_CURRENT_USER, own, "ExePath", missing); }, nullptr},
        {"ExePath too long for a path",
         [&] { PutString(HKEY_CURRENT_USER, own, "ExePath", present + std::string(300, 'x')); }, nullptr},
        {"ExePath only for all users",
         [&] { PutString(HKEY_LOCAL_MACHINE, own, "ExePath", present); }, nullptr},
        {"ExePath of another product",
         [&] { PutString(HKEY_CURRENT_USER, kProductKeyRoot + "QueryDesk", "ExePath", present); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Morvane");
        ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, own.c_str());
        c.arrange();
        prompts->calls.clear();
        if (c.opened == nullptr) prompts->messageAnswers = {IDNO};
        EXPECT_EQ(0, window->LaunchProduct(3));
        if (c.opened != nullptr) {
            ASSERT_EQ(1u, prompts->calls.size());
            EXPECT_EQ("shell", prompts->calls[0].kind);
            EXPECT_EQ(c.opened, prompts->calls[0].text);
            EXPECT_EQ(window->m_hWnd, prompts->calls[0].owner);
        } else {
            ASSERT_EQ(1u, prompts->calls.size());
            EXPECT_EQ("message", prompts->calls[0].kind);
            EXPECT_EQ("Morvane Trace View is not installed", prompts->calls[0].caption);
        }
    }
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, own.c_str());
}

TEST_F(CompanionTest, IndexOutsideTheTableIsRefusedSilently) {
    for (int index : {-1, 13, 25000, INT_MIN}) {
        EXPECT_EQ(-1, window->LaunchProduct(index)) << index;
    }
    EXPECT_TRUE(prompts->calls.empty());
}

// ---- the administrator, mail, commands --------------------------------------

TEST_F(CompanionTest, ShellRequestsOfTheWindow) {
    struct Case {
        const char* name;
        std::function<void()> act;
        const char* file;
    };
    const Case cases[] = {
        {"ODBC administrator", [&] { window->OnOdbcAdministrator(); }, "odbcad32.exe"},
        {"mail to support", [&] { window->MailSupport(); }, "mailto:support@morvane.example?Subject=Zentrel"},
        {"command 1013", [&] { ::SendMessageA(window->m_hWnd, WM_COMMAND, MAKEWPARAM(ID_ODBC_ADMINISTRATOR, 0), 0); },
         "odbcad32.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->calls.clear();
        c.act();
        ASSERT_EQ(1u, prompts->calls.size());
        EXPECT_EQ("shell", prompts->calls[0].kind);
        EXPECT_EQ(c.file, prompts->calls[0].text);
        EXPECT_EQ(window->m_hWnd, prompts->calls[0].owner);
        EXPECT_EQ("", prompts->calls[0].caption);
        EXPECT_EQ("", prompts->calls[0].defaultExtension) << "no working directory";
    }
}

// ---- the About box -----------------------------------------------------------

TEST_F(CompanionTest, AboutBoxTitleAndLines) {
    WithAboutBox([&](AboutDialog& about) {
        EXPECT_EQ(window->m_hWnd, ::GetWindow(about.m_hWnd, GW_OWNER));
        char title[64] = "";
        ::GetWindowTextA(about.m_hWnd, title, sizeof(title));
        EXPECT_STREQ("About Zentrel", title);
        EXPECT_EQ("Version 1.00.00,  ANSI,  x64", ItemText(about.m_hWnd, IDC_VERSION_LINE));
        const std::string build = ItemText(about.m_hWnd, IDC_BUILD_LINE);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(build, match,
                                     std::regex("Compiler: (\\d+), MFC: 0x100, Build: [A-Z][a-z][a-z] [ 1-3]\\d "
                                                "\\d{4} \\d\\d:\\d\\d:\\d\\d")))
            << build;
#if defined(__GNUC__) && !defined(_MSC_VER)
        EXPECT_EQ(std::to_string(__GNUC__ * 100 + __GNUC_MINOR__), match[1].str());
#endif
    });
}

TEST_F(CompanionTest, AboutBoxLinks) {
    WithAboutBox([&](AboutDialog& about) {
        struct Case {
            LinkLabel* label;
            int id;
            const char* text;
            const char* target;
        };
        const Case cases[] = {
            {&about.m_lblWeb, IDC_WEB_LINK, "http://www.morvane.example/odbc", "http://www.morvane.example/odbc"},
            {&about.m_lblMail, IDC_MAIL_LINK, "support@morvane.example", "mailto:support@morvane.example"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            HWND label = about.GetDlgItemHwnd(c.id);
            ASSERT_EQ(label, c.label->m_hWnd);
            EXPECT_EQ(c.text, ItemText(about.m_hWnd, c.id));
            EXPECT_EQ(c.target, c.label->m_strTarget);
            EXPECT_NE(0, ::GetWindowLongPtrA(label, GWL_STYLE) & SS_NOTIFY) << "mouse input reaches the label";

            // One click: one request, without owner, parameters or directory.
            prompts->calls.clear();
            ::SendMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
            ::SendMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
            ASSERT_EQ(1u, prompts->calls.size());
            EXPECT_EQ("shell", prompts->calls[0].kind);
            EXPECT_EQ(c.target, prompts->calls[0].text);
            EXPECT_EQ(NULL, prompts->calls[0].owner);
            EXPECT_EQ("", prompts->calls[0].caption);
            EXPECT_EQ("", prompts->calls[0].defaultExtension);
        }
        // The mail link opens a message without a subject, unlike the Help menu's.
        EXPECT_EQ(std::string::npos, about.m_lblMail.m_strTarget.find("Subject"));
    });
}

TEST_F(CompanionTest, LinksShowTheHandCursor) {
    WithAboutBox([&](AboutDialog& about) {
        for (LinkLabel* label : {&about.m_lblWeb, &about.m_lblMail}) {
            ASSERT_NE(nullptr, label->m_hCursor);
            ICONINFO info = {};
            ASSERT_TRUE(::GetIconInfo(label->m_hCursor, &info));
            EXPECT_FALSE(info.fIcon);
            EXPECT_EQ(6u, info.xHotspot);
            EXPECT_EQ(0u, info.yHotspot);
            if (info.hbmMask) ::DeleteObject(info.hbmMask);
            if (info.hbmColor) ::DeleteObject(info.hbmColor);

            ::SetCursor(NULL);
            EXPECT_EQ(TRUE, ::SendMessageA(label->m_hWnd, WM_SETCURSOR, (WPARAM)label->m_hWnd,
                                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
            EXPECT_EQ(label->m_hCursor, ::GetCursor());
        }
    });
}

TEST_F(CompanionTest, LinksAreBlueAndUnderlinedOnTheDialogBackground) {
    WithAboutBox([&](AboutDialog& about) {
        struct Case {
            int id;
            bool link;
        };
        for (const Case& c : {Case{IDC_WEB_LINK, true}, Case{IDC_MAIL_LINK, true}, Case{IDC_VERSION_LINE, false}}) {
            SCOPED_TRACE(c.id);
            HDC dc = ::CreateCompatibleDC(NULL);
            ::SetTextColor(dc, RGB(1, 2, 3));
            HBRUSH brush = (HBRUSH)::SendMessageA(about.m_hWnd, WM_CTLCOLORSTATIC, (WPARAM)dc,
                                                  (LPARAM)about.GetDlgItemHwnd(c.id));
            LOGFONTA font = {};
            ::GetObjectA(::GetCurrentObject(dc, OBJ_FONT), sizeof(font), &font);
            if (c.link) {
                EXPECT_EQ(::GetSysColorBrush(COLOR_BTNFACE), brush);
                EXPECT_EQ(RGB(0, 0, 255), ::GetTextColor(dc));
                EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc));
                EXPECT_TRUE(font.lfUnderline);
            } else {
                EXPECT_NE(RGB(0, 0, 255), ::GetTextColor(dc));
                EXPECT_FALSE(font.lfUnderline);
            }
            ::DeleteDC(dc);
            // The control's own font is the underlined one too.
            HFONT own = (HFONT)::SendMessageA(about.GetDlgItemHwnd(c.id), WM_GETFONT, 0, 0);
            LOGFONTA ownFont = {};
            ::GetObjectA(own, sizeof(ownFont), &ownFont);
            EXPECT_EQ(c.link, ownFont.lfUnderline != 0);
        }
        EXPECT_TRUE(about.m_lblWeb.m_lfFont.lfUnderline);
    });
}

TEST(AboutVersionTest, ProductVersionFormatting) {
    struct Case {
        DWORD productMS, productLS, fileMS, fileLS;
        const char* line;
    };
    const Case cases[] = {
        {0x00010000, 0x00000000, 0x00010000, 0x00000000, "Version 1.00.00,  ANSI,  x64"},
        {0x00010004, 0x00050000, 0x00090009, 0x00090009, "Version 1.04.05,  ANSI,  x64"},  // file version unused
        {0x000A000C, 0x00630007, 0, 0, "Version 10.12.99,  ANSI,  x64"},  // the build number is not shown
        {0x0002007B, 0x01C80000, 0, 0, "Version 2.123.456,  ANSI,  x64"},
    };
    for (const Case& c : cases) {
        VS_FIXEDFILEINFO info = {};
        info.dwSignature = 0xFEEF04BD;
        info.dwProductVersionMS = c.productMS;
        info.dwProductVersionLS = c.productLS;
        info.dwFileVersionMS = c.fileMS;
        info.dwFileVersionLS = c.fileLS;
        EXPECT_EQ(c.line, AboutDialog::FormatVersionLine(info));
    }
}

TEST(AboutVersionTest, VersionLineOfFiles) {
    const std::string dir = ScratchDir("companion-version");
    WriteWholeFile(dir + "\\plain.exe", "MZ not really a program");
    struct Case {
        std::string path;
        const char* line;
    };
    const Case cases[] = {
        {ModulePath(), "Version 1.00.00,  ANSI,  x64"},
        {dir + "\\plain.exe", ""},
        {dir + "\\missing.exe", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.line, AboutDialog::VersionLineOf(c.path.c_str())) << c.path;
}

// ---- help --------------------------------------------------------------------

// Run in a copy of this program (below): reports the help path the window computes.
TEST(HelpPathProbe, DISABLED_Report) {
    const char* report = std::getenv("ZENTREL_HELP_REPORT");
    ASSERT_NE(nullptr, report);
    MainWindow window;
    Script(window);
    ASSERT_TRUE(window.Create(nullptr));
    WriteWholeFile(report, window.m_szHelpFile);
    window.DestroyWindow();
}

TEST_F(CompanionTest, HelpPathFollowsTheProgramFile) {
    EXPECT_EQ(WithExtension(ModulePath(), "chm"), window->m_szHelpFile);

    // A copy of this program elsewhere expects its help file beside the copy.
    const std::string dir = ScratchDir("companion-moved");
    const std::string copy = dir + "\\moved.exe";
    ASSERT_TRUE(::CopyFileA(ModulePath().c_str(), copy.c_str(), FALSE));
    const std::string report = dir + "\\report.txt";
    ::SetEnvironmentVariableA("ZENTREL_HELP_REPORT", report.c_str());
    std::string command = "\"" + copy + "\" --gtest_also_run_disabled_tests --gtest_filter=HelpPathProbe.*";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(::CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    const DWORD waited = ::WaitForSingleObject(process.hProcess, 60000);
    EXPECT_EQ(WAIT_OBJECT_0, waited);
    if (waited != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::SetEnvironmentVariableA("ZENTREL_HELP_REPORT", NULL);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(dir + "\\moved.chm", ReadWholeFile(report));
}


struct ClassSearch {
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectByClass(HWND hWnd, LPARAM param) {
    ClassSearch* search = reinterpret_cast<ClassSearch*>(param);
    char name[64] = "";
    ::GetClassNameA(hWnd, name, sizeof(name));
    if (strcmp(name, search->className) == 0) search->found.push_back(hWnd);
    return TRUE;
}

// Top-level windows of this thread with the given class.
std::vector<HWND> ThreadWindowsOfClass(const char* className) {
    ClassSearch search{className, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectByClass, (LPARAM)&search);
    return search.found;
}

TEST_F(CompanionTest, HelpOpensTheHelpFileAndIsSilentWithoutOne) {
    const std::string chm = Folder(ModulePath()) + "\\zentrel.chm";
    if (::GetFileAttributesA(chm.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no help file built";
    ASSERT_TRUE(ThreadWindowsOfClass("HH Parent").empty());

    // A missing file: no help window, no message of the program's own.
    strcpy(window->m_szHelpFile, (Folder(ModulePath()) + "\\nothing-here.chm").c_str());
    EXPECT_TRUE(window->MainWindow::ShowHelp());
    EXPECT_TRUE(ThreadWindowsOfClass("HH Parent").empty());

    strcpy(window->m_szHelpFile, chm.c_str());
    EXPECT_TRUE(window->MainWindow::ShowHelp());
    const std::vector<HWND> help = ThreadWindowsOfClass("HH Parent");
    ASSERT_EQ(1u, help.size());
    char title[64] = "";
    ::GetWindowTextA(help[0], title, sizeof(title));
    EXPECT_STREQ("Zentrel Help", title);
    EXPECT_EQ(window->m_hWnd, ::GetWindow(help[0], GW_OWNER));
    EXPECT_TRUE(prompts->calls.empty());
    ::DestroyWindow(help[0]);
}

// For screenshots only (scripts/shot-companion): the main window run modally
// with F1 routed to the help, as the program's command routing does.
class HelpKeyWindow : public MainWindow {
protected:
    BOOL OnInitDialog() override {
        MainWindow::OnInitDialog();
        strcpy(m_szHelpFile, (Folder(ModulePath()) + "\\zentrel.chm").c_str());
        return TRUE;
    }
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (msg != WM_HELP) return MainWindow::OnMessage(msg, wParam, lParam, result);
        ShowHelp();
        *result = TRUE;
        return TRUE;
    }
};

TEST(Screenshot, DISABLED_HelpOnF1) {
    HelpKeyWindow window;
    window.DoModal();
}
}  // namespace
