// Every menu entry, toolbar button and pop-up entry reaches its operation: each
// is tried in a fresh window and judged by what the operation does.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include "ui/Settings.h"
#include "ui/resource.h"

#include <map>

#include "ui/CompareDialog.h"
#include "ui/AboutDialog.h"
#include "ui/DsnNameDialog.h"
#include "ui/ProductTable.h"
#include "ui/TransferDialogs.h"

namespace {

struct Effect {
    std::function<void()> arrange;  // answers and state the operation needs
    std::function<void()> check;    // what it must have done
};

class RoutingTest : public WindowTest {
protected:
    // Two System sources, only "Sales" ticked and current; "Late" exists in
    // the registry but appears only when the list is filled again.
    void Prepare() {
        window.reset();
        ClearTestRegistry();
        PutSource(true, "Alpha");
        PutSource(true, "Sales");
        PutString(HKEY_LOCAL_MACHINE, OdbcPath("Sales"), "Server", "db1");
        Open();
        window->m_lstDataSources.SetCheck(0, FALSE);
        Pick("Sales");
        PutSource(true, "Late");
        prompts->calls.clear();
        dsi = ScratchDir("routing") + "\\out.dsi";
    }

    HWND ToolBar() const { return window->m_wndToolBar.GetSafeHwnd(); }

    std::string Profile(const char* section, const char* key) const {
        char text[256] = "";
        ::GetPrivateProfileStringA(section, key, "", text, sizeof(text), dsi.c_str());
        return text;
    }

    // The save dialog "Export to" answered with a file, and what it holds.
    Effect Export(const char* proposed, const char* items, const char* firstName) {
        return Effect{[this] { prompts->fileAnswers = {dsi}; },
                      [this, proposed, items, firstName] {
                          const std::vector<PromptCall> saves = prompts->Of("save");
                          ASSERT_EQ(1u, saves.size());
                          EXPECT_EQ("Export to", saves[0].caption);
                          EXPECT_EQ(proposed, saves[0].text);
                          EXPECT_EQ(items, Profile("General", "Items"));
                          EXPECT_EQ(firstName, Profile("DSN0", "DSN"));
                      }};
    }

    // The open dialog "Import from" answered with a file of one source.
    void WriteImportFile() {
        WriteWholeFile(dsi,
                       "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=Test Driver\r\nDSN=Imported\r\nItems=1\r\n"
                       "Name0=Server\r\nValue0=db9\r\nFormat0=1\r\n");
    }

    void ExpectImportDialog() {
        const std::vector<PromptCall> opens = prompts->Of("open");
        ASSERT_EQ(1u, opens.size());
        EXPECT_EQ("Import from", opens[0].caption);
    }

    bool AllTicked(bool ticked) const {
        for (int i = 0; i < window->m_lstDataSources.GetItemCount(); ++i) {
            if ((window->m_lstDataSources.GetCheck(i) != FALSE) != ticked) return false;
        }
        return window->m_lstDataSources.GetItemCount() > 0;
    }

    bool Refilled() const { return RowOf("Late") >= 0; }

