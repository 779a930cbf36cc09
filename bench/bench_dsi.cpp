// Driver for the DSI exchange benchmark (scripts/bench, sections dsi and
// memory): one process per step, so that timing it from outside includes the
// start of the process exactly as for the platform's reg tool.
//
// Usage: bench_dsi seed COUNT | clear | count | sources FILE COUNT |
//                  rows|blank|comments|sections|huge FILE MEGABYTES |
//                  import FILE | calls COUNT
// Every step works on the user scope of the prefix it runs in (use a private
// one); the timed export and import are the real program's batch mode. The
// import step runs the same import in this process and prints the peak
// working set the process's own counters recorded and the registry calls it
// made. The calls step counts, in this process, the registry calls of an
// import and an export per source, and what the crash-safe swap costs per
// source in calls and time against writing the same rows straight in.
#include <windows.h>

#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchPrompts.h"
#include "app/ManagerApp.h"
#include "core/DsiSource.h"
#include "core/ProfileFile.h"
#include "dsi/DsiFileIo.h"
#include "dsi/ImportWriter.h"
#include "registry/OdbcSection.h"
#include "registry/RegKey.h"
#include "registry/SafeReplace.h"
#include "registry/Views.h"
#include "registry/WriteFault.h"
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

// One source's section as export writes it, its values in the order the
// registry lists them; `changed`, its description and server changed.
std::string SourceSection(int i, bool changed = false) {
    std::vector<Attribute> rows = Attributes(i);
    if (changed) {
        rows[1].text += " (changed)";
        rows[2].text += ".changed";
    }
    std::sort(rows.begin(), rows.end(),
              [](const Attribute& a, const Attribute& b) { return _stricmp(a.name, b.name) < 0; });
    std::string section = "[DSN" + std::to_string(i) + "]\r\nDriver=Bench Driver\r\nDSN=" + SourceName(i) +
                          "\r\nItems=" + std::to_string(rows.size()) + "\r\n";
    for (size_t j = 0; j < rows.size(); ++j) {
        const std::string k = std::to_string(j);
        section += "Name" + k + "=" + rows[j].name + "\r\nValue" + k + "=" + rows[j].text + "\r\nFormat" + k +
                   "=" + std::to_string(rows[j].type) + "\r\n";
    }
    return section;
}

// A DSI file of about the size given, laid out as export writes it: sources
// of the 20 attributes, as many as fit.
bool WriteRows(const char* path, size_t bytes) {
    std::string sections;
    int count = 0;
    for (; sections.size() < bytes; ++count) sections += SourceSection(count);
    return SaveFile(path, "[General]\r\nItems=" + std::to_string(count) + "\r\n" + sections);
}

// Exactly COUNT sources.
bool WriteSources(const char* path, int count, bool changed = false) {
    std::string file = "[General]\r\nItems=" + std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i) file += SourceSection(i, changed);
    return SaveFile(path, file);
}

// One small source amid filler of the size given: blank and comment lines,
// or short sections no source names (a sequence number each, so that every
// name differs); or one source whose single value is that large.
bool WriteShape(const std::string& kind, const char* path, size_t bytes) {
    std::string file = "[General]\r\nItems=1\r\n";
    if (kind == "huge") {
        std::string value(bytes, '0');
        for (size_t k = 0; k < value.size(); ++k) value[k] = "0123456789ABCDEF"[(k * 7) & 15];
        value.resize(value.size() & ~size_t(1));
        file += "[DSN0]\r\nDriver=Bench Driver\r\nDSN=" + SourceName(0) + "\r\nItems=1\r\nName0=Huge\r\nValue0=" +
                value + "\r\nFormat0=3\r\n";
        return SaveFile(path, file);
    }
    std::string filler;
    filler.reserve(bytes + 64);
    for (unsigned long n = 0; filler.size() < bytes / 2; ++n) {
        if (kind == "sections") {
            filler += "[s" + std::to_string(n) + "]\r\n";
        } else {
            filler += n % 4 == 0 ? "; a comment line\r\n" : "\r\n";
        }
    }
    return SaveFile(path, file + filler + SourceSection(0) + filler);
}

