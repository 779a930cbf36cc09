// Driver for the DSI exchange benchmark (scripts/bench, sections dsi and
// memory): one process per step, so that timing it from outside includes the
// start of the process exactly as for the platform's reg tool.
//
// Usage: bench_dsi seed COUNT | clear | count | rows FILE MEGABYTES |
//                  blank FILE MEGABYTES | import FILE
// Every step works on the user scope of the prefix it runs in (use a private
// one); the timed export and import are the real program's batch mode. The
// import step runs the same import in this process and prints the peak
// working set the process's own counters recorded.
#include <windows.h>

#include <psapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchPrompts.h"
#include "app/ManagerApp.h"
#include "ops/Import.h"
#include "ops/RunContext.h"
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

struct Attribute {
    const char* name;
    DWORD type;
    std::string text;  // REG_DWORD in decimal, REG_BINARY in hex, else the text
};

// The 20 attributes of source i, of the kinds a driver stores.
std::vector<Attribute> Attributes(int i) {
    const std::string n = std::to_string(i);
    std::string options;
    for (int b = 0; b < 16; ++b) {
        char hex[3];
        snprintf(hex, sizeof(hex), "%02X", (unsigned char)(i * 7 + b));
        options += hex;
    }
    return {{"Driver", REG_SZ, "C:\\Windows\\System32\\benchdrv.dll"},
            {"Description", REG_SZ, "Benchmark data source " + n},
            {"Server", REG_SZ, "server" + n + ".example"},
            {"Database", REG_SZ, "db" + n},
            {"UID", REG_SZ, "user" + n},
            {"Port", REG_DWORD, std::to_string(1433 + i)},
            {"Trusted", REG_DWORD, "1"},
            {"Timeout", REG_DWORD, "30"},
            {"Options", REG_BINARY, options},
            {"Language", REG_SZ, "us_english"},
            {"App", REG_SZ, "Zentrel bench"},
            {"WSID", REG_SZ, "WS" + n},
            {"QuotedId", REG_SZ, "Yes"},
            {"AnsiNPW", REG_SZ, "Yes"},
            {"Regional", REG_SZ, "No"},
            {"LogFile", REG_SZ, "C:\\logs\\query" + n + ".log"},
            {"Comment", REG_SZ, std::string(100, 'c')},
            {"TempDir", REG_EXPAND_SZ, "%TEMP%\\bench"},
            {"AutoTranslate", REG_SZ, "Yes"},
            {"Encrypt", REG_SZ, "No"}};
}

std::string SourceName(int i) {
    char name[64];
    snprintf(name, sizeof(name), "Bench source %05d", i);
    return name;
}

bool Put(HKEY key, const Attribute& a) {
    std::vector<unsigned char> data;
    if (a.type == REG_DWORD) {
        const DWORD value = (DWORD)strtoul(a.text.c_str(), nullptr, 10);
        data.assign((const unsigned char*)&value, (const unsigned char*)&value + sizeof(value));
    } else if (a.type == REG_BINARY) {
        for (size_t k = 0; k + 1 < a.text.size(); k += 2)
            data.push_back((unsigned char)strtoul(a.text.substr(k, 2).c_str(), nullptr, 16));
    } else {
        data.assign(a.text.begin(), a.text.end());
        data.push_back(0);
    }
    return ::RegSetValueExA(key, a.name, 0, a.type, data.data(), (DWORD)data.size()) == ERROR_SUCCESS;
}

// COUNT data sources of 20 attributes each.
bool Seed(int count) {
    if (!Clear()) return false;
    HKEY odbc = NULL, names = NULL;
    if (::RegOpenKeyA(HKEY_CURRENT_USER, kOdbcIniPath, &odbc) != ERROR_SUCCESS) return false;
    bool ok = ::RegCreateKeyA(odbc, "ODBC Data Sources", &names) == ERROR_SUCCESS;
    for (int i = 0; ok && i < count; ++i) {
        const std::string name = SourceName(i);
        HKEY dsn = NULL;
        ok = ::RegCreateKeyA(odbc, name.c_str(), &dsn) == ERROR_SUCCESS;
        if (!ok) break;
        for (const Attribute& a : Attributes(i)) ok = ok && Put(dsn, a);
        ::RegCloseKey(dsn);
        ok = ok && Put(names, Attribute{name.c_str(), REG_SZ, "Bench Driver"});
    }
    if (names) ::RegCloseKey(names);
    ::RegCloseKey(odbc);
    return ok;
}

bool SaveFile(const char* path, const std::string& bytes) {
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

// A DSI file of about the size given, laid out as export writes it: sources
// of the 20 attributes, as many as fit.
bool WriteRows(const char* path, size_t bytes) {
    std::string sections;
    int count = 0;
    for (; sections.size() < bytes; ++count) {
        const std::vector<Attribute> rows = Attributes(count);
        sections += "[DSN" + std::to_string(count) + "]\r\nDriver=Bench Driver\r\nDSN=" + SourceName(count) +
                    "\r\nItems=" + std::to_string(rows.size()) + "\r\n";
        for (size_t j = 0; j < rows.size(); ++j) {
            const std::string k = std::to_string(j);
            sections += "Name" + k + "=" + rows[j].name + "\r\nValue" + k + "=" + rows[j].text + "\r\nFormat" + k +
                        "=" + std::to_string(rows[j].type) + "\r\n";
        }
    }
    return SaveFile(path, "[General]\r\nItems=" + std::to_string(count) + "\r\n" + sections);
}

// The batch import of the file into the user scope, in this process; prints
// the working sets before and at the peak, the messages and the time.
int MeasuredImport(const char* path) {
    BenchPrompts* prompts = new BenchPrompts("bench_dsi");
    RunContext run{std::unique_ptr<Prompts>(prompts)};
    run.facts.commandLine.m_bBatchMode = TRUE;
    run.where = run.BatchPlace(FALSE);
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    before.cb = after.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));
    const DWORD start = ::GetTickCount();
    ImportNamedFile(run, path);
    const DWORD took = ::GetTickCount() - start;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
    printf("before=%llu peak=%llu messages=%d seconds=%.3f\n", (unsigned long long)before.WorkingSetSize,
           (unsigned long long)after.PeakWorkingSetSize, prompts->messages, took / 1000.0);
    return 0;
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
    if (step == "rows" && argc == 4) return WriteRows(argv[2], (size_t)atoi(argv[3]) << 20) ? 0 : 1;
    if (step == "blank" && argc == 4) {
        std::string lines((size_t)atoi(argv[3]) << 20, '\n');
        for (size_t k = 0; k < lines.size(); k += 2) lines[k] = '\r';
        return SaveFile(argv[2], lines) ? 0 : 1;
    }
    if (step == "import" && argc == 3) return MeasuredImport(argv[2]);
    fprintf(stderr, "usage: bench_dsi seed COUNT | clear | count | rows FILE MB | blank FILE MB | import FILE\n");
    return 2;
}
