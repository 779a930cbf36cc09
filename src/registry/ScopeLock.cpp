#include "registry/ScopeLock.h"

#include <atomic>

#include "core/ValueFormat.h"
#include "registry/RegKey.h"

namespace {

// Sorts before every temporary key and after every name of plain ASCII
// below '{', so that a rename between such a name and a temporary key
// always moves past it (see README, Wine's rename).
const char kLockKey[] = "{zentrel-!lock}";
const DWORD kDefaultLease = 30000, kDefaultRenewal = 5000;
std::atomic<DWORD> g_lease(kDefaultLease), g_renewal(kDefaultRenewal);
std::atomic<DWORD> g_wait(kDefaultLease + kDefaultRenewal);
std::atomic<bool> g_renewalPaused(false);
std::atomic<unsigned long long> g_tokens(0);
// Between looks at a lock held by another run.
const DWORD kPollMs = 100;

unsigned long long Value(const FILETIME& time) {
    return ((unsigned long long)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

std::string LocalComputer() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof(name);
    return ::GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

unsigned long long StartOf(HANDLE process) {
    FILETIME created, exited, kernel, user;
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user) ? Value(created) : 0;
}

// What a waiter sees of a lock: a change of any of it is a sign of life.
struct LockState {
    LockHolder holder;
    bool complete = false;
    DWORD renewals = 0;
    unsigned long long token = 0;
    bool operator==(const LockState& other) const {
        return complete == other.complete && renewals == other.renewals && token == other.token &&
               holder.computer == other.holder.computer && holder.process == other.holder.process &&
               holder.started == other.holder.started;
    }
};

// The holder as the lock names it; ERROR_FILE_NOT_FOUND when there is no
// lock. *complete is false while its maker has not yet named itself.
LONG ReadHolder(HKEY section, REGSAM view, LockHolder* holder, bool* complete, LockState* state = nullptr) {
    RegKey lock;
    const LONG code = lock.OpenUnfollowed(section, kLockKey, KEY_QUERY_VALUE | view, nullptr);
    *complete = false;
    if (code != ERROR_SUCCESS) return code;
    if (state != nullptr) {
        DWORD size = sizeof(state->renewals);
        if (lock.QueryValue("Renewals", &state->renewals, &size) != ERROR_SUCCESS) state->renewals = 0;
        size = sizeof(state->token);
        if (lock.QueryValue("Token", &state->token, &size) != ERROR_SUCCESS) state->token = 0;
    }
    DWORD size = sizeof(holder->process);
    *complete = lock.QueryText("Computer", holder->computer) == ERROR_SUCCESS &&
                lock.QueryValue("Process", &holder->process, &size) == ERROR_SUCCESS;
    size = sizeof(holder->started);
    *complete = *complete && lock.QueryValue("Started", &holder->started, &size) == ERROR_SUCCESS;
    if (state != nullptr) {
        state->holder = *holder;
        state->complete = *complete;
    }
    return ERROR_SUCCESS;
}

// Deletes the lock only while it is as `seen`: another run may have taken
// it over already.
void DeleteIfStill(HKEY section, REGSAM view, const LockState& seen) {
    LockState again;
    bool complete = false;
    if (ReadHolder(section, view, &again.holder, &complete, &again) == ERROR_SUCCESS && again == seen)
        RegKey::Unguarded::DeleteLeaf(section, kLockKey, view);
}

// A mark no other holder's lock carries: this process's, and its count.
unsigned long long NewToken() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return ((unsigned long long)::GetCurrentProcessId() << 40) ^ (unsigned long long)now.QuadPart ^
           (++g_tokens << 20);
}

// Whether the holder's process has ended: only a process of this computer
// can be seen to end; an identifier used again is told by its start time.
bool HolderGone(const LockHolder& holder) {
    if (!zentrel::SameAsciiIgnoringCase(holder.computer, LocalComputer())) return false;
    FileHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, holder.process));
    if (process.Get() == NULL) {
        process.Detach();
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    DWORD exitCode = 0;
    const bool running = ::GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    return !running || StartOf(process) != holder.started;
}

LONG WriteHolder(HKEY lock, unsigned long long token) {
    const std::string computer = LocalComputer();
    const DWORD process = ::GetCurrentProcessId();
    const unsigned long long started = StartOf(::GetCurrentProcess());
    typedef RegKey::Unguarded Lock;
    LONG code = Lock::SetValue(lock, "Computer", REG_SZ, computer.c_str(), (DWORD)computer.size() + 1);
    if (code == ERROR_SUCCESS) code = Lock::SetValue(lock, "Process", REG_DWORD, &process, sizeof(process));
    if (code == ERROR_SUCCESS) code = Lock::SetValue(lock, "Started", REG_QWORD, &started, sizeof(started));
    if (code == ERROR_SUCCESS) code = Lock::SetValue(lock, "Token", REG_QWORD, &token, sizeof(token));
    return code;
}

}  // namespace

DWORD ScopeLockWait() { return g_wait; }

void SetScopeLockWait(DWORD waitMs) { g_wait = waitMs; }

DWORD ScopeLockLease() { return g_lease; }

DWORD ScopeLockRenewal() { return g_renewal; }

void SetScopeLockLease(DWORD leaseMs, DWORD renewMs) {
    g_lease = leaseMs;
    g_renewal = renewMs;
}

void SetScopeLockRenewalPaused(bool paused) { g_renewalPaused = paused; }

bool IsLockKeyName(const char* name) { return name != nullptr && zentrel::SameAsciiIgnoringCase(name, kLockKey); }

