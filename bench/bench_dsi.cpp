// Driver for the DSI exchange benchmark (scripts/bench, section dsi): one
// process per step, so that timing it from outside includes the start of the
// process exactly as for the platform's reg tool.
//
// Usage: bench_dsi seed COUNT | clear | count
// Every step works on the user scope of the prefix it runs in (use a private
// one); the export and import themselves are the real program's batch mode.
#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/ManagerApp.h"
#include "ui/MainWindow.h"

namespace {
ManagerApp* g_app = nullptr;


bool Clear() {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kOdbcIniPath);
    HKEY key = NULL;
    if (::RegCreateKeyA(HKEY_CURRENT_USER, kOdbcIniPath, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

bool SetText(HKEY key, const char* name, const std::string& text, DWORD type = REG_SZ) {
    return ::RegSetValueExA(key, name, 0, type, (const BYTE*)text.c_str(), (DWORD)text.size() + 1) == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char* name, DWORD value) {
    return ::RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof(value)) == ERROR_SUCCESS;
}

// COUNT data sources of 20 attributes each, of the kinds a driver stores.
bool Seed(int count) {
    if (!Clear()) return false;
    HKEY odbc = NULL, names = NULL;
    if (::RegOpenKeyA(HKEY_CURRENT_USER, kOdbcIniPath, &odbc) != ERROR_SUCCESS) return false;
    bool ok = ::RegCreateKeyA(odbc, "ODBC Data Sources", &names) == ERROR_SUCCESS;
    for (int i = 0; ok && i < count; ++i) {
        char name[64];
        snprintf(name, sizeof(name), "Bench source %05d", i);
        const std::string n = std::to_string(i);
        HKEY dsn = NULL;
        ok = ::RegCreateKeyA(odbc, name, &dsn) == ERROR_SUCCESS;
        if (!ok) break;
        unsigned char options[16];
        for (int b = 0; b < 16; ++b) options[b] = (unsigned char)(i * 7 + b);
        ok = SetText(dsn, "Driver", "C:\\Windows\\System32\\benchdrv.dll") &&
             SetText(dsn, "Description", "Benchmark data source " + n) &&
             SetText(dsn, "Server", "server" + n + ".example") && SetText(dsn, "Database", "db" + n) &&
             SetText(dsn, "UID", "user" + n) && SetDword(dsn, "Port", 1433 + i) && SetDword(dsn, "Trusted", 1) &&
             SetDword(dsn, "Timeout", 30) &&
             ::RegSetValueExA(dsn, "Options", 0, REG_BINARY, options, sizeof(options)) == ERROR_SUCCESS &&
             SetText(dsn, "Language", "us_english") && SetText(dsn, "App", "Zentrel bench") &&
             SetText(dsn, "WSID", "WS" + n) && SetText(dsn, "QuotedId", "Yes") && SetText(dsn, "AnsiNPW", "Yes") &&
             SetText(dsn, "Regional", "No") && SetText(dsn, "LogFile", "C:\\logs\\query" + n + ".log") &&
             SetText(dsn, "Comment", std::string(100, 'c')) &&
             SetText(dsn, "TempDir", "%TEMP%\\bench", REG_EXPAND_SZ) && SetText(dsn, "AutoTranslate", "Yes") &&
             SetText(dsn, "Encrypt", "No") && SetText(names, name, "Bench Driver");
        ::RegCloseKey(dsn);
    }
    if (names) ::RegCloseKey(names);
    ::RegCloseKey(odbc);
    return ok;
}

// Data sources and values below the user scope's ODBC section.
void CountInto(HKEY key, long long& keys, long long& values) {
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof(name);
        if (::RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        ++keys;
        HKEY sub = NULL;
        if (::RegOpenKeyA(key, name, &sub) == ERROR_SUCCESS) {
            CountInto(sub, keys, values);
            ::RegCloseKey(sub);
        }
    }
    DWORD count = 0;
    if (::RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL) == ERROR_SUCCESS)
        values += count;
}
}  // namespace

ManagerApp& TheApp() {
    if (g_app == nullptr) g_app = new ManagerApp;
    return *g_app;
}

int main(int argc, char** argv) {
    const std::string step = argc > 1 ? argv[1] : "";
    if (step == "seed" && argc == 3) return Seed(atoi(argv[2])) ? 0 : 1;
    if (step == "clear" && argc == 2) return Clear() ? 0 : 1;
    if (step == "count" && argc == 2) {
        HKEY odbc = NULL;
        if (::RegOpenKeyA(HKEY_CURRENT_USER, kOdbcIniPath, &odbc) != ERROR_SUCCESS) return 1;
        long long keys = 0, values = 0;
        CountInto(odbc, keys, values);
        ::RegCloseKey(odbc);
        printf("%lld keys, %lld values\n", keys, values);
        return 0;
    }
    fprintf(stderr, "usage: bench_dsi seed COUNT | clear | count\n");
    return 2;
}