    std::map<UINT, Effect> Effects() {
        std::map<UINT, Effect> effects;
        effects[IDCANCEL] = {[] {}, [this] { EXPECT_EQ(nullptr, window->GetSafeHwnd()); }};
        effects[ID_REFRESH] = {[] {}, [this] { EXPECT_TRUE(Refilled()); }};
        effects[ID_SELECT_ALL] = {[] {}, [this] { EXPECT_TRUE(AllTicked(true)); }};
        effects[ID_CLEAR_SELECTION] = {[] {}, [this] { EXPECT_TRUE(AllTicked(false)); }};
        effects[ID_EXPORT] = Export("Sales", "1", "Sales");
        effects[ID_EXPORT_ALL] = Export("", "2", "Alpha");
        effects[ID_EXPORT_SELECTED] = Export("Sales", "1", "Sales");
        effects[ID_IMPORT] = {[this] {
                                  WriteImportFile();
                                  prompts->fileAnswers = {dsi};
                                  prompts->messageAnswers = {IDOK};  // the summary
                              },
                              [this] {
                                  ExpectImportDialog();
                                  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Imported")));
                                  EXPECT_GE(RowOf("Imported"), 0);
                              }};
        effects[ID_IMPORT_AS] = {[this] {
                                     WriteImportFile();
                                     prompts->fileAnswers = {dsi};
                                     prompts->messageAnswers = {IDOK};  // the summary
                                     prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                         DsnNameDialog* name = dynamic_cast<DsnNameDialog*>(&dialog);
                                         EXPECT_NE(nullptr, name);
                                         if (name == nullptr) return (INT_PTR)IDCANCEL;
                                         EXPECT_EQ("Imported", name->m_strName);
                                         name->m_strName = "Renamed";
                                         return (INT_PTR)IDOK;
                                     });
                                 },
                                 [this] {
                                     ExpectImportDialog();
                                     EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Renamed")));
                                     EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Imported")));
                                 }};
        // The file holds a source the scope lacks; the scope's two are not in it.
        effects[ID_COMPARE] = {[this] {
                                   WriteImportFile();
                                   prompts->fileAnswers = {dsi};
                                   prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                       CompareDialog* shown = dynamic_cast<CompareDialog*>(&dialog);
                                       EXPECT_NE(nullptr, shown);
                                       if (shown == nullptr) return (INT_PTR)IDCANCEL;
                                       std::string statuses;
                                       for (const zentrel::SourceComparison& c : shown->Comparisons())
                                           statuses += c.name + ":" + zentrel::SourceStatusText(c.status) + ";";
                                       EXPECT_EQ("Imported:only in file;Alpha:only in registry;Late:only in registry;"
                                                 "Sales:only in registry;",
                                                 statuses);
                                       EXPECT_NE(std::string::npos, shown->Summary().find("0 identical, 0 different, 3 only in "
                                                                                          "the registry, 1 only in the file"));
                                       return (INT_PTR)IDCANCEL;
                                   });
                               },
                               [this] {
                                   const std::vector<PromptCall> opens = prompts->Of("open");
                                   ASSERT_EQ(1u, opens.size());
                                   EXPECT_EQ("Compare with File", opens[0].caption);
                               }};
        effects[ID_COPY_SOURCES] = {[] {},
                                    [this] {
                                        const std::vector<PromptCall> copied = prompts->Of("clipboard");
                                        ASSERT_EQ(1u, copied.size());
                                        EXPECT_EQ("Sales\tTest Driver\t64-bit, driver missing\r\n", copied[0].text);
                                    }};
        effects[ID_REMOVE] = {[this] { prompts->messageAnswers = {IDYES}; },
                              [this] {
                                  ASSERT_EQ(1u, prompts->Of("message").size());
                                  EXPECT_EQ("Remove 'Sales' data source?", prompts->Of("message")[0].text);
                                  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, OdbcPath("Sales")));
                              }};
        effects[ID_SETTINGS] = {[this] {
                                    prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                        EXPECT_EQ(g_pSettings, &dialog);
                                        return (INT_PTR)IDCANCEL;
                                    });
                                },
                                [this] { EXPECT_EQ(1u, prompts->Of("dialog").size()); }};
        effects[ID_ODBC_ADMINISTRATOR] = {[] {},
                                          [this] {
                                              const std::vector<PromptCall> shell = prompts->Of("shell");
                                              ASSERT_EQ(1u, shell.size());
                                              EXPECT_EQ("odbcad32.exe", shell[0].text);
                                          }};
        effects[ID_ABOUT] = {[this] {
                                 prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                     EXPECT_NE(nullptr, dynamic_cast<AboutDialog*>(&dialog));
                                     return (INT_PTR)IDOK;
                                 });
                             },
                             [this] { EXPECT_EQ(1u, prompts->Of("dialog").size()); }};
        // With nothing to find yet, Find Next asks for it as Find does.
        for (UINT find : {ID_FIND, ID_FIND_NEXT})
            effects[find] = {[this] {
                                 prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                     static_cast<DsnNameDialog&>(dialog).m_strName = "alp";
                                     return (INT_PTR)IDOK;
                                 });
                             },
                             [this] { EXPECT_STREQ("Alpha", window->m_szCurrentDsn); }};
        // The preview answered, then the summary; Sales is in the 64-bit view already.
        const auto copied = [this](HKEY root, std::string path) {
            return Effect{[this] {
                              prompts->dialogAnswers.push_back([](CDialog&) { return (INT_PTR)IDOK; });
                              prompts->messageAnswers = {IDOK};
                          },
                          [root, path] { EXPECT_TRUE(KeyExists(root, path)); }};
        };
        effects[ID_COPY_TO_32] = copied(HKEY_LOCAL_MACHINE, OdbcPath32("Sales"));
        effects[ID_COPY_TO_USER] = copied(HKEY_CURRENT_USER, OdbcPath("Sales"));
        effects[ID_COPY_TO_64] = {[this] { prompts->messageAnswers = {IDOK}; },
                                  [this] {
                                      ASSERT_EQ(1u, prompts->Of("message").size());
                                      EXPECT_NE(std::string::npos, prompts->Of("message")[0].text.find("already"));
                                  }};
        effects[ID_RESTORE] = {[this] {
                                   prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                       EXPECT_NE(nullptr, dynamic_cast<RestoreDialog*>(&dialog));
                                       return (INT_PTR)IDCANCEL;
                                   });
                               },
                               [this] { EXPECT_EQ(1u, prompts->Of("dialog").size()); }};
        effects[ID_HELP_TOPICS] = {[] {}, [this] { EXPECT_EQ(1, window->helpShown); }};
        effects[ID_WITHHOLD_SECRETS] = {[] {}, [this] { EXPECT_TRUE(window->m_bWithholdSecrets); }};
        effects[ID_USER_ACCOUNT] = {[this] {
                                        prompts->dialogAnswers.push_back([](CDialog& dialog) {
                                            dynamic_cast<DsnNameDialog&>(dialog).m_strName = " S-1-5-21-9-9-9-4242 ";
                                            return (INT_PTR)IDOK;
                                        });
                                    },
                                    [this] {
                                        EXPECT_EQ(1u, prompts->Of("dialog").size());
                                        EXPECT_EQ("S-1-5-21-9-9-9-4242", window->facts.commandLine.m_strAccount);
                                    }};
        effects[ID_LOADED_ACCOUNTS] = {[this] { prompts->messageAnswers = {IDOK}; },
                                       [this] {
                                           const std::vector<PromptCall> told = prompts->Of("message");
                                           ASSERT_EQ(1u, told.size());
                                           EXPECT_NE(std::string::npos, told[0].text.find("S-1-5-21-0-0-0-1000\t"))
                                               << told[0].text;
                                       }};
        effects[ID_MAIL_SUPPORT] = {[] {},
                                    [this] {
                                        const std::vector<PromptCall> shell = prompts->Of("shell");
                                        ASSERT_EQ(1u, shell.size());
                                        EXPECT_EQ(0u, shell[0].text.find("mailto:"));
                                        EXPECT_NE(std::string::npos, shell[0].text.find("Subject=Zentrel"));
                                    }};
        for (int k = 0; k < kProductCount; ++k) {
            // Not installed here: the download question names product k.
            effects[ID_PRODUCT_FIRST + k] = {[this] { prompts->messageAnswers = {IDNO}; },
                                             [this, k] {
                                                 const std::vector<PromptCall> asked = prompts->Of("message");
                                                 ASSERT_EQ(1u, asked.size());
                                                 EXPECT_EQ(std::string(ProductTable[k].title) + " is not installed",
                                                           asked[0].caption);
                                             }};
        }
        return effects;
    }

    // Runs one entry in a fresh window and judges it by its effect.
    void Try(UINT id, const std::function<void()>& trigger) {
        SCOPED_TRACE("command " + std::to_string(id));
        Prepare();
        std::map<UINT, Effect> effects = Effects();
        ASSERT_EQ(1u, effects.count(id)) << "an entry without a known operation";
        effects[id].arrange();
        trigger();
        PumpMessages();
        effects[id].check();
        EXPECT_TRUE(prompts->messageAnswers.empty() && prompts->fileAnswers.empty() &&
                    prompts->dialogAnswers.empty() && prompts->popupAnswers.empty())
            << "an expected prompt did not come";
    }

    std::string dsi;
};

