// What the user is told about changes with a way back: interrupted changes
// put right, and a change's step that failed.
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "registry/Place.h"
#include "registry/SafeReplace.h"
#include "registry/ScopeLock.h"

class RunContext;

// The first connection of a run to a place finishes or undoes the changes
// an ended run left there, and says so, unless a live run holds the place's
// lock: its changes are its own. A preview (-n) and a comparison (-d)
// change nothing: they say what waits to be put right.
void RecoverPlaceOnce(RunContext& run, HKEY odbc, const RegistryPlace& place);

// The places one operation changes: each place's lock is taken before its
// first change (what ended runs left there put right first) and held until
// the operation ends.
class ScopeChanges {
public:
    explicit ScopeChanges(RunContext& run) : m_run(run) {}
    ~ScopeChanges();
    ScopeChanges(const ScopeChanges&) = delete;
    ScopeChanges& operator=(const ScopeChanges&) = delete;

    // Connects to the place and holds its lock; false, reported, when
    // another run holds it beyond the wait, or it cannot be taken. Called
    // again before each change: false, reported once, when another run has
    // taken the lock over meanwhile (this one was paused past its lease).
    bool Take(const RegistryPlace& place);
    // Whether changes of a place taken go the rename-free way: another
    // computer's, or one whose registry refused a rename as unsupported.
    bool ByCopy(const RegistryPlace& place) const;
    void RenameUnsupported(const RegistryPlace& place);
    // When the place's lock was taken (ScopeLock::TakenAt); 0 when unknown.
    unsigned long long TakenAt(const RegistryPlace& place) const;

private:
    struct Held {
        RegistryPlace place, connected;
        std::unique_ptr<ScopeLock> lock;
        bool byCopy = false;
        bool lost = false;  // taken over by another run: told once, nothing more changed
    };
    bool StillHolds(Held& held);
    RunContext& m_run;
    std::vector<Held> m_held;
};
// As if a new run started (tests run many in one process).
void ForgetRecoveredPlaces();

// Reports a replacement or removal that did not happen, or happened with
// its old definition left hidden, in the boxes the program has always shown
// for those steps. Returns whether the source was changed.
bool ReportChange(RunContext& run, const ChangeResult& result, const std::string& source);

// After a change refused with `code`: when the account may not make it, which
// source (empty: the scope's sources), on which computer, and what would let
// it through.
void HintElevation(RunContext& run, LONG code, const std::string& source);
