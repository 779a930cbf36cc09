#include "registry/SafeReplace.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "registry/OdbcSection.h"
#include "registry/ScopeLock.h"
#include "core/RegistryLimits.h"
#include "core/ValueFormat.h"

namespace {

const char kPrefix[] = "{zentrel-";
const char kNewSuffix[] = ".new";
const char kOldSuffix[] = ".old";
// The journal's data: a tag, the kind of change, the source and its driver,
// each followed by a zero byte. Binary, so no code page touches the names.
const char kJournalTag[] = "zentrel-change-1";
const char kReplace[] = "replace";
const char kRemove[] = "remove";
const char kCopy[] = "copy";
const char kDelete[] = "delete";

struct Journal {
    std::string kind, source, driver;
};

std::string NewKeyOf(const std::string& journal) { return journal + kNewSuffix; }
std::string OldKeyOf(const std::string& journal) { return journal + kOldSuffix; }

// A name no other change of this or another process uses at the same time.
std::string FreshJournalName() {
    // Changes run on several threads at once.
    static volatile LONG counter = 0;
    char name[64];
    snprintf(name, sizeof(name), "%s%lx-%lx}", kPrefix, (unsigned long)::GetCurrentProcessId(),
             static_cast<unsigned long>(::InterlockedIncrement(&counter)));
    return name;
}

LONG WriteJournal(HKEY odbc, const std::string& name, const char* kind, const std::string& source,
                  const std::string& driver) {
    std::string data;
    for (const std::string& field : {std::string(kJournalTag), std::string(kind), source, driver}) {
        data += field;
        data += '\0';
    }
    return RegKey::SetValue(odbc, name.c_str(), REG_BINARY, data.data(), (DWORD)data.size());
}

bool ParseJournal(DWORD type, const std::vector<unsigned char>& data, Journal& journal) {
    if (type != REG_BINARY) return false;
    std::vector<std::string> fields;
    std::string field;
    for (unsigned char c : data) {
        if (c == 0) {
            fields.push_back(field);
            field.clear();
        } else {
            field += (char)c;
        }
    }
    if (!field.empty() || fields.size() != 4 || fields[0] != kJournalTag) return false;
    if (fields[1] != kReplace && fields[1] != kRemove && fields[1] != kCopy && fields[1] != kDelete) return false;
    journal.kind = fields[1];
    journal.source = fields[2];
    journal.driver = fields[3];
    return !journal.source.empty();
}

LONG DeleteJournal(HKEY odbc, const std::string& name) {
    const LONG code = RegKey::DeleteValue(odbc, name.c_str());
    return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
}

bool Exists(HKEY odbc, const std::string& name, REGSAM view) {
    RegKey key;
    return key.OpenUnfollowed(odbc, name.c_str(), KEY_QUERY_VALUE | view, nullptr) == ERROR_SUCCESS;
}

// A key enumerated here and owned by the caller.
struct BorrowedKey : RegKey {
    explicit BorrowedKey(HKEY key) : RegKey(key) {}
    ~BorrowedKey() { Detach(); }
};

// Renames a held key in place.
LONG RenameKey(HKEY key, const std::string& to) {
    if (RenameUnavailable()) return ERROR_CALL_NOT_IMPLEMENTED;
    // The limit counts characters as the registry does, not bytes.
    const std::wstring wide = WideText(to);
    if (wide.empty() || wide.size() > zentrel::kMaxKeyNameLength) return ERROR_INVALID_NAME;
    return RegKey::Rename(key, wide);
}

// Renames a child key in place, a registry link as the link itself.
LONG RenameChild(HKEY parent, const std::string& from, const std::string& to, REGSAM view) {
    if (RenameUnavailable()) return ERROR_CALL_NOT_IMPLEMENTED;
    RegKey key;
    const LONG code = key.OpenUnfollowed(parent, from.c_str(), KEY_WRITE | view, nullptr);
    if (code != ERROR_SUCCESS) return code;
    return RenameKey(key, to);
}

// Wine 8's registry server, renaming a key whose place in the sorted
// subkeys stays the same, overwrites the next sibling with it (the sibling
// is lost, and the server later crashes). The lock key lies between plain
// names and temporary keys, so renames between those always move; a name
// that sorts after the temporary keys goes the copy way there.
bool OnWine() {
    static const bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
    return wine;
}

bool RenameAvoided(const std::string& name) {
    return OnWine() && !name.empty() && (unsigned char)name[0] >= (unsigned char)kPrefix[0];
}

// How a registry without a rename method answers.
bool Unsupported(LONG code) {
    return code == ERROR_CALL_NOT_IMPLEMENTED || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION;
}

// Copies the key's values and nested keys into `to`, which exists.
LONG CopyTree(HKEY from, HKEY to, REGSAM view, int depthLeft) {
    const BorrowedKey source(from);
    std::vector<wchar_t> nameBuffer;
    std::string name;
    std::vector<unsigned char> data;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        bool stored = false;
        LONG code = source.EnumValue(index, nameBuffer, name, type, data, &stored);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code != ERROR_SUCCESS) return code;
        static const unsigned char kNothing = 0;
        code = stored ? RegKey::SetStoredValue(to, name, type, data)
                      : RegKey::SetValue(to, name.c_str(), type, data.empty() ? &kNothing : data.data(),
                                         (DWORD)data.size());
        if (code != ERROR_SUCCESS) return code;
    }
    for (DWORD index = 0;; ++index) {
        LONG code = source.EnumSubkey(index, nameBuffer, name);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code != ERROR_SUCCESS) return code;
        if (depthLeft <= 0) return ERROR_KEY_HAS_CHILDREN;
        RegKey child, copy;
        code = child.OpenUnfollowed(from, name.c_str(), KEY_READ | view, nullptr);
        if (code == ERROR_SUCCESS) code = copy.Create(to, name.c_str(), view);
        if (code == ERROR_SUCCESS) code = CopyTree(child, copy, view, depthLeft - 1);
        if (code != ERROR_SUCCESS) return code;
    }
    return ERROR_SUCCESS;
}