// The lock's calls are RegKey's unguarded ones: outside the write seam.
LONG ScopeLock::Take(HKEY section, REGSAM view, DWORD waitMs, LockHolder* holder, const LockWaitNotice& notice) {
    Release();
    m_tookOver = false;
    const ULONGLONG deadline = ::GetTickCount64() + waitMs;
    LockState seen;
    ULONGLONG seenSince = 0;
    bool looked = false, told = false;
    for (;;) {
        RegKey lock;
        bool created = false;
        LONG code = RegKey::Unguarded::CreateVolatile(section, kLockKey, view, &lock, &created);
        if (code != ERROR_SUCCESS) return code;
        if (created) return Claim(section, view, lock.Detach());
        lock.Close();
        LockState state;
        bool complete = false;
        code = ReadHolder(section, view, &state.holder, &complete, &state);
        if (code == ERROR_FILE_NOT_FOUND) continue;  // released meanwhile
        if (code != ERROR_SUCCESS) return code;
        const ULONGLONG now = ::GetTickCount64();
        if (!looked || !(state == seen)) {
            seen = state;
            seenSince = now;
            looked = true;
        }
        // Ended here, or unrenewed for the lease: recovered as an ended run.
        if ((complete && HolderGone(state.holder)) || now - seenSince >= g_lease) {
            DeleteIfStill(section, view, state);
            m_tookOver = true;
            looked = false;
            continue;
        }
        *holder = state.holder;
        if (now >= deadline) return ERROR_LOCK_VIOLATION;
        if (!told && notice) notice(state.holder, (DWORD)(deadline - now));
        told = true;
        ::Sleep((DWORD)(deadline - now < kPollMs ? deadline - now : kPollMs));
    }
}

// Names this run in the lock it made, and starts renewing it.
LONG ScopeLock::Claim(HKEY section, REGSAM view, HKEY created) {
    RegKey lock(created);
    m_token = NewToken();
    LONG code = WriteHolder(lock, m_token);
    m_takenAt = 0;
    if (code == ERROR_SUCCESS) RegKey::Unguarded::WrittenAt(lock, &m_takenAt);
    if (code == ERROR_SUCCESS) code = RegKey::Unguarded::Reopen(section, KEY_READ | KEY_WRITE | DELETE, &m_section);
    if (code != ERROR_SUCCESS) {
        lock.Close();
        RegKey::Unguarded::DeleteLeaf(section, kLockKey, view);
        return code;
    }
    m_lock.Attach(lock.Detach());
    m_view = view;
    m_lost = false;
    const HANDLE stop = ::CreateEventA(NULL, TRUE, FALSE, NULL);
    if (stop != NULL) m_stop.Attach(stop);
    m_renewedAt = ::GetTickCount64();
    // It needs little stack, and a run may hold a lock per view.
    const HANDLE renewer = stop != NULL ? ::CreateThread(NULL, 64 * 1024, &ScopeLock::Renew, this,
                                                         STACK_SIZE_PARAM_IS_A_RESERVATION, NULL)
                                        : NULL;
    if (renewer != NULL) m_renewer.Attach(renewer);
    return ERROR_SUCCESS;
}

// The renewing thread: the counter rewritten through the lock's own key, so
// that a lock taken over (its key deleted, another made) is never renewed.
DWORD WINAPI ScopeLock::Renew(void* param) {
    ScopeLock& lock = *static_cast<ScopeLock*>(param);
    DWORD renewals = 0;
    while (::WaitForSingleObject(lock.m_stop, g_renewal) == WAIT_TIMEOUT) {
        if (g_renewalPaused) continue;
        ++renewals;
        // Only a deleted key says it is lost; a failed write over a network
        // is tried again at the next renewal.
        const LONG code =
            RegKey::Unguarded::SetValue(lock.m_lock, "Renewals", REG_DWORD, &renewals, sizeof(renewals));
        if (code == ERROR_SUCCESS) lock.m_renewedAt = ::GetTickCount64();
        if (code == ERROR_KEY_DELETED) {
            lock.m_lost = true;
            return 0;
        }
    }
    return 0;
}

void ScopeLock::StopRenewing() {
    if (m_renewer.Valid()) {
        ::SetEvent(m_stop);
        ::WaitForSingleObject(m_renewer, INFINITE);
    }
    m_renewer.Close();
    m_stop.Close();
    m_lock.Close();
}

// Renewed within half the lease, no waiter can have seen it unrenewed for
// a whole one. Else asked through the lock's own key: one a waiter took
// over was deleted, and a handle to a deleted key answers so, whatever has
// been made at its name.
bool ScopeLock::StillHeld() const {
    if (!Held() || m_lost || !m_lock.Valid()) return false;
    if (::GetTickCount64() - m_renewedAt < g_lease / 2) return true;
    unsigned long long token = 0;
    DWORD size = sizeof(token);
    return m_lock.QueryValue("Token", &token, &size) == ERROR_SUCCESS && token == m_token;
}

void ScopeLock::Release() {
    m_takenAt = 0;
    const bool own = StillHeld();
    StopRenewing();
    if (!m_section.Valid()) return;
    if (own) RegKey::Unguarded::DeleteLeaf(m_section, kLockKey, m_view);
    m_section.Close();
}

bool LockedByLiveRun(HKEY section, REGSAM view, LockHolder* holder, bool* named) {
    bool complete = false;
    const LONG code = ReadHolder(section, view, holder, &complete);
    if (named != nullptr) *named = complete;
    if (code != ERROR_SUCCESS) return false;
    return !complete || !HolderGone(*holder);
}