std::vector<UINT> MenuIds(HMENU menu) {
    std::vector<UINT> ids;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        if (HMENU sub = ::GetSubMenu(menu, i)) {
            for (UINT id : MenuIds(sub)) ids.push_back(id);
        } else if (!(::GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR)) {
            ids.push_back(::GetMenuItemID(menu, i));
        }
    }
    return ids;
}

TEST_F(RoutingTest, EveryMenuBarEntry) {
    Prepare();
    const std::vector<UINT> ids = MenuIds(::GetMenu(Hwnd()));
    ASSERT_EQ(38u, ids.size());  // 1 + 19 + 15 + 3
    for (UINT id : ids) {
        Try(id, [this, id] { ::SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); });
    }
}

TEST_F(RoutingTest, EveryToolBarButton) {
    Prepare();
    std::vector<std::pair<int, UINT>> buttons;  // position, command
    const int count = (int)::SendMessageA(ToolBar(), TB_BUTTONCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        ::SendMessageA(ToolBar(), TB_GETBUTTON, i, (LPARAM)&button);
        if (!(button.fsStyle & BTNS_SEP)) buttons.push_back({i, (UINT)button.idCommand});
    }
    EXPECT_EQ(7u, buttons.size());
    for (const auto& entry : buttons) {
        const int i = entry.first;
        // A click on the button's main part, as the user makes it.
        Try(entry.second, [this, i] {
            RECT rect = {};
            ::SendMessageA(ToolBar(), TB_GETITEMRECT, i, (LPARAM)&rect);
            const LPARAM at = MAKELPARAM(rect.left + 20, (rect.top + rect.bottom) / 2);
            HWND bar = ToolBar();
            ::SendMessageA(bar, WM_MOUSEMOVE, 0, at);
            ::SendMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
            if (::IsWindow(bar)) ::SendMessageA(bar, WM_LBUTTONUP, 0, at);
        });
    }
}

