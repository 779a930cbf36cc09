// A batch run over the computers -s names: one run context each, in the
// order named, then the drift report and the summary.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Fleet.h"
#include "core/SourceCompare.h"
#include "ops/RunContext.h"

class ManagerApp;

// What one computer's operations write and come to.
struct ComputerRun {
    std::string exportFile;  // this computer's own
    std::vector<zentrel::SourceComparison> comparisons;  // kept for the drift report
    zentrel::ComputerCounts counts;
    int compared = 0;
};

// One computer of a run over many, worked on beside others: what it is
// given, and what its run leaves for the main thread to write in order.
struct ComputerJob {
    size_t index = 0;
    std::string name, exportFile;
    RunFacts facts;
    std::unique_ptr<Prompts> prompts;  // its own
    DWORD waitMs = 0;                  // how long each connection may wait
    ManagerApp* app = nullptr;
    std::string out, err;              // its standard output and messages
    zentrel::ComputerOutcome outcome;
    std::vector<zentrel::SourceComparison> comparisons;
    bool finished = false;
};

// The text of a list file (UTF-8 or UTF-16 with their marks, UTF-8 without
// one, else the system's ANSI code page) in the program's code page.
// Returns 0 or the platform's error code.
DWORD ReadComputerListFile(const char* path, std::string& text);