// The batch import of the file into the user scope, in this process; prints
// the working sets before and at the peak, the messages and the time.
int MeasuredImport(const char* path) {
    TheApp().m_bBatchMode = TRUE;
    MainWindow window;
    window.facts.commandLine.m_bBatchMode = TRUE;
    BenchPrompts* prompts = new BenchPrompts("bench_dsi");
    window.SetPrompts(std::unique_ptr<Prompts>(prompts));
    window.ResetOutcome();
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    before.cb = after.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));
    const DWORD start = ::GetTickCount();
    ResetRegistryCallCount();
    window.ImportDsiFile(FALSE, path, FALSE);
    const unsigned long long calls = RegistryCallCount();
    const DWORD took = ::GetTickCount() - start;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
    printf("before=%llu peak=%llu messages=%d calls=%llu seconds=%.3f\n", (unsigned long long)before.WorkingSetSize,
           (unsigned long long)after.PeakWorkingSetSize, prompts->messages, calls, took / 1000.0);
    return 0;
}

double Now() {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / (double)frequency.QuadPart;
}

// Registry calls and seconds of one batch command of the window, in this process.
struct Cost {
    unsigned long long calls = 0;
    double seconds = 0;
};

template <typename Fn>
Cost Measure(Fn run) {
    ResetRegistryCallCount();
    const double start = Now();
    run();
    Cost cost;
    cost.seconds = Now() - start;
    cost.calls = RegistryCallCount();
    return cost;
}

enum class Way { Straight, Swap, Copy };

// The file's sources written into the emptied scope either straight (create
// the key, its rows, the driver entry: what reg does) or through the
// crash-safe swap, by rename or by the copy a remote registry needs, with
// the same rows, the same open keys and nothing else.
Cost WriteAll(const char* path, Way way) {
    Clear();
    zentrel::ProfileFile file;
    std::string text;
    zentrel::DsiEncoding encoding;
    zentrel::DsiTextProblem problem;
    if (zentrel::ReadDsiText(path, text, &encoding, &problem) != 0) return Cost();
    file.Parse(std::move(text));
    const int count = atoi(file.GetString("General", "Items", "0").c_str());
    std::vector<zentrel::DsiSourceRows> rows;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        const std::string section = "DSN" + std::to_string(i);
        rows.push_back(zentrel::ReadDsiSourceRows(file, section, 1 << 30));
        names.push_back(file.GetString(section, "DSN", ""));
    }
    const REGSAM view = ViewFlag(zentrel::Platform::Shared);
    RegKey odbc, entries;
    if (odbc.Open(HKEY_CURRENT_USER, kOdbcIniPath, view) != ERROR_SUCCESS ||
        entries.Create(odbc, kDriverEntriesKey, view) != ERROR_SUCCESS)
        return Cost();
    bool ok = true;
    const Cost cost = Measure([&]() {
        for (int i = 0; ok && i < count; ++i) {
            if (way != Way::Straight) {
                SourceReplacement replacement(odbc, view, names[i], "Bench Driver", way == Way::Copy);
                // As the import writes them: the copy way writes the rows again.
                const auto again = [&](HKEY key) { return WriteDsiRows(key, view, rows[i], names[i]).code; };
                ok = replacement.Begin().Ok() && WriteDsiRows(replacement.Key(), view, rows[i], names[i]).code == 0 &&
                     replacement.Commit(false, entries, HeldSource(), again).Ok();
            } else {
                RegKey key;
                ok = key.Create(odbc, names[i].c_str(), view) == ERROR_SUCCESS &&
                     WriteDsiRows(key, view, rows[i], names[i]).code == 0 &&
                     entries.SetText(names[i].c_str(), "Bench Driver") == ERROR_SUCCESS;
            }
        }
    });
    return ok ? cost : Cost();
}

