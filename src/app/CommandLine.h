// Command-line switches of the program. Portable: no <windows.h>.
#pragma once
#include <functional>
#include <string>

namespace zentrel {

// Splits a command-line tail into tokens: only a blank separates, and only
// outside double quotes; the quote characters stay in the token.
void TokenizeCommandLine(const char* tail, const std::function<void(const std::string&)>& onToken);

// The switch fields of the application object, in their declared order.
struct CommandLineSwitches {
    int m_bBatchMode = 0;       // an export or import switch was seen
    int m_bImport = 0;
    int m_bExport = 0;
    int m_bUserScope = 0;       // last -e/-i selected User DSN
    std::string m_strFileName;  // file of the last -e/-i
    std::string m_strRemoteSystem;  // computer of the last -s; empty = local

    void ParseSwitch(const std::string& token);
};

}  // namespace zentrel
