// Driver for the fleet benchmark (scripts/bench, section fleet): one batch
// run over many computers, in this process, so that the connection seam can
// make chosen computers answer slowly.
//
// Usage: bench_fleet COMPUTERS SLOW_MS OTHER_MS
// Every fourth computer's connections each take SLOW_MS, every other's
// OTHER_MS, as a network would; all of them then reach this computer. The
// run (`-q -lu`) is timed one computer at a time (-j1) and at the default
// width, its own output dropped; prints both times and their ratio.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ManagerApp.h"
#include "core/CommandLine.h"
#include "ops/RunContext.h"
#include "registry/RegKey.h"

namespace {
ManagerApp* g_app = nullptr;
DWORD g_slowMs = 1000, g_otherMs = 100;
std::string g_own;

DWORD AnswerAfter(std::string* computer) {
    const int number = atoi(computer->c_str() + 2);  // "pcNN"
    *computer = g_own;
    return number % 4 == 0 ? g_slowMs : g_otherMs;
}

// Milliseconds one run of the switches took; its exit code in *code.
DWORD TimedRun(const std::string& line, int* code) {
    ManagerApp& app = TheApp();
    static_cast<zentrel::CommandLineSwitches&>(app) = zentrel::CommandLineSwitches();
    app.ParseCommandLine(line.c_str());
    RunContext run;
    const DWORD start = ::GetTickCount();
    *code = app.RunBatch(run);
    return ::GetTickCount() - start;
}
}  // namespace

ManagerApp& TheApp() {
    if (g_app == nullptr) g_app = new ManagerApp;
    return *g_app;
}

int main(int argc, char** argv) {
    const int computers = argc > 1 ? atoi(argv[1]) : 16;
    if (argc > 2) g_slowMs = (DWORD)atoi(argv[2]);
    if (argc > 3) g_otherMs = (DWORD)atoi(argv[3]);
    char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof(own);
    ::GetComputerNameA(own, &size);
    g_own = own;
    std::string names;
    for (int i = 1; i <= computers; ++i) names += (i > 1 ? "," : "") + std::string("pc") + std::to_string(i);
    SetConnectionDelay(&AnswerAfter);
    // The run's listing and progress lines are not what is measured.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE), err = ::GetStdHandle(STD_ERROR_HANDLE);
    const HANDLE nul = ::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ::SetStdHandle(STD_OUTPUT_HANDLE, nul);
    ::SetStdHandle(STD_ERROR_HANDLE, nul);
    int oneCode = 0, wideCode = 0;
    const DWORD one = TimedRun("-q -j1 -s" + names + " -lu", &oneCode);
    const DWORD wide = TimedRun("-q -s" + names + " -lu", &wideCode);
    ::SetStdHandle(STD_OUTPUT_HANDLE, out);
    ::SetStdHandle(STD_ERROR_HANDLE, err);
    ::CloseHandle(nul);
    printf("computers=%d slow=%d slow-ms=%lu other-ms=%lu at-once=%d one-at-a-time-ms=%lu at-once-ms=%lu "
           "ratio=%.2f codes=%d,%d\n",
           computers, computers / 4, (unsigned long)g_slowMs, (unsigned long)g_otherMs, zentrel::kDefaultAtOnce,
           (unsigned long)one, (unsigned long)wide, wide ? (double)one / wide : 0.0, oneCode, wideCode);
    return oneCode == 0 && wideCode == 0 ? 0 : 1;
}
