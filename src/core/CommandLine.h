// Command-line switches of the program. Portable: no <windows.h>.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/Platform.h"

namespace zentrel {

// Splits a command-line tail into tokens: only a blank separates, and only
// outside double quotes; the quote characters stay in the token.
void TokenizeCommandLine(const char* tail, const std::function<void(const std::string&)>& onToken);

// The command-line tail of a full command line: what follows the program's
// name (quoted or not) and the white space after it.
const char* CommandLineTail(const char* commandLine);

// One -r: a data source to remove from a scope, or a file that names
// several, one a line.
struct RemovalSwitch {
    bool userScope = false;
    bool fromFile = false;
    std::string text;  // the name, or the file's path
};

// The names of a names file's text: each line that is not empty, exactly
// as it stands (a name may begin or end with a blank, or with '#').
std::vector<std::string> NameLines(const std::string& text);

// Computers worked on at once unless -j says otherwise, and how long each
// connection waits for its computer unless -t does.
const int kDefaultAtOnce = 8;
const int kMostAtOnce = 64;
const int kDefaultWaitSeconds = 60;

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
    int m_bPreview = 0;         // -n: the import and removal only say what they would do
    int m_bWithholdSecrets = 0; // -x: the export leaves secret values out
    std::vector<RemovalSwitch> m_removals;  // each -r, in order
    int m_nAtOnce = kDefaultAtOnce;         // -j<n>: computers worked on at once
    int m_nWaitSeconds = kDefaultWaitSeconds;  // -t<seconds>: how long a computer may take to answer
    std::string m_strBadSwitch;  // a -j or -t whose value is out of range; the run refuses it
    // -u<account>: whose User DSNs on another computer (a name or a SID);
    // empty: the running account's.
    std::string m_strAccount;
    int m_bListAccounts = 0;    // -w: the accounts whose User DSNs can be reached there
    int m_bCopy = 0;            // -c: copy data sources to another view or scope
    std::string m_strCopyPlaces;  // "<from><to>", each a CopyPlace letter
    std::string m_strCopyName;    // the one source copied; empty for every one

    void ParseSwitch(const std::string& token);
    void ParseRunSwitch(const std::string& token);
    // The System view a batch run is limited to by -p32/-p64; false when none.
    bool ForcedView(Platform* platform) const;
};

// Where -c copies from or to: u the User scope, 3 or 6 the System scope's
// 32-bit or 64-bit view; false for any other letter.
bool ReadCopyPlace(char letter, bool* systemScope, Platform* view);

// What the console program prints when it is given nothing to do.
const char* UsageText();

// -j's and -t's values: digits only, from 1 to `most`; 0 otherwise.
int SwitchNumber(const std::string& digits, int most);

}  // namespace zentrel
