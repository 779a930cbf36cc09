#include "core/CommandLine.h"

namespace zentrel {

void TokenizeCommandLine(const char* tail, const std::function<void(const std::string&)>& onToken) {
    if (tail == nullptr || *tail == '\0') return;
    bool inQuotes = false;
    bool open = false;
    std::string token;
    for (const char* p = tail; *p != '\0'; ++p) {
        const char c = *p;
        if (c == ' ' && !inQuotes) {
            if (open) onToken(token);
            open = false;
            continue;
        }
        if (c == '"') inQuotes = !inQuotes;
        if (open) {
            token += c;
        } else {
            token.assign(1, c);
            open = true;
        }
    }
    // A tail of blanks only leaves no token open.
    if (open) onToken(token);
}

const char* CommandLineTail(const char* commandLine) {
    if (commandLine == nullptr) return "";
    const char* p = commandLine;
    // The platform's rule for a windowed program: a quote groups the name up
    // to the next quote, nothing escapes, and blanks and control characters separate.
    auto separates = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && !separates(*p)) ++p;
    }
    while (separates(*p)) ++p;
    return p;
}

namespace {

// The file name after a switch's scope letter, the quotes around it dropped.
std::string FileAfterScope(const std::string& token, size_t from = 3) {
    std::string file = token.size() > from ? token.substr(from) : std::string();
    const size_t first = file.find_first_not_of('"');
    if (first == std::string::npos) return std::string();
    file.erase(0, first);
    file.erase(file.find_last_not_of('"') + 1);
    return file;
}

}  // namespace

void CommandLineSwitches::ParseSwitch(const std::string& token) {
    if (token.size() < 2 || (token[0] != '-' && token[0] != '/')) return;
    switch (token[1]) {
    case 'e':
        m_bBatchMode = 1;
        m_bExport = 1;
        break;
    case 'i':
        m_bBatchMode = 1;
        m_bImport = 1;
        break;
    case 's':
        m_strRemoteSystem = token.substr(2);
        return;
    case 'q':
        m_bQuiet = 1;
        return;
    case 'p':
        // Only the two views exist; anything else is not this switch.
        if (token == "-p32" || token == "-p64" || token == "/p32" || token == "/p64") m_strPlatform = token.substr(2);
        return;
    case 'n':
        m_bPreview = token.size() == 2;
        return;
    case 'd':
        // A scope and a file of its own, so that -e and -i keep theirs.
        m_bBatchMode = 1;
        m_bCompare = 1;
        m_bCompareUserScope = token.size() >= 3 && token[2] == 'u';
        m_strCompareFile = FileAfterScope(token);
        return;
    case 'c':
        // Two place letters, then the source's name, quoted or not.
        m_bBatchMode = 1;
        m_bCopy = 1;
        m_strCopyPlaces = token.substr(2, 2);
        m_strCopyName = FileAfterScope(token, 4);
        return;
    case 'l':
        // The scope selector as for -e and -i; there is no file name.
        m_bBatchMode = 1;
        m_bList = 1;
        m_bListUserScope = token.size() >= 3 && token[2] == 'u';
        return;
    default:
        return;
    }
    m_bUserScope = token.size() >= 3 && token[2] == 'u';
    m_strFileName = FileAfterScope(token);
}

bool CommandLineSwitches::ForcedView(Platform* platform) const {
    return m_bBatchMode && ParsePlatformText(m_strPlatform, platform);
}

bool ReadCopyPlace(char letter, bool* systemScope, Platform* view) {
    *systemScope = letter != 'u';
    *view = letter == '3' ? Platform::Bit32 : letter == '6' ? Platform::Bit64 : Platform::Shared;
    return letter == 'u' || letter == '3' || letter == '6';
}

const char* UsageText() {
    return "Usage: zentrel [-s<computer>[,...]|-s@<file>] [-p32|-p64] [-i<scope><file> [-n]]\r\n"
           "               [-e<scope><file>] [-l<scope>] [-d<scope><file>] [-c<from><to>[<name>]]\r\n"
           "  -i<scope><file>  import a DSI file into the scope\r\n"
           "  -n               with -i or -c: print what the import would do, change nothing\r\n"
           "  -e<scope><file>  export every data source of the scope to a DSI file\r\n"
           "  -l<scope>        list the scope's data sources: name, driver, scope and platform\r\n"
           "  -d<scope><file>  compare the scope's data sources with a DSI file, one line a difference\r\n"
           "  -c<from><to><name>  copy the data source (no name: every one of <from>) to <to>;\r\n"
           "                   u User DSNs, 3 or 6 System DSNs of the 32-bit or 64-bit view\r\n"
           "  -s<computer>     work on another computer's registry\r\n"
           "  -s<a>,<b>,...    work on each computer in turn; -s@<file>: the names in a file\r\n"
           "  -p32, -p64       System DSNs of the 32-bit or 64-bit view only (default: both)\r\n"
           "<scope> is u for User DSNs; any other character means System DSNs.\r\n"
           "Import runs first, then copying, export, listing, comparing last. Errors go to standard error.\r\n"
           "Exit code: 0 when everything completed, 1 when anything failed;\r\n"
           "with -d: 0 identical, 1 different, 2 when the comparison could not be made.\r\n";
}

}  // namespace zentrel
