// A batch run over the computers -s names: one run context each, in the
// order named, then the drift report and the summary.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/Fleet.h"
#include "core/SourceCompare.h"

class RunContext;

// What one computer's operations write and come to.
struct ComputerRun {
    std::string exportFile;  // this computer's own
    std::vector<zentrel::SourceComparison> comparisons;  // kept for the drift report
    zentrel::ComputerCounts counts;
    int compared = 0;
};

// The text of a list file (UTF-8 or UTF-16 with their marks, UTF-8 without
// one, else the system's ANSI code page) in the program's code page.
// Returns 0 or the platform's error code.
DWORD ReadComputerListFile(const char* path, std::string& text);
