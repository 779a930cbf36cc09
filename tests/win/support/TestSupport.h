// Shared test support: scripted prompts, registry fixtures and helpers.
#pragma once
#include <windows.h>

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/ManagerApp.h"
#include "ui/MainWindow.h"

// One call that reached the prompt interface.
struct PromptCall {
    std::string kind;  // "message", "save", "open", "dialog", "popup", "shell"
    HWND owner = NULL;
    std::string text;     // message text; file dialog: proposed name; shell: file
    std::string caption;  // message caption; file dialog: title; shell: parameters
    UINT type = 0;        // message type; file dialog: flags; popup: flags
    std::string filter;   // file dialog filter with '|' for each zero
    std::string defaultExtension;
};

class ScriptedPrompts : public Prompts {
public:
    // Answers are used in order; a call with no answer left fails the test.
    std::deque<int> messageAnswers;
    std::deque<std::string> fileAnswers;          // "" cancels the dialog
    std::deque<std::function<INT_PTR(CDialog&)>> dialogAnswers;
    std::deque<UINT> popupAnswers;
    std::vector<PromptCall> calls;

    int Message(HWND owner, const char* text, const char* caption, UINT type) override;
    BOOL FileName(BOOL save, OPENFILENAMEA* request) override;
    INT_PTR RunDialog(CDialog& dialog) override;
    UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) override;
    void ShellOpen(HWND owner, const char* file, const char* params, const char* directory) override;

    // The calls of one kind.
    std::vector<PromptCall> Of(const std::string& kind) const;
};

// Attaches scripted prompts to a window and returns them (owned by the window).
ScriptedPrompts* Script(MainWindow& window);

// The application object of the test process, switches reset.
ManagerApp& ResetApp();

// Registry helpers (local computer).
HKEY ScopeRoot(bool systemScope);
void ClearTestRegistry();
void PutString(HKEY root, const std::string& path, const char* name, const std::string& value, DWORD type = REG_SZ);
void PutDword(HKEY root, const std::string& path, const char* name, DWORD value);
void PutBinary(HKEY root, const std::string& path, const char* name, const std::vector<unsigned char>& bytes);
void PutKey(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);
// The raw value (type and bytes); false when it does not exist.
bool GetValue(HKEY root, const std::string& path, const char* name, DWORD* type, std::vector<unsigned char>* data);
std::string OdbcPath(const std::string& dsn = std::string());

// Every test group starts from an empty ODBC section in both scopes and no
// settings of the program.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A window object that is never shown, as batch mode uses it: the computer
// name comes from the application object, and its prompts are scripted.
class BatchWindowTest : public RegistryTest {
protected:
    void SetUp() override;

    MainWindow window;
    ScriptedPrompts* prompts = nullptr;
};

// A scratch directory in the test's temporary folder, emptied at start.
std::string ScratchDir(const std::string& name);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
