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
// Where keys cannot be renamed (another computer's registry has no rename
// method), the way is by copy: once the new key is whole the journal says
// "copy", the source's key is deleted, the new key copied to its name, the
// driver entry written, the journal deleted, then the new key. A removal
// says "delete", then deletes the driver entry and the source's key. Both
// are finished, never undone, by whoever finds them: the backup holds the
// old definition.
//
// Changes are made only under the section's lock (registry/ScopeLock.h), so
// whatever journal a run holding the lock finds belongs to a run that ended.
// It puts right what it finds, journal by journal ("new" and "old" are the
// two temporary keys; names are compared as the registry compares them):
//   replace, new, no old       stopped before the swap: the source is as it
//                              was; the new key is deleted
//   replace, new, old, no src  stopped between the renames: the old key is
//                              renamed back, the new one deleted
//   replace, no new            swapped: the driver entry is written (again),
//                              the old key, if still there, deleted
//   remove, old, no src        set aside: the driver entry and the old key
//                              are deleted
//   remove, old, src           made anew since: only the old key is deleted
//   remove, no old             not begun, or done: nothing to do
//   copy, new                  the copy is made again from the new key
//   copy, no new               copied: the driver entry is written (again)
//   delete                     the driver entry and the source are deleted
//   anything else (new, old and a source of that name too: someone made it
//   meanwhile) is left as it is and reported.
// The journal is deleted once its change is whole. A temporary key that no
// journal names is deleted: the journal is written after the new key is
// created and deleted before anything else is undone, and the old key only
// ever exists while its journal does, so such a key is never the only copy.
// Keys of a journal this program cannot read are left alone and reported.
#pragma once
#include <windows.h>

#include <functional>
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
    // Renaming failed as the registry does not offer it: the copy way was
    // taken, and should be from the start for the section's next changes.
    bool renameUnsupported = false;
    bool Ok() const { return step == ChangeStep::None; }
};

// The source at the name, held open for writing by the caller: set aside
// through the handle, and deleted as one key when `leaf` (it had no keys
// below it when looked at).
struct HeldSource {
    HKEY key = NULL;
    bool leaf = false;
};

// Writes the new definition into the key given once more, as the temporary
// key received it; 0 or the platform's error code.
typedef std::function<LONG(HKEY key)> DefinitionWriter;

class SourceReplacement {
public:
    // `byCopy`: the rename-free way from the start.
    SourceReplacement(HKEY odbc, REGSAM view, const std::string& name, const std::string& driver, bool byCopy);
    // Undoes a replacement begun and not committed.
    ~SourceReplacement();
    SourceReplacement(const SourceReplacement&) = delete;
    SourceReplacement& operator=(const SourceReplacement&) = delete;

    // Creates the temporary key, which Key() then holds for the rows, and
    // the journal. On failure nothing is left.
    ChangeResult Begin();
    HKEY Key() const { return m_newKey; }
    // Swaps the new definition in, writes the driver entry and deletes the
    // old definition. On failure the source is as it was before Begin, or,
    // on the copy way once the copy has begun, left for the next run to
    // finish. `replaces`: a source was found at the name just before (none
    // is set aside otherwise, and one made meanwhile stops the change).
    // `entries`, when given, is the driver entries' key already opened (and
    // found no link) by a caller that writes many sources. A source found
    // at the name when none is to be replaced fails the step SwapIn with
    // ERROR_ALREADY_EXISTS, the name untouched. `again`, when given, writes
    // the definition at the name where the copy way would copy it from the
    // temporary key: no reading it back, over a network fewer round trips.
    ChangeResult Commit(bool replaces, HKEY entries = NULL, HeldSource held = HeldSource(),
                        const DefinitionWriter& again = nullptr);
    // Drops what Begin wrote; the source stays as it was.
    void Abandon();
    // Instead of Begin and Commit, for the source at the name that already
    // holds the new definition, or is brought to it in place by the caller:
    // only its driver entry is written, as a replacement would write it.
    ChangeResult Keep(HKEY entries = NULL);

private:
    // Puts back what Commit had moved; drops the journal once nothing is
    // out of place, else leaves it for the next run.
    void Undo(bool newAtName, bool oldAside);
    ChangeResult CommitByCopy(bool replaces, HKEY entries, const DefinitionWriter& again);

    HKEY m_odbc;
    REGSAM m_view;
    std::string m_name, m_driver, m_journal;
    RegKey m_newKey;
    bool m_begun = false;
    bool m_byCopy;
};

// Removes a source whole, or not at all: see above.
ChangeResult RemoveSource(HKEY odbc, REGSAM view, const std::string& name, bool byCopy = false);

// What the next run found of an interrupted change and did about it.
struct RecoveredChange {
    enum Outcome { Undone, Completed, Cleared, Failed };
    std::string source;  // empty for a temporary key no journal named
    std::string key;     // that key
    bool removal = false;
    Outcome outcome = Cleared;
    LONG code = ERROR_SUCCESS;
};

// Finishes or undoes every change left in the scope's section (`journals`),
// and deletes the temporary keys no journal names (`orphans`: these hide
// nothing, so only a run that writes need look for them among every key).
// Only for the holder of the section's lock.
std::vector<RecoveredChange> RecoverInterruptedChanges(HKEY odbc, REGSAM view, bool journals = true,
                                                       bool orphans = true);
// The changes the section's journals name, touching nothing.
std::vector<std::string> PendingChanges(HKEY odbc, REGSAM view);

// What the section's journals say of the source at the name: no change
// names it; one does that keeps it whole there throughout (renames: the
// old or the new definition, though its driver entry may lag); or one that
// builds or deletes it piece by piece (the copy way).
enum class ChangeAtName { None, Whole, Piecemeal };
ChangeAtName ChangeNaming(HKEY odbc, const std::string& name);
