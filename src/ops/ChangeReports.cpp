#include "ops/ChangeReports.h"

#include <cstdio>
#include <vector>

#include "core/DsiSource.h"
#include "registry/Views.h"
#include "ops/RunContext.h"
#include "registry/OdbcSection.h"
#include "res/resource.h"

namespace {

std::vector<RegistryPlace> g_recovered;
// The places whose temporary keys no journal names were looked for.
std::vector<RegistryPlace> g_swept;
// The places whose lock this run holds now.
std::vector<RegistryPlace> g_locked;

// Computers worked on at once share these lists.
SRWLOCK g_placesLock = SRWLOCK_INIT;

class PlacesHeld {
public:
    PlacesHeld() { ::AcquireSRWLockExclusive(&g_placesLock); }
    ~PlacesHeld() { ::ReleaseSRWLockExclusive(&g_placesLock); }
    PlacesHeld(const PlacesHeld&) = delete;
    PlacesHeld& operator=(const PlacesHeld&) = delete;
};

void ForgetPlace(const RegistryPlace& place) {
    PlacesHeld held;
    for (std::vector<RegistryPlace>* places : {&g_recovered, &g_swept})
        for (size_t i = places->size(); i-- > 0;)
            if ((*places)[i] == place) places->erase(places->begin() + (long)i);
}

bool Contains(const std::vector<RegistryPlace>& places, const RegistryPlace& place) {
    PlacesHeld held;
    for (const RegistryPlace& seen : places)
        if (seen == place) return true;
    return false;
}

// Whether the place was added, not there before.
bool AddOnce(std::vector<RegistryPlace>& places, const RegistryPlace& place) {
    PlacesHeld held;
    for (const RegistryPlace& seen : places)
        if (seen == place) return false;
    places.push_back(place);
    return true;
}

// A run that only reads: a preview, or a comparison without an import.
bool ReadOnlyRun(const RunContext& run) {
    const zentrel::CommandLineSwitches& line = run.facts.commandLine;
    return run.facts.Batch() && (line.m_bPreview || (line.m_bCompare && !line.m_bImport));
}

// Milliseconds as seconds, a tenth shown only where there is one.
std::string SecondsText(DWORD ms) {
    const DWORD tenths = (ms + 99) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : std::string());
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
// holds its lock. Leftover keys no journal names are swept when `orphans`.
void Recover(RunContext& run, HKEY odbc, const RegistryPlace& place, bool orphans) {
    const bool journals = AddOnce(g_recovered, place);
    orphans = orphans && AddOnce(g_swept, place);
    if (!journals && !orphans) return;
    const REGSAM view = ViewFlag(place.platform);
    for (const RecoveredChange& change : RecoverInterruptedChanges(odbc, view, journals, orphans)) {
        const std::string source = zentrel::ShownName(change.source);
        switch (change.outcome) {
        case RecoveredChange::Undone:
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_UNDONE, source);
            break;
        case RecoveredChange::Completed:
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_COMPLETED, source);
            break;
        case RecoveredChange::Failed:
            if (change.source.empty()) {
                run.Fail("Warning", IDS_TEMPORARY_LEFT_OVER, change.key,
                              RunContext::SystemErrorText(change.code));
            } else {
                run.Fail("Warning", IDS_RECOVERY_FAILED, source,
                              RunContext::SystemErrorText(change.code));
            }
            break;
        default:
            // A key no journal named held nothing that was not also elsewhere.
            break;
        }
    }
}

}  // namespace

void ForgetRecoveredPlaces() {
    PlacesHeld held;
    g_recovered.clear();
    g_swept.clear();
}

void RecoverPlaceOnce(RunContext& run, HKEY odbc, const RegistryPlace& place) {
    if (Contains(g_locked, place)) {
        Recover(run, odbc, place, false);
        return;
    }
    if (Contains(g_recovered, place)) return;
    const REGSAM view = ViewFlag(place.platform);
    LockHolder holder;
    if (ReadOnlyRun(run)) {
        AddOnce(g_recovered, place);
        if (LockedByLiveRun(odbc, view, &holder)) return;
        for (const std::string& source : PendingChanges(odbc, view))
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_PENDING, zentrel::ShownName(source));
        return;
    }
    // Not waited for: a reader need not put anything right. Held, no live
    // run can own a temporary key, so none of an ended run's is left.
    ScopeLock lock;
    if (lock.Take(odbc, view, 0, &holder) == ERROR_SUCCESS) Recover(run, odbc, place, true);
}

