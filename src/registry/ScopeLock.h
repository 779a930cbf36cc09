// One run at a time changes an ODBC section: a volatile key in the section,
// made only when absent, names the run that holds it. It vanishes with the
// computer's restart, and it is a lease: its holder renews it every few
// seconds (a counter value, rewritten by a thread of the lock's own). A
// lock whose run has ended on this computer is taken over at once; any
// other, whoever it names and even with no values at all, is taken over by
// a waiter that has seen it unrenewed for the lease time by its own clock,
// never by comparing two computers' clocks. A holder that finds its lock
// taken over (it was paused past its lease) changes nothing more.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "registry/RegKey.h"

struct LockHolder {
    std::string computer;
    DWORD process = 0;
    unsigned long long started = 0;  // the process's creation time (FILETIME)
};

// Told once when a Take begins to wait: whom for and for how long at most.
typedef std::function<void(const LockHolder& holder, DWORD waitMs)> LockWaitNotice;

class ScopeLock {
public:
    ScopeLock() {}
    ~ScopeLock() { Release(); }
    ScopeLock(const ScopeLock&) = delete;
    ScopeLock& operator=(const ScopeLock&) = delete;

    // Takes the section's lock, waiting up to `waitMs` while a live run
    // holds it. ERROR_SUCCESS; ERROR_LOCK_VIOLATION with *holder when the
    // wait ends first; else the platform's error.
    LONG Take(HKEY section, REGSAM view, DWORD waitMs, LockHolder* holder,
              const LockWaitNotice& notice = LockWaitNotice());
    // Releases the lock, unless another run has taken it over meanwhile.
    void Release();
    bool Held() const { return m_section.Valid(); }
    // Whether the lock is still this one's: its key is the one this run
    // made, not taken over since. Asked before each change.
    bool StillHeld() const;
    // Whether the Take that got it took it over from a run found ended or
    // unrenewed: what that run left is to be put right.
    bool TookOver() const { return m_tookOver; }
    // When the lock was taken, by the registry's own clock (FILETIME); 0
    // when unknown. Whatever is written under the lock is stamped later.
    unsigned long long TakenAt() const { return m_takenAt; }

private:
    LONG Claim(HKEY section, REGSAM view, HKEY created);
    void StopRenewing();
    static DWORD WINAPI Renew(void* lock);

    RegKey m_section;  // a handle of its own: the caller's may be closed first
    RegKey m_lock;     // the lock key: renewed by the renewing thread, asked by StillHeld
    REGSAM m_view = 0;
    unsigned long long m_takenAt = 0;
    unsigned long long m_token = 0;  // this holder's mark in the lock
    bool m_tookOver = false;
    FileHandle m_stop, m_renewer;
    std::atomic<bool> m_lost{false};
    std::atomic<ULONGLONG> m_renewedAt{0};  // the last renewal that reached the lock, by this clock
};

// How long a run waits for another run's lock; tests shorten it. By
// default the lease and one renewal: a lost run's lock is always taken over.
DWORD ScopeLockWait();
void SetScopeLockWait(DWORD waitMs);
// The lease: how long a lock may stay unrenewed before a waiter takes it
// over, and how often its holder renews it. A seam for tests too.
DWORD ScopeLockLease();
DWORD ScopeLockRenewal();
void SetScopeLockLease(DWORD leaseMs, DWORD renewMs);
// A seam for tests: renewals stop, as a paused (not ended) run's do.
void SetScopeLockRenewalPaused(bool paused);

// The lock key's name: transient, never a source's, never an orphan.
bool IsLockKeyName(const char* name);

// Whether a live run other than the caller's lock holds the section's lock;
// `named`, when given, whether it has named itself in it yet.
bool LockedByLiveRun(HKEY section, REGSAM view, LockHolder* holder, bool* named = nullptr);