// ERROR_SUCCESS when no key of the tree is a link or holds a link's target
// value, which no definition this program writes holds; ERROR_INVALID_DATA
// when one does.
LONG HoldsNoLink(HKEY key, REGSAM view, int depthLeft) {
    const BorrowedKey tree(key);
    std::vector<wchar_t> nameBuffer;
    std::string name;
    std::vector<unsigned char> data;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        LONG code = tree.EnumValue(index, nameBuffer, name, type, data);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code != ERROR_SUCCESS) return code;
        if (zentrel::IsLinkTargetValue(name, type)) return ERROR_INVALID_DATA;
    }
    for (DWORD index = 0;; ++index) {
        LONG code = tree.EnumSubkey(index, nameBuffer, name);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code != ERROR_SUCCESS) return code;
        if (depthLeft <= 0) return ERROR_KEY_HAS_CHILDREN;
        RegKey child;
        bool isLink = false;
        code = child.OpenUnfollowed(key, name.c_str(), KEY_READ | view, &isLink);
        if (code == ERROR_SUCCESS && isLink) code = ERROR_INVALID_DATA;
        if (code == ERROR_SUCCESS) code = HoldsNoLink(child, view, depthLeft - 1);
        if (code != ERROR_SUCCESS) return code;
    }
    return ERROR_SUCCESS;
}

LONG DeleteTree(HKEY odbc, const std::string& name, REGSAM view) {
    const LONG code = DeleteKeyTree(odbc, name, (int)zentrel::kMaxDsnDepth, view);
    return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
}

ChangeResult Failure(ChangeStep step, LONG code) {
    ChangeResult result;
    result.step = step;
    result.code = code;
    return result;
}

// Writes the source's driver entry; the step that failed, or None.
ChangeResult WriteDriverEntry(HKEY odbc, REGSAM view, const std::string& source, const std::string& driver,
                              HKEY opened = NULL) {
    if (opened != NULL) {
        const LONG code = BorrowedKey(opened).SetText(source.c_str(), driver);
        return code == ERROR_SUCCESS ? ChangeResult() : Failure(ChangeStep::DriverEntry, code);
    }
    RegKey entries;
    bool isLink = false;
    LONG code = OpenDriverEntries(odbc, KEY_READ | KEY_WRITE | view, entries, &isLink);
    if (code == ERROR_FILE_NOT_FOUND) code = entries.Create(odbc, kDriverEntriesKey, view);
    // Written through a link, the entry would land wherever it points.
    if (code == ERROR_SUCCESS && isLink) code = ERROR_ACCESS_DENIED;
    if (code != ERROR_SUCCESS) return Failure(ChangeStep::DriverEntriesKey, code);
    code = entries.SetText(source.c_str(), driver);
    return code == ERROR_SUCCESS ? ChangeResult() : Failure(ChangeStep::DriverEntry, code);
}