ScopeChanges::~ScopeChanges() {
    PlacesHeld places;
    for (const Held& held : m_held)
        for (size_t i = g_locked.size(); i-- > 0;)
            if (g_locked[i] == held.connected) g_locked.erase(g_locked.begin() + (long)i);
}

bool ScopeChanges::StillHolds(Held& held) {
    if (held.lost) return false;
    if (held.lock->StillHeld()) return true;
    held.lost = true;
    m_run.Fail("Warning", IDS_LOCK_LOST, SecondsText(ScopeLockLease()));
    return false;
}

bool ScopeChanges::Take(const RegistryPlace& place) {
    for (Held& held : m_held)
        if (held.place == place) return StillHolds(held) && m_run.ConnectTo(place) != FALSE;
    if (!m_run.ConnectTo(place)) return false;
    Held held;
    held.place = place;
    held.connected = m_run.m_placeConnected;
    held.lock.reset(new ScopeLock);
    LockHolder holder;
    RunContext& run = m_run;
    const LONG code = held.lock->Take(
        m_run.m_hOdbcIniKey, ViewFlag(place.platform), ScopeLockWait(), &holder,
        [&run](const LockHolder& waited, DWORD waitMs) {
            run.ShowWaiting(zentrel::FormatText(RunContext::LoadText(IDS_LOCK_WAITING), waited.computer,
                                                std::to_string(waited.process), SecondsText(waitMs)));
        });
    if (code == ERROR_LOCK_VIOLATION) {
        m_run.Fail("Warning", IDS_SCOPE_BUSY, holder.computer,
                        std::to_string(holder.process), TimeText(holder.started));
        return false;
    }
    if (code != ERROR_SUCCESS) {
        m_run.Fail("RegCreateKey Error", IDS_SCOPE_LOCK_ERROR,
                        RunContext::SystemErrorText(code));
        HintElevation(m_run, code, std::string());
        return false;
    }
    // Another computer's registry has no rename method.
    held.byCopy = !held.connected.computer.empty();
    {
        PlacesHeld places;
        g_locked.push_back(held.connected);
    }
    // What a run taken over from left is put right, even where this run
    // had looked already.
    if (held.lock->TookOver()) ForgetPlace(held.connected);
    Recover(m_run, m_run.m_hOdbcIniKey, held.connected, true);
    m_held.push_back(std::move(held));
    return true;
}

bool ScopeChanges::ByCopy(const RegistryPlace& place) const {
    for (const Held& held : m_held)
        if (held.place == place) return held.byCopy;
    return false;
}

unsigned long long ScopeChanges::TakenAt(const RegistryPlace& place) const {
    for (const Held& held : m_held)
        if (held.place == place) return held.lock->TakenAt();
    return 0;
}

void ScopeChanges::RenameUnsupported(const RegistryPlace& place) {
    for (Held& held : m_held)
        if (held.place == place) held.byCopy = true;
}

bool ReportChange(RunContext& run, const ChangeResult& result, const std::string& source) {
    const std::string text = RunContext::SystemErrorText(result.code);
    switch (result.step) {
    case ChangeStep::None:
        if (result.leftover)
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_OLD_LEFT_OVER, zentrel::ShownName(source));
        return true;
    case ChangeStep::CreateKey:
    case ChangeStep::Journal:
        run.Fail("RegCreateKey Error", IDS_KEY_ERROR, zentrel::ShownName(source), text);
        break;
    case ChangeStep::SetAside:
    case ChangeStep::SwapIn:
        run.Fail("SHDeleteKey Error", text);
        break;
    case ChangeStep::DriverEntriesKey:
        run.Fail("RegCreateKey Error", IDS_KEY_ERROR, kDriverEntriesKey, text);
        break;
    default:
        run.Fail("RegSetValueEx2 Error", text);
        break;
    }
    return false;
}

void HintElevation(RunContext& run, LONG code, const std::string& source) {
    if (code != ERROR_ACCESS_DENIED) return;
    std::string computer = run.m_placeConnected.computer;
    if (computer.empty()) {
        char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
        DWORD size = sizeof(own);
        if (::GetComputerNameA(own, &size)) computer.assign(own, size);
    }
    if (source.empty()) {
        run.Fail("Access denied", IDS_ACCESS_DENIED_SCOPE, computer);
    } else {
        run.Fail("Access denied", IDS_ACCESS_DENIED_SOURCE, zentrel::ShownName(source), computer);
    }
}