TEST_F(RoutingTest, EveryPopupEntry) {
    HMENU menus = ::LoadMenuA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDR_POPUPS));
    ASSERT_NE(nullptr, menus);
    for (int popup = 0; popup < 2; ++popup) {
        for (UINT id : MenuIds(::GetSubMenu(menus, popup))) {
            Try(id, [this, popup, id] {
                prompts->popupAnswers = {id};
                if (popup == 0) {
                    RECT rect = {};
                    ::SendMessageA(ToolBar(), TB_GETITEMRECT, 0, (LPARAM)&rect);
                    const LPARAM arrow = MAKELPARAM(rect.right - 4, (rect.top + rect.bottom) / 2);
                    ::SendMessageA(ToolBar(), WM_LBUTTONDOWN, MK_LBUTTON, arrow);
                    ::SendMessageA(ToolBar(), WM_LBUTTONUP, 0, arrow);
                } else {
                    NMITEMACTIVATE click = {};
                    click.hdr = {window->m_lstDataSources.m_hWnd, IDC_DSN_LIST, (UINT)NM_RCLICK};
                    click.iItem = -1;
                    click.ptAction = POINT{20, 60};
                    ::SendMessageA(Hwnd(), WM_NOTIFY, IDC_DSN_LIST, (LPARAM)&click);
                }
                // The choice runs from the message loop, as a command.
                EXPECT_EQ(1u, prompts->Of("popup").size());
                prompts->calls.clear();
            });
        }
    }
    ::DestroyMenu(menus);
}

}  // namespace
