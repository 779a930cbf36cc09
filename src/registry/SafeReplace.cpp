#include "registry/SafeReplace.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "registry/OdbcSection.h"
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

struct Journal {
    std::string kind, source, driver;
};

std::string NewKeyOf(const std::string& journal) { return journal + kNewSuffix; }
std::string OldKeyOf(const std::string& journal) { return journal + kOldSuffix; }

// A name no other change of this or another process uses at the same time.
std::string FreshJournalName() {
    static unsigned long counter = 0;
    char name[64];
    snprintf(name, sizeof(name), "%s%lx-%lx}", kPrefix, (unsigned long)::GetCurrentProcessId(), ++counter);
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
    if (fields[1] != kReplace && fields[1] != kRemove) return false;
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

// Renames a child key in place, a registry link as the link itself.
LONG RenameChild(HKEY parent, const std::string& from, const std::string& to, REGSAM view) {
    // The limit counts characters as the registry does, not bytes.
    const std::wstring wide = WideText(to);
    if (wide.empty() || wide.size() > zentrel::kMaxKeyNameLength) return ERROR_INVALID_NAME;
    RegKey key;
    const LONG code = key.OpenUnfollowed(parent, from.c_str(), KEY_WRITE | view, nullptr);
    if (code != ERROR_SUCCESS) return code;
    return key.Rename(wide);
}

LONG DeleteTree(HKEY odbc, const std::string& name, REGSAM view) {
    const LONG code = DeleteKeyTree(odbc, name, (int)zentrel::kMaxDsnDepth, view);
    return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
}

// A key enumerated here and owned by the caller.
struct BorrowedKey : RegKey {
    explicit BorrowedKey(HKEY key) : RegKey(key) {}
    ~BorrowedKey() { Detach(); }
};

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

}  // namespace

bool IsTransientKeyName(const char* name) {
    const size_t length = sizeof(kPrefix) - 1;
    return name != nullptr && strlen(name) >= length &&
           zentrel::SameAsciiIgnoringCase(std::string(name, length), kPrefix);
}

SourceReplacement::SourceReplacement(HKEY odbc, REGSAM view, const std::string& name, const std::string& driver)
    : m_odbc(odbc), m_view(view), m_name(name), m_driver(driver), m_journal(FreshJournalName()) {}

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

ChangeResult SourceReplacement::Commit(HKEY entries) {
    if (!m_begun) return Failure(ChangeStep::CreateKey, ERROR_INVALID_HANDLE);
    m_newKey.Close();
    const std::string newKey = NewKeyOf(m_journal), oldKey = OldKeyOf(m_journal);
    LONG code = RenameChild(m_odbc, m_name, oldKey, m_view);
    const bool hadOld = code == ERROR_SUCCESS;
    if (!hadOld && code != ERROR_FILE_NOT_FOUND) {
        Undo(false, false);
        return Failure(ChangeStep::SetAside, code);
    }
    code = RenameChild(m_odbc, newKey, m_name, m_view);
    if (code != ERROR_SUCCESS) {
        Undo(false, hadOld);
        return Failure(ChangeStep::SwapIn, code);
    }
    ChangeResult result = WriteDriverEntry(m_odbc, m_view, m_name, m_driver, entries);
    if (!result.Ok()) {
        Undo(true, hadOld);
        return result;
    }
    m_begun = false;
    // From here the new definition is in place; what follows only tidies.
    if (hadOld && DeleteTree(m_odbc, oldKey, m_view) != ERROR_SUCCESS) {
        // The journal stays, so that the next run deletes the old key.
        result.leftover = true;
        return result;
    }
    DeleteJournal(m_odbc, m_journal);
    return result;
}

ChangeResult RemoveSource(HKEY odbc, REGSAM view, const std::string& name) {
    const std::string journal = FreshJournalName(), oldKey = OldKeyOf(journal);
    LONG code = WriteJournal(odbc, journal, kRemove, name, std::string());
    if (code != ERROR_SUCCESS) return Failure(ChangeStep::Journal, code);
    code = RenameChild(odbc, name, oldKey, view);
    if (code != ERROR_SUCCESS) {
        DeleteJournal(odbc, journal);
        return Failure(ChangeStep::SetAside, code);
    }
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

namespace {

// Finishes or undoes the change one journal names.
RecoveredChange RecoverJournal(HKEY odbc, REGSAM view, const std::string& journalName, const Journal& journal) {
    const std::string newKey = NewKeyOf(journalName), oldKey = OldKeyOf(journalName);
    const bool hasNew = Exists(odbc, newKey, view), hasOld = Exists(odbc, oldKey, view);
    const bool hasSource = Exists(odbc, journal.source, view);
    RecoveredChange change;
    change.source = journal.source;
    change.removal = journal.kind == kRemove;
    LONG code = ERROR_SUCCESS;
    if (change.removal) {
        change.outcome = hasOld ? RecoveredChange::Completed : RecoveredChange::Cleared;
        if (hasOld) code = DeleteDriverEntry(odbc, view, journal.source);
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

std::vector<RecoveredChange> RecoverInterruptedChanges(HKEY odbc, REGSAM view) {
    std::vector<RecoveredChange> found;
    const BorrowedKey section(odbc);
    std::map<std::string, Journal> journals;
    std::vector<wchar_t> nameBuffer;
    std::string name;
    std::vector<unsigned char> data;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        if (section.EnumValue(index, nameBuffer, name, type, data) != ERROR_SUCCESS) break;
        Journal journal;
        if (IsTransientKeyName(name.c_str()) && ParseJournal(type, data, journal)) journals[name] = journal;
    }
    std::set<std::string> transientKeys;
    for (DWORD index = 0;; ++index) {
        if (section.EnumSubkey(index, nameBuffer, name) != ERROR_SUCCESS) break;
        if (IsTransientKeyName(name.c_str())) transientKeys.insert(name);
    }

    for (const auto& entry : journals) {
        transientKeys.erase(NewKeyOf(entry.first));
        transientKeys.erase(OldKeyOf(entry.first));
        found.push_back(RecoverJournal(odbc, view, entry.first, entry.second));
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
