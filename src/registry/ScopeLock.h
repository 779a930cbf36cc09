// One run at a time changes an ODBC section: a volatile key in the section,
// made only when absent, names the run that holds it. It vanishes with the
// computer's restart, and a lock whose run has ended on this computer is
// taken over; a run on another computer cannot be seen to end, so its lock
// is only ever waited for.
#pragma once
#include <windows.h>

#include <string>

#include "registry/RegKey.h"

struct LockHolder {
    std::string computer;
    DWORD process = 0;
    unsigned long long started = 0;  // the process's creation time (FILETIME)
};

class ScopeLock {
public:
    ScopeLock() {}
    ~ScopeLock() { Release(); }
    ScopeLock(const ScopeLock&) = delete;
    ScopeLock& operator=(const ScopeLock&) = delete;

    // Takes the section's lock, waiting up to `waitMs` while a live run
    // holds it. ERROR_SUCCESS; ERROR_LOCK_VIOLATION with *holder when the
    // wait ends first; else the platform's error.
    LONG Take(HKEY section, REGSAM view, DWORD waitMs, LockHolder* holder);
    void Release();
    bool Held() const { return m_section.Valid(); }
    // When the lock was taken, by the registry's own clock (FILETIME); 0
    // when unknown. Whatever is written under the lock is stamped later.
    unsigned long long TakenAt() const { return m_takenAt; }

private:
    RegKey m_section;  // a handle of its own: the caller's may be closed first
    REGSAM m_view = 0;
    unsigned long long m_takenAt = 0;
};

// How long a run waits for another run's lock; tests shorten it.
DWORD ScopeLockWait();
void SetScopeLockWait(DWORD waitMs);

// The lock key's name: transient, never a source's, never an orphan.
bool IsLockKeyName(const char* name);

// Whether a live run other than the caller's lock holds the section's lock.
bool LockedByLiveRun(HKEY section, REGSAM view, LockHolder* holder);