LONG DeleteDriverEntry(HKEY odbc, REGSAM view, const std::string& source) {
    RegKey entries;
    bool isLink = false;
    // No entries key, or no entry: nothing to delete; a link is left alone.
    if (OpenDriverEntries(odbc, KEY_SET_VALUE | view, entries, &isLink) != ERROR_SUCCESS || isLink)
        return ERROR_SUCCESS;
    const LONG code = entries.DeleteValue(source.c_str());
    return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
}

// Finishes a change the journal says is a copy: whatever is at the name
// goes (when `clearName`), the new key is copied there whole, the driver
// entry written; the journal goes before the new key, so that a copy is
// never made again from a key half deleted. `again`: see Commit.
ChangeResult FinishCopy(HKEY odbc, REGSAM view, const std::string& journal, const std::string& name,
                        const std::string& driver, HKEY entries, bool clearName,
                        const DefinitionWriter& again = nullptr) {
    RegKey from, to;
    LONG code = ERROR_SUCCESS;
    if (!again) {
        // Looked at whole before the source goes: only what a copy of this
        // program made is copied.
        code = from.OpenUnfollowed(odbc, NewKeyOf(journal).c_str(), KEY_READ | view, nullptr);
        if (code == ERROR_SUCCESS) code = HoldsNoLink(from, view, (int)zentrel::kMaxDsnDepth);
    }
    if (code == ERROR_SUCCESS && clearName) code = DeleteTree(odbc, name, view);
    if (code == ERROR_SUCCESS) code = to.Create(odbc, name.c_str(), view);
    if (code == ERROR_SUCCESS) code = again ? again(to) : CopyTree(from, to, view, (int)zentrel::kMaxDsnDepth);
    if (code != ERROR_SUCCESS) return Failure(ChangeStep::SwapIn, code);
    from.Close();
    to.Close();
    PauseAt("copied");
    ChangeResult result = WriteDriverEntry(odbc, view, name, driver, entries);
    if (!result.Ok()) return result;
    if (DeleteJournal(odbc, journal) == ERROR_SUCCESS) DeleteTree(odbc, NewKeyOf(journal), view);
    return result;
}

// Finishes a removal the journal says deletes in place.
ChangeResult FinishDelete(HKEY odbc, REGSAM view, const std::string& journal, const std::string& name) {
    LONG code = DeleteDriverEntry(odbc, view, name);
    if (code != ERROR_SUCCESS) return Failure(ChangeStep::DriverEntry, code);
    code = DeleteTree(odbc, name, view);
    if (code != ERROR_SUCCESS) return Failure(ChangeStep::SetAside, code);
    DeleteJournal(odbc, journal);
    return ChangeResult();
}

struct FoundJournal {
    std::string name;
    Journal journal;
    bool readable = false;
};

// The section's journals and, when `keys` is given, its temporary keys
// (the lock's aside).
void FindTransients(HKEY odbc, std::vector<FoundJournal>& journals, std::vector<std::string>* keys) {
    const BorrowedKey section(odbc);
    std::vector<wchar_t> nameBuffer;
    std::string name;
    std::vector<unsigned char> data;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        const LONG code = section.EnumValue(index, nameBuffer, name, type, data);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code != ERROR_SUCCESS || !IsTransientKeyName(name.c_str())) continue;
        FoundJournal found;
        found.name = name;
        found.readable = ParseJournal(type, data, found.journal);
        journals.push_back(found);
    }
    for (DWORD index = 0; keys != nullptr; ++index) {
        const LONG code = section.EnumSubkey(index, nameBuffer, name);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code == ERROR_SUCCESS && IsTransientKeyName(name.c_str()) && !IsLockKeyName(name.c_str()))
            keys->push_back(name);
    }
}

}  // namespace

bool IsTransientKeyName(const char* name) {
    const size_t length = sizeof(kPrefix) - 1;
    return name != nullptr && strlen(name) >= length &&
           zentrel::SameAsciiIgnoringCase(std::string(name, length), kPrefix);
}

SourceReplacement::SourceReplacement(HKEY odbc, REGSAM view, const std::string& name, const std::string& driver,
                                     bool byCopy)
    : m_odbc(odbc),
      m_view(view),
      m_name(name),
      m_driver(driver),
      m_journal(FreshJournalName()),
      m_byCopy(byCopy || RenameAvoided(name)) {}

SourceReplacement::~SourceReplacement() {
    if (m_begun) Abandon();
}

