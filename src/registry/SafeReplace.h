// Changes to a data source that no crash or failure leaves half done.
//
// A replacement writes the new definition under a temporary key beside the
// sources, then swaps it in by renaming: the old key aside, the new one to the
// source's name; only then is the driver entry written and the old key
// deleted. A removal renames the source aside, deletes its driver entry, then
// the renamed tree. While a change runs, a journal value in the ODBC section
// itself (a value, so never taken for a data source) names the source and its
// driver. Temporary keys and journal values share one prefix, with braces,
// which no data source name may hold.
//
// The next run that touches the scope puts right what it finds, journal by
// journal ("new" and "old" are the two temporary keys):
//   replace, new, no old       stopped before the swap: the source is as it
//                              was; the new key is deleted
//   replace, new, old, no src  stopped between the renames: the old key is
//                              renamed back, the new one deleted
//   replace, no new            swapped: the driver entry is written (again),
//                              the old key, if still there, deleted
//   remove, old                set aside: the driver entry and the old key
//                              are deleted
//   remove, no old             not begun, or done: nothing to do
//   anything else (new, old and a source of that name too: someone made it
//   meanwhile) is left as it is and reported.
// The journal is deleted once its change is whole. A temporary key that no
// journal names is deleted: the journal is written after the new key is
// created and deleted before anything else is undone, and the old key only
// ever exists while its journal does, so such a key is never the only copy.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "registry/RegKey.h"

// Whether a key or value name of the ODBC section belongs to a change in
// progress, not to a data source.
bool IsTransientKeyName(const char* name);

// The step of a change that failed, for the message that reports it.
enum class ChangeStep { None, CreateKey, Journal, SetAside, SwapIn, DriverEntriesKey, DriverEntry, DeleteOld };

struct ChangeResult {
    LONG code = ERROR_SUCCESS;
    ChangeStep step = ChangeStep::None;
    // The change is whole, but the old definition's key could not be
    // deleted: it stays hidden, and a later run tries again.
    bool leftover = false;
    bool Ok() const { return step == ChangeStep::None; }
};

class SourceReplacement {
public:
    SourceReplacement(HKEY odbc, REGSAM view, const std::string& name, const std::string& driver);
    // Undoes a replacement begun and not committed.
    ~SourceReplacement();
    SourceReplacement(const SourceReplacement&) = delete;
    SourceReplacement& operator=(const SourceReplacement&) = delete;

    // Creates the temporary key, which Key() then holds for the rows, and
    // the journal. On failure nothing is left.
    ChangeResult Begin();
    HKEY Key() const { return m_newKey; }
    // Swaps the new definition in, writes the driver entry and deletes the
    // old definition. On failure the source is as it was before Begin.
    // `entries`, when given, is the driver entries' key already opened (and
    // found no link) by a caller that writes many sources.
    ChangeResult Commit(HKEY entries = NULL);
    // Drops what Begin wrote; the source stays as it was.
    void Abandon();

private:
    // Puts back what Commit had moved; drops the journal once nothing is
    // out of place, else leaves it for the next run.
    void Undo(bool newAtName, bool oldAside);

    HKEY m_odbc;
    REGSAM m_view;
    std::string m_name, m_driver, m_journal;
    RegKey m_newKey;
    bool m_begun = false;
};

// Removes a source whole, or not at all: see above.
ChangeResult RemoveSource(HKEY odbc, REGSAM view, const std::string& name);

// What the next run found of an interrupted change and did about it.
struct RecoveredChange {
    enum Outcome { Undone, Completed, Cleared, Failed };
    std::string source;  // empty for a temporary key no journal named
    std::string key;     // that key
    bool removal = false;
    Outcome outcome = Cleared;
    LONG code = ERROR_SUCCESS;
};

// Finishes or undoes every change left in the scope's section.
std::vector<RecoveredChange> RecoverInterruptedChanges(HKEY odbc, REGSAM view);
