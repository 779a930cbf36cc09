// Command-line switches of the program. Portable: no <windows.h>.
#pragma once
#include <functional>
#include <string>

#include "core/Platform.h"

namespace zentrel {

// Splits a command-line tail into tokens: only a blank separates, and only
// outside double quotes; the quote characters stay in the token.
void TokenizeCommandLine(const char* tail, const std::function<void(const std::string&)>& onToken);

// The command-line tail of a full command line: what follows the program's
// name (quoted or not) and the white space after it.
const char* CommandLineTail(const char* commandLine);

// The switch fields of the application object, in their declared order.
struct CommandLineSwitches {
    int m_bBatchMode = 0;       // an export, import or list switch was seen
    int m_bImport = 0;
    int m_bExport = 0;
    int m_bUserScope = 0;       // last -e/-i selected User DSN
    std::string m_strFileName;  // file of the last -e/-i
    std::string m_strRemoteSystem;  // computer of the last -s; empty = local
    int m_bQuiet = 0;           // -q: lines on standard error instead of message boxes
    int m_bList = 0;            // -l: print the data sources of a scope
    int m_bListUserScope = 0;   // last -l selected User DSN; its own, so -e/-i keep theirs
    std::string m_strPlatform;  // -p32 / -p64: "32" or "64", the System view; empty = both
    int m_bCompare = 0;         // -d: compare a scope with a DSI file
    int m_bCompareUserScope = 0;
    std::string m_strCompareFile;
    int m_bPreview = 0;         // -n: the import only says what it would do
    int m_bCopy = 0;            // -c: copy data sources to another view or scope
    std::string m_strCopyPlaces;  // "<from><to>", each a CopyPlace letter
    std::string m_strCopyName;    // the one source copied; empty for every one

    void ParseSwitch(const std::string& token);
    // The System view a batch run is limited to by -p32/-p64; false when none.
    bool ForcedView(Platform* platform) const;
};

// Where -c copies from or to: u the User scope, 3 or 6 the System scope's
// 32-bit or 64-bit view; false for any other letter.
bool ReadCopyPlace(char letter, bool* systemScope, Platform* view);

// What the console program prints when it is given nothing to do.
const char* UsageText();

}  // namespace zentrel
