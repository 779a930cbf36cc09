#include "registry/ScopeLock.h"

#include "core/ValueFormat.h"
#include "registry/RegKey.h"

namespace {

// Sorts before every temporary key and after every name of plain ASCII
// below '{', so that a rename between such a name and a temporary key
// always moves past it (see README, Wine's rename).
const char kLockKey[] = "{zentrel-!lock}";
DWORD g_wait = 10000;
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

// The holder as the lock names it; ERROR_FILE_NOT_FOUND when there is no
// lock. *complete is false while its maker has not yet named itself.
LONG ReadHolder(HKEY section, REGSAM view, LockHolder* holder, bool* complete) {
    RegKey lock;
    const LONG code = lock.OpenUnfollowed(section, kLockKey, KEY_QUERY_VALUE | view, nullptr);
    *complete = false;
    if (code != ERROR_SUCCESS) return code;
    DWORD size = sizeof(holder->process);
    *complete = lock.QueryText("Computer", holder->computer) == ERROR_SUCCESS &&
                lock.QueryValue("Process", &holder->process, &size) == ERROR_SUCCESS;
    size = sizeof(holder->started);
    *complete = *complete && lock.QueryValue("Started", &holder->started, &size) == ERROR_SUCCESS;
    return ERROR_SUCCESS;
}

bool SameHolder(const LockHolder& a, const LockHolder& b) {
    return a.computer == b.computer && a.process == b.process && a.started == b.started;
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

LONG WriteHolder(HKEY lock) {
    const std::string computer = LocalComputer();
    const DWORD process = ::GetCurrentProcessId();
    const unsigned long long started = StartOf(::GetCurrentProcess());
    LONG code = ::RegSetValueExA(lock, "Computer", 0, REG_SZ, (const BYTE*)computer.c_str(),
                                 (DWORD)computer.size() + 1);
    if (code == ERROR_SUCCESS)
        code = ::RegSetValueExA(lock, "Process", 0, REG_DWORD, (const BYTE*)&process, sizeof(process));
    if (code == ERROR_SUCCESS)
        code = ::RegSetValueExA(lock, "Started", 0, REG_QWORD, (const BYTE*)&started, sizeof(started));
    return code;
}

}  // namespace

DWORD ScopeLockWait() { return g_wait; }

void SetScopeLockWait(DWORD waitMs) { g_wait = waitMs; }

bool IsLockKeyName(const char* name) { return name != nullptr && zentrel::SameAsciiIgnoringCase(name, kLockKey); }

// The lock's writes do not pass the write seam: they guard the writes that
// are counted, and a lock left behind by a counted failure would outlive
// the "run" the seam ended.
LONG ScopeLock::Take(HKEY section, REGSAM view, DWORD waitMs, LockHolder* holder) {
    Release();
    const ULONGLONG deadline = ::GetTickCount64() + waitMs;
    for (;;) {
        HKEY created = NULL;
        DWORD disposition = 0;
        LONG code = ::RegCreateKeyExA(section, kLockKey, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS | view, NULL,
                                      &created, &disposition);
        if (code != ERROR_SUCCESS) return code;
        RegKey lock(created);
        if (disposition == REG_CREATED_NEW_KEY) {
            code = WriteHolder(lock);
            FILETIME written = {0, 0};
            m_takenAt = code == ERROR_SUCCESS && ::RegQueryInfoKeyA(lock, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                                                                    NULL, NULL, &written) == ERROR_SUCCESS
                            ? ((unsigned long long)written.dwHighDateTime << 32) | written.dwLowDateTime
                            : 0;
            lock.Close();
            if (code != ERROR_SUCCESS) {
                ::RegDeleteKeyExA(section, kLockKey, view, 0);
                return code;
            }
            HKEY own = NULL;
            code = ::RegOpenKeyExA(section, "", 0, KEY_READ | KEY_WRITE | DELETE, &own);
            if (code != ERROR_SUCCESS) {
                ::RegDeleteKeyExA(section, kLockKey, view, 0);
                return code;
            }
            m_section.Attach(own);
            m_view = view;
            return ERROR_SUCCESS;
        }
        lock.Close();
        LockHolder seen;
        bool complete = false;
        code = ReadHolder(section, view, &seen, &complete);
        if (code == ERROR_FILE_NOT_FOUND) continue;  // released meanwhile
        if (code != ERROR_SUCCESS) return code;
        if (complete && HolderGone(seen)) {
            // Deleted only while it still names the run found gone: another
            // run may have taken it over already.
            LockHolder again;
            if (ReadHolder(section, view, &again, &complete) == ERROR_SUCCESS && complete && SameHolder(seen, again))
                ::RegDeleteKeyExA(section, kLockKey, view, 0);
            continue;
        }
        *holder = seen;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return ERROR_LOCK_VIOLATION;
        ::Sleep((DWORD)(deadline - now < kPollMs ? deadline - now : kPollMs));
    }
}

void ScopeLock::Release() {
    m_takenAt = 0;
    if (!m_section.Valid()) return;
    ::RegDeleteKeyExA(m_section, kLockKey, m_view, 0);
    m_section.Close();
}

bool LockedByLiveRun(HKEY section, REGSAM view, LockHolder* holder) {
    bool complete = false;
    if (ReadHolder(section, view, holder, &complete) != ERROR_SUCCESS) return false;
    return !complete || !HolderGone(*holder);
}