ChangeResult SourceReplacement::Begin() {
    // The key first: until the journal exists, a key left here is an orphan
    // the next run deletes.
    LONG code = m_newKey.Create(m_odbc, NewKeyOf(m_journal).c_str(), m_view);
    if (code != ERROR_SUCCESS) return Failure(ChangeStep::CreateKey, code);
    code = WriteJournal(m_odbc, m_journal, kReplace, m_name, m_driver);
    if (code != ERROR_SUCCESS) {
        m_newKey.Close();
        DeleteTree(m_odbc, NewKeyOf(m_journal), m_view);
        return Failure(ChangeStep::Journal, code);
    }
    m_begun = true;
    PauseAt("begun");
    return ChangeResult();
}

void SourceReplacement::Undo(bool newAtName, bool oldAside) {
    m_begun = false;
    m_newKey.Close();
    if (newAtName && RenameChild(m_odbc, m_name, NewKeyOf(m_journal), m_view) != ERROR_SUCCESS) return;
    if (oldAside && RenameChild(m_odbc, OldKeyOf(m_journal), m_name, m_view) != ERROR_SUCCESS) return;
    // The journal goes first: should the deletion stop half way, what is
    // left of the new key is an orphan, never mistaken for a swapped source.
    if (DeleteJournal(m_odbc, m_journal) != ERROR_SUCCESS) return;
    DeleteTree(m_odbc, NewKeyOf(m_journal), m_view);
}

void SourceReplacement::Abandon() {
    if (m_begun) Undo(false, false);
}

ChangeResult SourceReplacement::CommitByCopy(bool replaces, HKEY entries, const DefinitionWriter& again) {
    m_newKey.Close();
    LONG code = WriteJournal(m_odbc, m_journal, kCopy, m_name, m_driver);
    if (code != ERROR_SUCCESS) {
        Undo(false, false);
        return Failure(ChangeStep::Journal, code);
    }
    m_begun = false;
    if (!replaces) {
        // A source made meanwhile is not ours to delete: the journal goes,
        // and with it any claim on the name.
        RegKey made;
        bool created = false;
        code = made.Create(m_odbc, m_name.c_str(), m_view, &created);
        if (code == ERROR_SUCCESS && !created) code = ERROR_ALREADY_EXISTS;
        if (code != ERROR_SUCCESS) {
            if (DeleteJournal(m_odbc, m_journal) == ERROR_SUCCESS) DeleteTree(m_odbc, NewKeyOf(m_journal), m_view);
            return Failure(ChangeStep::SwapIn, code);
        }
    }
    PauseAt("copy");
    ChangeResult result = FinishCopy(m_odbc, m_view, m_journal, m_name, m_driver, entries, replaces, again);
    // The journal holds whatever a failure left: one more try now spares
    // the source a wait for the next run.
    if (!result.Ok()) result = FinishCopy(m_odbc, m_view, m_journal, m_name, m_driver, entries, true, again);
    return result;
}

ChangeResult SourceReplacement::Keep(HKEY entries) {
    return WriteDriverEntry(m_odbc, m_view, m_name, m_driver, entries);
}

ChangeResult SourceReplacement::Commit(bool replaces, HKEY entries, HeldSource held, const DefinitionWriter& again) {
    if (!m_begun) return Failure(ChangeStep::CreateKey, ERROR_INVALID_HANDLE);
    if (m_byCopy) return CommitByCopy(replaces, entries, again);
    const std::string oldKey = OldKeyOf(m_journal);
    LONG code = ERROR_SUCCESS;
    bool hadOld = false;
    if (replaces) {
        code = held.key != NULL ? RenameKey(held.key, oldKey) : RenameChild(m_odbc, m_name, oldKey, m_view);
        // Deleted since it was opened: gone, as if looked for now.
        if (code == ERROR_KEY_DELETED) code = ERROR_FILE_NOT_FOUND;
        hadOld = code == ERROR_SUCCESS;
        if (!hadOld && code != ERROR_FILE_NOT_FOUND) {
            if (Unsupported(code)) {
                ChangeResult result = CommitByCopy(replaces, entries, again);
                result.renameUnsupported = true;
                return result;
            }
            Undo(false, false);
            return Failure(ChangeStep::SetAside, code);
        }
        PauseAt("set aside");
    } else if (Exists(m_odbc, m_name, m_view)) {
        // Made meanwhile by someone else, which the caller, having looked
        // last at the questions, learns here. (Wine 8 would also rename
        // onto it without a word, where Windows refuses the rename.)
        Undo(false, false);
        return Failure(ChangeStep::SwapIn, ERROR_ALREADY_EXISTS);
    }
    code = RenameKey(m_newKey, m_name);
    if (Unsupported(code) && !hadOld) {
        ChangeResult result = CommitByCopy(replaces, entries, again);
        result.renameUnsupported = true;
        return result;
    }
    m_newKey.Close();
    if (code != ERROR_SUCCESS) {
        Undo(false, hadOld);
        return Failure(ChangeStep::SwapIn, code);
    }
    PauseAt("swapped");
    ChangeResult result = WriteDriverEntry(m_odbc, m_view, m_name, m_driver, entries);
    if (!result.Ok()) {
        Undo(true, hadOld);
        return result;
    }
    m_begun = false;
    // From here the new definition is in place; what follows only tidies.
    const bool oldGone = !hadOld || (held.leaf && RegKey::DeleteLeaf(m_odbc, oldKey.c_str(), m_view) == ERROR_SUCCESS) ||
                         DeleteTree(m_odbc, oldKey, m_view) == ERROR_SUCCESS;
    if (!oldGone) {
        // The journal stays, so that the next run deletes the old key.
        result.leftover = true;
        return result;
    }
    DeleteJournal(m_odbc, m_journal);
    return result;
}

