// The window's face of compare: the scope on the computer of the
// remote-system box (batch mode: of the command line) against a file.
#pragma once
#include <windows.h>

#include <vector>

#include "ops/Compare.h"

class MainWindow;

CompareOutcome CompareScopeWithFile(MainWindow& window, const char* file, BOOL systemScope,
                                    std::vector<zentrel::SourceComparison>& comparisons);
