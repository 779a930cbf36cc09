// Helpers for tests that drive the real main window and dialogs in-process.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

// Texts of one column of a list view, row by row.
std::vector<std::string> ListColumn(HWND list, int column);
// Every row's cells, columns 0 to columns - 1.
std::vector<std::vector<std::string>> ListRows(HWND list, int columns);
// Check-box state of every row.
std::vector<bool> ListChecks(HWND list);
std::string ItemText(HWND dialog, int id);
// Chooses a tab as a click would: selection, then the notification the
// control does not send for a programmatic change.
void SelectTab(MainWindow& window, int index);
// A command as a menu or a button sends it (notification code 0).
void SendCommand(HWND window, UINT id, UINT code = 0);
// Delivers posted messages of this thread.
void PumpMessages();
// A setting of the program stored as the user would have it.
void StoreSetting(const char* name, const std::string& text);
std::string ThisComputerName();

// A data source with its driver entry (none when driver is null), in a scope.
void PutSource(bool systemScope, const std::string& name, const char* driver = "Test Driver", CALLER_PARAMS);

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

// The one window fixture: a main window object with scripted prompts, made
// for each test. In batch mode it is never shown, as the batch run uses it;
// otherwise Open() creates its window for real (modeless), which fills its
// list for the tab the settings choose.
class WindowTest : public RegistryTest {
public:
    enum class Mode { Window, Batch };

protected:
    explicit WindowTest(Mode mode = Mode::Window) : m_mode(mode) {}
    void SetUp() override;
    void TearDown() override;

    // A fresh object and prompts; the previous object and its window are gone.
    void Renew();
    // Creates the window, on a fresh object when the current one had one.
    void Open(CALLER_PARAMS);
    // The same, then the list filled for tab 0 (System DSN) or 1 (User DSN).
    void Open(int tab, CALLER_PARAMS);

    HWND Hwnd() const { return window->GetSafeHwnd(); }
    // A command as a menu or a button sends it.
    void Command(UINT id, UINT code = 0, HWND control = NULL);
    std::vector<std::string> Rows() const { return ListColumn(window->m_lstDataSources.m_hWnd, 0); }
    int RowOf(const std::string& name) const;
    // Picks a row as a click would: it becomes the current data source.
    void Pick(const std::string& name, CALLER_PARAMS);

    std::unique_ptr<CountingWindow> window;
    PopupPrompts* prompts = nullptr;
    HWND list = NULL, attributes = NULL, tabs = NULL;

private:
    Mode m_mode;
};
