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
    std::string kind;  // "message", "save", "open", "dialog", "viewer", "popup", "shell", "clipboard"
    HWND owner = NULL;
    std::string text;     // message and viewer text; file dialog: proposed name; shell: file
    std::string caption;  // message and viewer caption; file dialog: title; shell: parameters
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
    // Called while a message box stands, to look at the window behind it.
    std::function<void(const PromptCall&)> whileMessage;

    int Message(HWND owner, const char* text, const char* caption, UINT type) override;
    BOOL FileName(BOOL save, OPENFILENAMEA* request) override;
    INT_PTR RunDialog(CDialog& dialog) override;
    UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) override;
    void ShellOpen(HWND owner, const char* file, const char* params, const char* directory) override;
    void CopyText(HWND owner, const std::string& text) override;

    // The calls of one kind.
    std::vector<PromptCall> Of(const std::string& kind) const;
};

// Attaches scripted prompts to a window and returns them (owned by the window).
ScriptedPrompts* Script(MainWindow& window);

// The application object of the test process, switches reset.
ManagerApp& ResetApp();

// Helpers that assert name the line they were called from in a failure, as
// a file/line pair does for Wine's verify_reg_: their last parameters are
// CALLER_PARAMS, filled in by the compiler (GCC, Clang, MSVC 2019 16.6 and
// later), and their bodies begin with TRACE_CALLER().
#define CALLER_PARAMS const char *callerFile = __builtin_FILE(), int callerLine = __builtin_LINE()
#define CALLER_ARGS const char *callerFile, int callerLine
#define TRACE_CALLER() ::testing::ScopedTrace callerTrace(callerFile, callerLine, "called from here")

// Registry helpers (local computer).
HKEY ScopeRoot(bool systemScope);
void ClearTestRegistry(CALLER_PARAMS);
void PutString(HKEY root, const std::string& path, const char* name, const std::string& value, DWORD type = REG_SZ,
               CALLER_PARAMS);
void PutDword(HKEY root, const std::string& path, const char* name, DWORD value, CALLER_PARAMS);
void PutBinary(HKEY root, const std::string& path, const char* name, const std::vector<unsigned char>& bytes,
               CALLER_PARAMS);
void PutKey(HKEY root, const std::string& path, CALLER_PARAMS);
bool KeyExists(HKEY root, const std::string& path);
// Gives a key the access list `sddl` (a string security descriptor); its
// owner may always give it back.
// Runs fn with standard output and error caught in files of `dir`; what
// each received.
struct CapturedStreams {
    std::string out, err;
};
CapturedStreams CaptureStdStreams(const std::string& dir, const std::function<void()>& fn);
void SetKeyAccess(HKEY root, const std::string& path, const char* sddl);
// As SetKeyAccess, for a key that may not be there: nothing then.
void SetAccess(HKEY root, const std::string& path, const char* sddl);
// The raw value (type and bytes); false when it does not exist.
bool GetValue(HKEY root, const std::string& path, const char* name, DWORD* type, std::vector<unsigned char>* data);
std::string OdbcPath(const std::string& dsn = std::string());
// The same below the 32-bit view of HKEY_LOCAL_MACHINE, as the 64-bit view
// holds it (64-bit Windows keeps it under Wow6432Node).
std::string OdbcPath32(const std::string& dsn = std::string());

// Every test group starts from an empty ODBC section in both scopes and no
// settings of the program.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A scratch directory in the test's temporary folder, emptied at start.
std::string ScratchDir(const std::string& name);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
