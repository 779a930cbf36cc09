#include "registry/OdbcSection.h"

#include "registry/RegKey.h"

const char kOdbcIniPath[] = "Software\\ODBC\\ODBC.INI";

const char kDriverEntriesKey[] = "ODBC Data Sources";
const char* const kReservedDsnNames[3] = {kDriverEntriesKey, "ODBC File DSN", "ODBC"};

namespace {
bool SameAsciiName(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
        if (x == '\0') return true;
    }
}
}  // namespace

// "odbc data sources" is the driver entries' key all the same: compared
// exactly, it would be listed, exported and removed as a data source.
bool IsReservedDsnName(const char* name) {
    // ASCII names compare by ASCII folding, which is exactly the platform's
    // for them; any other byte takes the platform's own comparison.
    bool ascii = true;
    for (const char* p = name; *p != '\0' && ascii; ++p) ascii = (unsigned char)*p < 0x80;
    for (const char* reserved : kReservedDsnNames) {
        if (ascii ? SameAsciiName(name, reserved) : SameKeyName(name, reserved)) return true;
    }
    return false;
}