// Per source, from runs over COUNT and twice COUNT sources, so that what a
// run costs once (start, connection, the file) drops out.
int CountCalls(int count) {
    TheApp().m_bBatchMode = TRUE;
    MainWindow window;
    window.facts.commandLine.m_bBatchMode = TRUE;
    window.SetPrompts(std::unique_ptr<Prompts>(new BenchPrompts("bench_dsi")));
    char directory[MAX_PATH];
    ::GetTempPathA(MAX_PATH, directory);
    Cost fresh[2], kept[2], replacing[2], remote[2], exported[2], straight[2], swapped[2], copied[2];
    for (int k = 0; k < 2; ++k) {
        const int n = count * (k + 1);
        const std::string file = std::string(directory) + "bench-calls-" + std::to_string(n) + ".dsi";
        const std::string changed = std::string(directory) + "bench-calls-changed.dsi";
        const std::string out = std::string(directory) + "bench-calls-out.dsi";
        if (!WriteSources(file.c_str(), n) || !WriteSources(changed.c_str(), n, true)) return 1;
        // The quickest of three runs each, taken in turn: the machine may be busy.
        for (int run = 0; run < 3; ++run) {
            const Cost s = WriteAll(file.c_str(), Way::Straight), w = WriteAll(file.c_str(), Way::Swap),
                       c = WriteAll(file.c_str(), Way::Copy);
            if (run == 0 || s.seconds < straight[k].seconds) straight[k] = s;
            if (run == 0 || w.seconds < swapped[k].seconds) swapped[k] = w;
            if (run == 0 || c.seconds < copied[k].seconds) copied[k] = c;
        }
        Clear();
        window.ResetOutcome();
        fresh[k] = Measure([&]() { window.ImportDsiFile(FALSE, file.c_str(), FALSE); });
        kept[k] = Measure([&]() { window.ImportDsiFile(FALSE, file.c_str(), FALSE); });
        replacing[k] = Measure([&]() { window.ImportDsiFile(FALSE, changed.c_str(), FALSE); });
        // Back again as on another computer, whose registry renames nothing.
        SetRenameUnavailable(true);
        remote[k] = Measure([&]() { window.ImportDsiFile(FALSE, file.c_str(), FALSE); });
        SetRenameUnavailable(false);
        exported[k] = Measure([&]() { window.ExportScopeToFile(out.c_str(), FALSE); });
        ::DeleteFileA(file.c_str());
        ::DeleteFileA(changed.c_str());
        ::DeleteFileA(out.c_str());
        if (!window.Succeeded() || straight[k].calls == 0 || swapped[k].calls == 0 || copied[k].calls == 0) {
            fprintf(stderr, "bench_dsi: calls: a run over %d sources failed\n", n);
            return 1;
        }
    }
    Clear();
    const auto per = [count](const Cost* c) { return (double)(c[1].calls - c[0].calls) / count; };
    // Time over the larger run alone: the difference of two short runs drowns in noise.
    const auto micro = [count](const Cost* c) { return c[1].seconds * 1e6 / (2 * count); };
    printf("import-new=%.2f import-kept=%.2f import-replacing=%.2f import-replacing-remote=%.2f export=%.2f "
           "straight=%.2f swapped=%.2f copied=%.2f straight-us=%.1f swapped-us=%.1f\n",
           per(fresh), per(kept), per(replacing), per(remote), per(exported), per(straight), per(swapped),
           per(copied), micro(straight), micro(swapped));
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
    if (step == "sources" && argc == 4) return WriteSources(argv[2], atoi(argv[3])) ? 0 : 1;
    if ((step == "comments" || step == "sections" || step == "huge") && argc == 4)
        return WriteShape(step, argv[2], (size_t)atoi(argv[3]) << 20) ? 0 : 1;
    if (step == "calls" && argc == 3) return CountCalls(atoi(argv[2]));
    if (step == "blank" && argc == 4) {
        std::string lines((size_t)atoi(argv[3]) << 20, '\n');
        for (size_t k = 0; k < lines.size(); k += 2) lines[k] = '\r';
        return SaveFile(argv[2], lines) ? 0 : 1;
    }
    if (step == "import" && argc == 3) return MeasuredImport(argv[2]);
    fprintf(stderr,
            "usage: bench_dsi seed COUNT | clear | count | sources FILE COUNT |\n"
            "                 rows|blank|comments|sections|huge FILE MB | import FILE | calls COUNT\n");
    return 2;
}
