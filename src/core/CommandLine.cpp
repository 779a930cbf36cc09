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

// Text with every double quote at its two ends dropped.
std::string Unquoted(std::string text) {
    const size_t first = text.find_first_not_of('"');
    if (first == std::string::npos) return std::string();
    text.erase(0, first);
    text.erase(text.find_last_not_of('"') + 1);
    return text;
}

// The file name after a switch's scope letter, the quotes around it dropped.
std::string FileAfterScope(const std::string& token, size_t from = 3) {
    return Unquoted(token.size() > from ? token.substr(from) : std::string());
}

// -r<scope><name>, -r<scope>"<name>" or -r<scope>@<file>: a name that
// begins with '@' is given in quotes, so that no name is taken for a file.
RemovalSwitch ReadRemoval(const std::string& token) {
    RemovalSwitch removal;
    removal.userScope = token.size() >= 3 && token[2] == 'u';
    const std::string rest = token.size() > 3 ? token.substr(3) : std::string();
    removal.fromFile = !rest.empty() && rest[0] == '@';
    removal.text = Unquoted(removal.fromFile ? rest.substr(1) : rest);
    return removal;
}

}  // namespace

// Removal, copying, accounts and the fleet's width and wait: switches that
// take their whole value from the token.
void CommandLineSwitches::ParseRunSwitch(const std::string& token) {
    switch (token[1]) {
    case 'u':
        m_strAccount = FileAfterScope(token, 2);
        return;
    case 'w':
        if (token.size() != 2) return;
        m_bBatchMode = 1;
        m_bListAccounts = 1;
        return;
    case 'r':
        m_bBatchMode = 1;
        m_removals.push_back(ReadRemoval(token));
        return;
    case 'j':
    case 't': {
        const int most = token[1] == 'j' ? kMostAtOnce : 24 * 60 * 60;
        const int value = SwitchNumber(token.substr(2), most);
        if (value == 0) {
            m_strBadSwitch = token;
        } else {
            (token[1] == 'j' ? m_nAtOnce : m_nWaitSeconds) = value;
        }
        return;
    }
    case 'c':
        // Two place letters, then the source's name, quoted or not.
        m_bBatchMode = 1;
        m_bCopy = 1;
        m_strCopyPlaces = token.substr(2, 2);
        m_strCopyName = FileAfterScope(token, 4);
        return;
    default:
        return;
    }
}

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
    case 'x':
        m_bWithholdSecrets = token.size() == 2;
        return;
    case 'd':
        // A scope and a file of its own, so that -e and -i keep theirs.
        m_bBatchMode = 1;
        m_bCompare = 1;
        m_bCompareUserScope = token.size() >= 3 && token[2] == 'u';
        m_strCompareFile = FileAfterScope(token);
        return;
    case 'l':
        // The scope selector as for -e and -i; there is no file name.
        m_bBatchMode = 1;
        m_bList = 1;
        m_bListUserScope = token.size() >= 3 && token[2] == 'u';
        return;
    default:
        ParseRunSwitch(token);
        return;
    }
    m_bUserScope = token.size() >= 3 && token[2] == 'u';
    m_strFileName = FileAfterScope(token);
}

int SwitchNumber(const std::string& digits, int most) {
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int value = std::stoi(digits);
    return value <= most ? value : 0;
}

std::vector<std::string> NameLines(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string name = text.substr(start, end - start);
        start = end + 1;
        if (!name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty()) names.push_back(name);
    }
    return names;
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
    return "Usage: zentrel [-s<computer>[,...]|-s@<file>] [-j<n>] [-t<seconds>] [-p32|-p64]\r\n"
           "               [-r<scope><name>]... [-i<scope><file>] [-n] [-c<from><to>[<name>]]\r\n"
           "               [-e<scope><file> [-x]] [-l<scope>] [-d<scope><file>] [-u<account>] [-w]\r\n"
           "  -r<scope><name>  remove the data source from the scope, backed up first; one name a switch,\r\n"
           "                   repeated for more; -r<scope>\"<name>\" for a name with blanks or a leading @;\r\n"
           "                   -r<scope>@<file>: each line of the file names one\r\n"
           "  -i<scope><file>  import a DSI file into the scope\r\n"
           "  -n               with -i, -r or -c: print what the import, removal or copy would do, change nothing\r\n"
           "  -e<scope><file>  export every data source of the scope to a DSI file\r\n"
           "  -x               with -e: leave secret values (passwords, keys, tokens) out of the file\r\n"
           "  -l<scope>        list the scope's data sources: name, driver, scope and platform\r\n"
           "  -d<scope><file>  compare the scope's data sources with a DSI file, one line a difference\r\n"
           "  -c<from><to><name>  copy the data source (no name: every one of <from>) to <to>;\r\n"
           "                   u User DSNs, 3 or 6 System DSNs of the 32-bit or 64-bit view\r\n"
           "  -s<computer>     work on another computer's registry\r\n"
           "  -s<a>,<b>,...    work on each computer; -s@<file>: the names in a file\r\n"
           "  -j<n>            with many computers: how many are worked on at once (1 to 64, default 8;\r\n"
           "                   -j1: one after another)\r\n"
           "  -t<seconds>      with many computers: how long a computer may take to answer (default 60);\r\n"
           "                   one that does not is not reached, and nothing is written to it\r\n"
           "  -p32, -p64       System DSNs of the 32-bit or 64-bit view only (default: both)\r\n"
           "  -u<account>      another computer's User DSNs of this account (name or SID);\r\n"
           "                   default: the running account's, loaded there while it is logged on\r\n"
           "  -w               list the accounts whose User DSNs are loaded there: SID and name\r\n"
           "<scope> is u for User DSNs; any other character means System DSNs.\r\n"
           "Removal runs first, then import, copying, export, listing, comparing last. Errors go to standard\r\n"
           "error. Exit code: 0 when everything completed, 1 when anything failed (a removal refused or a\r\n"
           "computer not reached too); with -d: 0 identical, 1 different, 2 when the comparison could not be made.\r\n";
}

}  // namespace zentrel
