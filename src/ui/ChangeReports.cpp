#include "ui/ChangeReports.h"

#include <cstdio>
#include <vector>

#include "app/ManagerApp.h"
#include "core/DsiSource.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {

std::vector<RegistryPlace> g_recovered;
// The places whose lock this run holds now.
std::vector<RegistryPlace> g_locked;

bool Contains(const std::vector<RegistryPlace>& places, const RegistryPlace& place) {
    for (const RegistryPlace& seen : places)
        if (seen == place) return true;
    return false;
}

// A run that only reads: a preview, or a comparison without an import.
bool ReadOnlyRun() {
    const ManagerApp& app = TheApp();
    return app.m_bBatchMode && (app.m_bPreview || (app.m_bCompare && !app.m_bImport));
}

std::string TimeText(unsigned long long value) {
    FILETIME utc = {(DWORD)value, (DWORD)(value >> 32)}, local;
    SYSTEMTIME time;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &time)) return "?";
    char text[32];
    snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute, time.wSecond);
    return text;
}

// Puts right what ended runs left in the place, once a run; the caller
// holds its lock.
void Recover(MainWindow& window, HKEY odbc, const RegistryPlace& place) {
    if (Contains(g_recovered, place)) return;
    g_recovered.push_back(place);
    const REGSAM view = ViewFlag(place.platform);
    for (const RecoveredChange& change : RecoverInterruptedChanges(odbc, view)) {
        const std::string source = zentrel::ShownName(change.source);
        switch (change.outcome) {
        case RecoveredChange::Undone:
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_UNDONE, source);
            break;
        case RecoveredChange::Completed:
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_COMPLETED, source);
            break;
        case RecoveredChange::Failed:
            if (change.source.empty()) {
                window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_TEMPORARY_LEFT_OVER, change.key,
                              MainWindow::SystemErrorText(change.code));
            } else {
                window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_RECOVERY_FAILED, source,
                              MainWindow::SystemErrorText(change.code));
            }
            break;
        default:
            // A key no journal named held nothing that was not also elsewhere.
            break;
        }
    }
}

}  // namespace

void ForgetRecoveredPlaces() { g_recovered.clear(); }

void RecoverPlaceOnce(MainWindow& window, HKEY odbc, const RegistryPlace& place) {
    if (Contains(g_locked, place)) {
        Recover(window, odbc, place);
        return;
    }
    if (Contains(g_recovered, place)) return;
    const REGSAM view = ViewFlag(place.platform);
    LockHolder holder;
    if (ReadOnlyRun()) {
        g_recovered.push_back(place);
        if (LockedByLiveRun(odbc, view, &holder)) return;
        for (const std::string& source : PendingChanges(odbc, view))
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_PENDING, zentrel::ShownName(source));
        return;
    }
    // Not waited for: a reader need not put anything right.
    ScopeLock lock;
    if (lock.Take(odbc, view, 0, &holder) == ERROR_SUCCESS) Recover(window, odbc, place);
}

ScopeChanges::~ScopeChanges() {
    for (const Held& held : m_held)
        for (size_t i = g_locked.size(); i-- > 0;)
            if (g_locked[i] == held.connected) g_locked.erase(g_locked.begin() + (long)i);
}

bool ScopeChanges::Take(const RegistryPlace& place) {
    for (const Held& held : m_held)
        if (held.place == place) return m_window.ConnectTo(place) != FALSE;
    if (!m_window.ConnectTo(place)) return false;
    Held held;
    held.place = place;
    held.connected = m_window.m_placeConnected;
    held.lock.reset(new ScopeLock);
    LockHolder holder;
    const LONG code =
        held.lock->Take(m_window.m_hOdbcIniKey, ViewFlag(place.platform), ScopeLockWait(), &holder);
    if (code == ERROR_LOCK_VIOLATION) {
        m_window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_SCOPE_BUSY, holder.computer,
                        std::to_string(holder.process), TimeText(holder.started));
        return false;
    }
    if (code != ERROR_SUCCESS) {
        m_window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_SCOPE_LOCK_ERROR,
                        MainWindow::SystemErrorText(code));
        return false;
    }
    // Another computer's registry has no rename method.
    held.byCopy = !held.connected.computer.empty();
    g_locked.push_back(held.connected);
    Recover(m_window, m_window.m_hOdbcIniKey, held.connected);
    m_held.push_back(std::move(held));
    return true;
}

bool ScopeChanges::ByCopy(const RegistryPlace& place) const {
    for (const Held& held : m_held)
        if (held.place == place) return held.byCopy;
    return false;
}

void ScopeChanges::RenameUnsupported(const RegistryPlace& place) {
    for (Held& held : m_held)
        if (held.place == place) held.byCopy = true;
}

bool ReportChange(MainWindow& window, const ChangeResult& result, const std::string& source) {
    const std::string text = MainWindow::SystemErrorText(result.code);
    switch (result.step) {
    case ChangeStep::None:
        if (result.leftover)
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_OLD_LEFT_OVER, zentrel::ShownName(source));
        return true;
    case ChangeStep::CreateKey:
    case ChangeStep::Journal:
        window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, zentrel::ShownName(source), text);
        break;
    case ChangeStep::SetAside:
    case ChangeStep::SwapIn:
        window.Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, text);
        break;
    case ChangeStep::DriverEntriesKey:
        window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kDriverEntriesKey, text);
        break;
    default:
        window.Report("RegSetValueEx2 Error", MB_OK | MB_ICONSTOP, text);
        break;
    }
    return false;
}