ChangeResult RemoveSource(HKEY odbc, REGSAM view, const std::string& name, bool byCopy) {
    byCopy = byCopy || RenameAvoided(name);
    const std::string journal = FreshJournalName(), oldKey = OldKeyOf(journal);
    LONG code = ERROR_SUCCESS;
    bool renameUnsupported = false;
    if (!byCopy) {
        code = WriteJournal(odbc, journal, kRemove, name, std::string());
        if (code != ERROR_SUCCESS) return Failure(ChangeStep::Journal, code);
        code = RenameChild(odbc, name, oldKey, view);
        renameUnsupported = Unsupported(code);
        if (code != ERROR_SUCCESS && !renameUnsupported) {
            DeleteJournal(odbc, journal);
            return Failure(ChangeStep::SetAside, code);
        }
    }
    if (byCopy || renameUnsupported) {
        if (!Exists(odbc, name, view)) code = ERROR_FILE_NOT_FOUND;
        // Replaces the removal's journal when the rename was tried.
        if (code == ERROR_SUCCESS || renameUnsupported) code = WriteJournal(odbc, journal, kDelete, name, std::string());
        if (code != ERROR_SUCCESS) {
            if (renameUnsupported) DeleteJournal(odbc, journal);
            return Failure(code == ERROR_FILE_NOT_FOUND ? ChangeStep::SetAside : ChangeStep::Journal, code);
        }
        PauseAt("delete");
        ChangeResult result = FinishDelete(odbc, view, journal, name);
        if (!result.Ok()) result = FinishDelete(odbc, view, journal, name);
        result.renameUnsupported = renameUnsupported;
        return result;
    }
    PauseAt("set aside");
    code = DeleteDriverEntry(odbc, view, name);
    if (code != ERROR_SUCCESS) {
        if (RenameChild(odbc, oldKey, name, view) == ERROR_SUCCESS) DeleteJournal(odbc, journal);
        return Failure(ChangeStep::DriverEntry, code);
    }
    ChangeResult result;
    if (DeleteTree(odbc, oldKey, view) != ERROR_SUCCESS) {
        result.leftover = true;
        return result;
    }
    DeleteJournal(odbc, journal);
    return result;
}

std::vector<std::string> PendingChanges(HKEY odbc, REGSAM) {
    std::vector<FoundJournal> journals;
    FindTransients(odbc, journals, nullptr);
    std::vector<std::string> sources;
    for (const FoundJournal& found : journals) sources.push_back(found.readable ? found.journal.source : found.name);
    return sources;
}

ChangeAtName ChangeNaming(HKEY odbc, const std::string& name) {
    // Journals are the section's only values: most looks end here.
    KeyStamp section;
    if (BorrowedKey(odbc).QueryStamp(&section) == ERROR_SUCCESS && section.values == 0) return ChangeAtName::None;
    std::vector<FoundJournal> journals;
    FindTransients(odbc, journals, nullptr);
    ChangeAtName found = ChangeAtName::None;
    for (const FoundJournal& entry : journals) {
        if (!entry.readable || !SameKeyName(entry.journal.source.c_str(), name.c_str())) continue;
        if (entry.journal.kind == kCopy || entry.journal.kind == kDelete) return ChangeAtName::Piecemeal;
        found = ChangeAtName::Whole;
    }
    return found;
}

