// The application object: reads the command line once, runs the window or
// the console batch mode, and ends the process.
#pragma once
#include <windows.h>

#include "core/CommandLine.h"
#include "framework/Framework.h"

class MainWindow;

class ManagerApp : public CWinApp, public zentrel::CommandLineSwitches {
public:
    ManagerApp();
    ~ManagerApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override { return m_nExitCode; }

    // Parses a command-line tail into the switch fields.
    void ParseCommandLine(const char* tail);
    // Console batch mode on an unshown window object; returns the exit code.
    int RunBatch(MainWindow& window);
    void WriteConsoleText(const char* text, BOOL bNewline);
    // One line a data source of the scope on the batch output: name, driver, scope.
    void ListDataSources(MainWindow& window, BOOL systemScope);

    HANDLE m_hConsoleOut;
    HANDLE m_hConsoleErr;
    // Set before start-up by the console companion (zentrel.com): batch mode
    // only, always quiet, on the caller's own standard handles.
    BOOL m_bConsoleProgram;

private:
    int m_nExitCode;
};

// The one application object.
ManagerApp& TheApp();

// Process-wide texts of the maker.
extern const char* const g_szWebPage;
extern const char* const g_szSupportMail;
extern const char* const g_szDownloadRoot;
