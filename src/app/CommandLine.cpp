#include "app/CommandLine.h"

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
    default:
        return;
    }
    m_bUserScope = token.size() >= 3 && token[2] == 'u';
    m_strFileName = token.size() > 3 ? token.substr(3) : std::string();
    const size_t first = m_strFileName.find_first_not_of('"');
    if (first == std::string::npos) {
        m_strFileName.clear();
        return;
    }
    m_strFileName.erase(0, first);
    m_strFileName.erase(m_strFileName.find_last_not_of('"') + 1);
}

}  // namespace zentrel
