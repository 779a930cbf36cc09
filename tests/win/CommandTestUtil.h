// A live main window for the command and removal tests: created modeless,
// prompts scripted, pop-up menus observable while they are "open".
#pragma once
#include "TestSupport.h"
#include "WindowHelpers.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "ui/resource.h"

// Lets a test look at a pop-up menu and the window while it is shown.
class PopupPrompts : public ScriptedPrompts {
public:
    std::function<void(HMENU)> whileOpen;
    UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) override {
        if (whileOpen) whileOpen(popup);
        return ScriptedPrompts::TrackPopup(popup, flags, x, y, owner);
    }
};

// Counts help requests instead of opening the help viewer.
class CountingWindow : public MainWindow {
public:
    int helpShown = 0;
    BOOL ShowHelp() override {
        ++helpShown;
        return TRUE;
    }
};

class LiveWindowTest : public RegistryTest {
protected:
    void TearDown() override {
        window.reset();
        PumpMessages();
        RegistryTest::TearDown();
    }

    // Creates the window; the list is filled for the scope the settings choose.
    void Open() {
        window.reset(new CountingWindow);
        prompts = new PopupPrompts;
        window->SetPrompts(std::unique_ptr<Prompts>(prompts));
        ASSERT_TRUE(window->Create(nullptr));
        ASSERT_NE(nullptr, g_pSettings);
    }

    HWND Hwnd() const { return window->GetSafeHwnd(); }

    void Command(UINT id, UINT code = 0, HWND control = NULL) {
        ::SendMessageA(Hwnd(), WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)control);
    }

    std::vector<std::string> Rows() const { return ListColumn(window->m_lstDataSources.m_hWnd, 0); }

    int RowOf(const std::string& name) const {
        const std::vector<std::string> rows = Rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] == name) return (int)i;
        }
        return -1;
    }

    // Picks a row as a click would: it becomes the current data source.
    void Pick(const std::string& name) {
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name;
        window->m_lstDataSources.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ASSERT_STREQ(name.c_str(), window->m_szCurrentDsn);
    }

    // A data source with its driver entry, in the given scope.
    static void PutSource(bool systemScope, const std::string& name, const char* driver = "Test Driver") {
        const HKEY root = ScopeRoot(systemScope);
        PutString(root, OdbcPath(name), "Driver", "C:\\drivers\\test.dll");
        if (driver != nullptr) PutString(root, OdbcPath("ODBC Data Sources"), name.c_str(), driver);
    }


    std::unique_ptr<CountingWindow> window;
    PopupPrompts* prompts = nullptr;
};
