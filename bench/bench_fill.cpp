// Filling the data-source list with many sources, against the bare registry
// enumeration of the same keys in the same process.
//
// Usage: bench_fill [SOURCES [ROUNDS]]   (defaults 5000 and 11)
// Creates SOURCES System data sources in each registry view (in the prefix it
// runs in: use a private one), then times ROUNDS bare enumerations of both
// views and ROUNDS calls of FillDsnList on the System tab of a real, modeless
// main window (both views, driver check included), and prints the medians
// and their ratio.
#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchPrompts.h"
#include "BenchClock.h"
#include "app/ManagerApp.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
ManagerApp* g_app = nullptr;

// COUNT System sources in each registry view, with their driver entries;
// one driver of each view is installed, the other missing.
bool Seed(int count) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY software = NULL;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | view, &software) != ERROR_SUCCESS)
            return false;
        ::SHDeleteKeyA(software, "ODBC\\ODBC.INI");
        HKEY drivers = NULL, odbc = NULL, names = NULL;
        bool ok = ::RegCreateKeyExA(software, "ODBC\\ODBCINST.INI\\ODBC Drivers", 0, NULL, 0, KEY_ALL_ACCESS | view,
                                    NULL, &drivers, NULL) == ERROR_SUCCESS &&
                  ::RegCreateKeyExA(software, "ODBC\\ODBC.INI", 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &odbc,
                                    NULL) == ERROR_SUCCESS &&
                  ::RegCreateKeyExA(odbc, "ODBC Data Sources", 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &names,
                                    NULL) == ERROR_SUCCESS;
        const char installed[] = "Installed";
        if (ok) ::RegSetValueExA(drivers, "SQL Server", 0, REG_SZ, (const BYTE*)installed, sizeof(installed));
        for (int i = 0; ok && i < count; ++i) {
            char name[64];
            snprintf(name, sizeof(name), "Benchmark source %05d", i);
            const char* driver = i % 2 ? "SQL Server" : "Missing Driver";
            HKEY dsn = NULL;
            ok = ::RegCreateKeyExA(odbc, name, 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &dsn, NULL) == ERROR_SUCCESS;
            if (!ok) break;
            ::RegSetValueExA(dsn, "Driver", 0, REG_SZ, (const BYTE*)driver, (DWORD)strlen(driver) + 1);
            ::RegCloseKey(dsn);
            ::RegSetValueExA(names, name, 0, REG_SZ, (const BYTE*)driver, (DWORD)strlen(driver) + 1);
        }
        for (HKEY key : {names, odbc, drivers, software})
            if (key) ::RegCloseKey(key);
        if (!ok) return false;
    }
    return true;
}

// The platform's enumeration of every direct subkey of both views, nothing else.
int BareEnumeration() {
    int count = 0;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY odbc = NULL;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOdbcIniPath, 0, KEY_READ | view, &odbc) != ERROR_SUCCESS) return -1;
        char name[256];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof(name);
            if (::RegEnumKeyExA(odbc, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
            ++count;
        }
        ::RegCloseKey(odbc);
    }
    return count;
}
}  // namespace

ManagerApp& TheApp() {
    if (g_app == nullptr) g_app = new ManagerApp;
    return *g_app;
}

int main(int argc, char** argv) {
    const int sources = argc > 1 ? atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? atoi(argv[2]) : 11;
    if (sources <= 0 || rounds <= 0) {
        fprintf(stderr, "usage: bench_fill [SOURCES [ROUNDS]]\n");
        return 2;
    }
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);

    const double seedStart = Seconds();
    if (!Seed(sources)) {
        fprintf(stderr, "bench_fill: could not create the data sources\n");
        return 1;
    }
    printf("fill: %d data sources created in %.2f s\n", sources, Seconds() - seedStart);

    TheApp();
    MainWindow window;
    BenchPrompts* prompts = new BenchPrompts("bench_fill");
    window.SetPrompts(std::unique_ptr<Prompts>(prompts));
    if (!window.Create(nullptr)) {
        fprintf(stderr, "bench_fill: the main window was not created (error %lu)\n", ::GetLastError());
        return 1;
    }
    // The System tab: both views, each row with its driver check.
    TabCtrl_SetCurSel(::GetDlgItem(window.m_hWnd, IDC_SCOPE_TABS), 0);

    std::vector<double> bare, fill;
    int enumerated = 0, listed = 0;
    for (int round = 0; round < rounds; ++round) {
        double start = Seconds();
        enumerated = BareEnumeration();
        bare.push_back(Seconds() - start);

        start = Seconds();
        window.FillDsnList();
        fill.push_back(Seconds() - start);
        listed = window.m_lstDataSources.GetItemCount();
    }
    // The seeded sources and the reserved "ODBC Data Sources" key, per view.
    const bool complete = enumerated == 2 * (sources + 1) && listed == 2 * sources && prompts->messages == 0;
    const double bareMedian = Median(bare), fillMedian = Median(fill);
    printf("fill: bare RegEnumKeyExA of %d keys: median %.1f ms (min %.1f) over %d rounds\n", enumerated,
           bareMedian * 1000, *std::min_element(bare.begin(), bare.end()) * 1000, rounds);
    printf("fill: FillDsnList listing %d rows:     median %.1f ms (min %.1f) over %d rounds\n", listed,
           fillMedian * 1000, *std::min_element(fill.begin(), fill.end()) * 1000, rounds);
    // Minima are steadier than medians on a shared machine; both are shown.
    printf("fill: ratio fill / bare enumeration: %.2f of medians, %.2f of minima (goal: at most 3)\n",
           fillMedian / bareMedian,
           *std::min_element(fill.begin(), fill.end()) / *std::min_element(bare.begin(), bare.end()));
    window.DestroyWindow();
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kOdbcIniPath);
    if (!complete) {
        fprintf(stderr, "bench_fill: incomplete run (enumerated %d, listed %d, %d messages)\n", enumerated, listed,
                prompts->messages);
        return 1;
    }
    return 0;
}
