// Helpers for tests that drive the real main window and dialogs in-process.
#pragma once
#include <windows.h>

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

// A main window created for real (modeless) with scripted prompts; it fills
// its list at creation for the tab the settings choose.
class WindowTest : public RegistryTest {
protected:
    void TearDown() override;
    void Open();

    MainWindow window;
    ScriptedPrompts* prompts = nullptr;
    HWND list = NULL, attributes = NULL, tabs = NULL;
};
