// The application object: reads the command line once, runs the window or
// the console batch mode, and ends the process.
#pragma once
#include <windows.h>

#include "core/CommandLine.h"
#include "core/Fleet.h"
#include "framework/Framework.h"

class RunContext;
struct ComputerRun;
struct ComputerJob;
namespace zentrel {
struct ComputerSwitch;
}

class ManagerApp : public CWinApp, public zentrel::CommandLineSwitches {
public:
    ManagerApp();
    ~ManagerApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override { return m_nExitCode; }

    // Parses a command-line tail into the switch fields.
    void ParseCommandLine(const char* tail);
    // Console batch mode over the run context, no window; returns the exit
    // code. The context takes the command line's facts and streams.
    int RunBatch(RunContext& run);
    void WriteConsoleText(const char* text, BOOL bNewline);
    // One computer's run of many, on a thread of its own (src/app/Fleet.cpp).
    static DWORD WINAPI ComputerThread(void* job);

    HANDLE m_hConsoleOut;
    HANDLE m_hConsoleErr;
    // Set before start-up by the console companion (zentrel.com): batch mode
    // only, always quiet, on the caller's own standard handles.
    BOOL m_bConsoleProgram;

private:
    // The operations the command line asks for, in their order; with
    // `computer`, those of one of many computers, which it takes the results of.
    int RunOperations(RunContext& run, ComputerRun* computer = nullptr);
    // The operations on each computer -s names (src/app/Fleet.cpp).
    int RunFleet(RunContext& run, const zentrel::ComputerSwitch& named);
    // One computer of many: its operations in a context of its own, and
    // how they went; its comparisons and output are kept in the job.
    zentrel::ComputerOutcome RunComputer(ComputerJob& job);
    int RunWindow();
    // The names -r gives, each of its files read; false, reported, when a
    // file cannot be read whole.
    bool ReadRemovalNames(RunContext& run);

    int m_nExitCode;
    std::vector<zentrel::RemovalSwitch> m_removeNames;  // of this run, none from a file
};

// The one application object.
ManagerApp& TheApp();