namespace {

// Finishes or undoes the change a readable journal names.
RecoveredChange RecoverJournal(HKEY odbc, REGSAM view, const std::string& journalName, const Journal& journal) {
    RecoveredChange change;
    const std::string newKey = NewKeyOf(journalName), oldKey = OldKeyOf(journalName);
    const bool hasNew = Exists(odbc, newKey, view), hasOld = Exists(odbc, oldKey, view);
    const bool hasSource = Exists(odbc, journal.source, view);
    change.source = journal.source;
    change.removal = journal.kind == kRemove || journal.kind == kDelete;
    LONG code = ERROR_SUCCESS;
    if (journal.kind == kDelete) {
        change.outcome = RecoveredChange::Completed;
        code = FinishDelete(odbc, view, journalName, journal.source).code;
    } else if (journal.kind == kCopy && hasOld) {
        // The copy way never sets a source aside: not this program's doing.
        change.outcome = RecoveredChange::Failed;
        code = ERROR_INVALID_DATA;
    } else if (journal.kind == kCopy) {
        change.outcome = RecoveredChange::Completed;
        if (hasNew) {
            code = FinishCopy(odbc, view, journalName, journal.source, journal.driver, NULL, true).code;
        } else if (hasSource) {
            code = WriteDriverEntry(odbc, view, journal.source, journal.driver).code;
        }
    } else if (change.removal) {
        change.outcome = hasOld ? RecoveredChange::Completed : RecoveredChange::Cleared;
        // A source at the name was made after it was set aside: its
        // driver entry is its own.
        if (hasOld && !hasSource) code = DeleteDriverEntry(odbc, view, journal.source);
        if (hasOld && code == ERROR_SUCCESS) code = DeleteTree(odbc, oldKey, view);
    } else if (hasNew && hasOld && hasSource) {
        change.outcome = RecoveredChange::Failed;
        code = ERROR_ALREADY_EXISTS;
    } else if (hasNew) {
        change.outcome = RecoveredChange::Undone;
        if (hasOld) code = RenameChild(odbc, oldKey, journal.source, view);
        if (code == ERROR_SUCCESS) code = DeleteJournal(odbc, journalName);
        if (code == ERROR_SUCCESS) code = DeleteTree(odbc, newKey, view);
    } else {
        change.outcome = RecoveredChange::Completed;
        if (hasSource) code = WriteDriverEntry(odbc, view, journal.source, journal.driver).code;
        if (code == ERROR_SUCCESS && hasOld) code = DeleteTree(odbc, oldKey, view);
    }
    if (code == ERROR_SUCCESS) code = DeleteJournal(odbc, journalName);
    if (code != ERROR_SUCCESS) change.outcome = RecoveredChange::Failed;
    change.code = code;
    return change;
}

}  // namespace

std::vector<RecoveredChange> RecoverInterruptedChanges(HKEY odbc, REGSAM view, bool recoverJournals,
                                                       bool orphans) {
    std::vector<RecoveredChange> found;
    std::vector<FoundJournal> journals;
    std::vector<std::string> transientKeys;
    FindTransients(odbc, journals, orphans ? &transientKeys : nullptr);
    // The registry compares names without regard to case; so does this.
    const auto release = [&](const std::string& journalName) {
        for (size_t k = transientKeys.size(); k-- > 0;) {
            const char* key = transientKeys[k].c_str();
            if (SameKeyName(key, NewKeyOf(journalName).c_str()) || SameKeyName(key, OldKeyOf(journalName).c_str()))
                transientKeys.erase(transientKeys.begin() + (long)k);
        }
    };
    for (const FoundJournal& entry : journals) {
        const std::string& journalName = entry.name;
        release(journalName);
        if (!recoverJournals) continue;
        RecoveredChange change;
        if (!entry.readable) {
            // Another version's change, perhaps: nothing of it is touched.
            change.key = journalName;
            change.outcome = RecoveredChange::Failed;
            change.code = ERROR_INVALID_DATA;
            found.push_back(change);
            continue;
        }
        found.push_back(RecoverJournal(odbc, view, journalName, entry.journal));
    }
    for (const std::string& orphan : transientKeys) {
        RecoveredChange change;
        change.key = orphan;
        change.code = DeleteTree(odbc, orphan, view);
        change.outcome = change.code == ERROR_SUCCESS ? RecoveredChange::Cleared : RecoveredChange::Failed;
        found.push_back(change);
    }
    return found;
}
