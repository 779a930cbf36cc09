// One batch run over many computers: naming them, the file each one gets,
// the lines that tell how each went, the exit code and the drift report.
// Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "core/SourceCompare.h"

namespace zentrel {

// What -s names: one computer as today, or many, listed (`a,b`) or in a
// file (`@path`, the quotes around the path dropped).
struct ComputerSwitch {
    bool many = false;
    bool fromFile = false;
    std::string text;  // the names, or the list file's path
};
ComputerSwitch ReadComputerSwitch(const std::string& value);

// A name the list cannot use: empty (nothing but the backslashes before a
// name, too) or named before. Either is skipped, and the run goes on.
struct ComputerListProblem {
    bool duplicate = false;
    std::string name;
    size_t where = 0;  // line of the file, or position in the -s list; from 1
    bool line = false;
};
std::string ComputerListProblemText(const ComputerListProblem& problem);

struct ComputerList {
    std::vector<std::string> names;  // in the order named, each once
    std::vector<ComputerListProblem> problems;
};
// The names of `-sa,b,...`, taken as they stand.
ComputerList SplitComputerNames(const std::string& text);
// The names of a list file's text, one a line; blank lines and lines whose
// first character past the blanks is '#' are skipped, and the blanks around
// a name (which no computer name holds) dropped.
ComputerList ReadComputerListText(const std::string& text);

// How the bytes of a list file are to be read: a byte-order mark says, bytes
// that form UTF-8 are UTF-8, any others are in the system's ANSI code page.
enum class ListEncoding { Utf8, Utf16Le, Utf16Be, Ansi };
ListEncoding ComputerListEncoding(const std::string& bytes, size_t* markLength);

// A computer's name as part of a file name: the backslashes before it
// dropped, and each character no file name can hold (control characters,
// < > : " / \ | ? *, and a dot or blank at its end) replaced by '_'.
std::string ComputerFileNamePart(const std::string& computer);
// The file of each computer: the name of `path` with the computer's part
// inserted before its extension ("sys.dsi" -> "sys.SRV01.dsi"), or appended
// when it has none. Two computers that would share a file get "-2", "-3"...
// after their part, so that no export overwrites another's. A path that
// names no file (a folder) stays as it is.
std::vector<std::string> ComputerFileNames(const std::string& path, const std::vector<std::string>& computers);

// What one computer's run came to, for its line and the summary. A count
// below zero is one its run did not ask for and is not shown.
struct ComputerCounts {
    int removed = -1, exported = -1, listed = -1, written = -1, replaced = -1, skipped = -1, different = -1;
};
struct ComputerOutcome {
    std::string computer;
    bool completed = true;  // every operation asked for completed
    int compared = 0;       // with -d: 0 identical, 1 different, 2 not compared
    ComputerCounts counts;
    bool Failed() const { return !completed || compared == 2; }
};

// Standard error lines, each ended by CR LF; names escaped as EscapeControls does.
std::string ComputerStartLine(size_t index, size_t total, const std::string& computer);
std::string ComputerEndLine(size_t index, size_t total, const ComputerOutcome& outcome);
std::string FleetSummaryLine(const std::vector<ComputerOutcome>& outcomes, bool compare);

// 0 when every computer completed, else 1; with -d: 2 when any could not be
// compared, else 1 when any differs or failed otherwise, else 0. No computer
// at all (a list that names none or cannot be read) fails the run.
int FleetExitCode(const std::vector<ComputerOutcome>& outcomes, bool compare);

// Each line of `text` with the computer's name and a tab before it.
std::string PrefixLines(const std::string& computer, const std::string& text);

// The drift report of computers compared with one file: per source, in the
// order first met, the difference lines of each computer that differs from
// the file in it, in the computers' order, the computer's name first.
std::string FormatDrift(const std::vector<std::pair<std::string, std::vector<SourceComparison>>>& computers);

}  // namespace zentrel
