#include "registry/Attributes.h"

#include <algorithm>
#include <string>

#include "core/RegistryLimits.h"
#include "core/ValueFormat.h"
#include "registry/RegKey.h"
#include "registry/SafeReplace.h"
#include "registry/ScopeLock.h"

namespace {

std::string JoinPath(const std::string& prefix, const std::string& name) {
    return prefix.empty() ? name : prefix + "\\" + name;
}

// What the walk of one key tells the listing.
struct KeyWalk {
    AttributeListing& out;
    const std::string& prefix;  // a nested key's own path below the source
    void Problem(ListingProblem::Kind kind, LONG code, const std::string& name) const {
        ListingProblem found;
        found.kind = kind;
        found.prefix = prefix;
        found.code = code;
        found.name = name;
        out.problems.push_back(std::move(found));
        out.incomplete = true;
    }
    // An enumeration that ends on anything but its end leaves entries unread.
    void Ended(LONG status) const {
        if (status != ERROR_NO_MORE_ITEMS) Problem(ListingProblem::Kind::Unreadable, status, std::string());
    }
};

// The key's values as rows; *holdsLinkTarget tells whether one is a link's
// target value.
std::vector<AttributeRow> ListValues(const RegKey& key, DWORD values, const KeyWalk& walk, bool* holdsLinkTarget) {
    std::vector<AttributeRow> valueRows;
    // Kept from source to source: an export lists thousands, and a name
    // buffer made anew each time would be one large block more to place.
    static thread_local std::vector<wchar_t> nameBuffer;
    std::string valueName;
    std::vector<unsigned char> data;
    for (DWORD index = 0; index < values; ++index) {
        DWORD type = 0;
        bool stored = false;
        const LONG status = key.EnumValue(index, nameBuffer, valueName, type, data, &stored);
        if (status == ERROR_NO_UNICODE_TRANSLATION) {
            walk.Problem(ListingProblem::Kind::NotCarried, 0, valueName);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            walk.Ended(status);
            break;
        }
        if (type == REG_LINK && zentrel::SameAsciiIgnoringCase(valueName, zentrel::kLinkTargetValue))
            *holdsLinkTarget = true;
        AttributeRow row;
        row.name = JoinPath(walk.prefix, valueName);
        row.valueNameAt = row.name.size() - valueName.size();
        row.typeCode = (int)type;
        const zentrel::FormattedValue shown = zentrel::FormatRegistryValue((int32_t)type, data.data(), data.size());
        // Stored bytes that are no text here show as what they are.
        row.valueText = stored ? zentrel::HexText(data.data(), data.size()) : shown.valueText;
        row.stored = stored;
        row.typeText = shown.typeText;
        row.dwordValue = shown.dwordValue;
        row.data = data;
        valueRows.push_back(std::move(row));
    }
    return valueRows;
}

void ListKey(HKEY parent, const std::string& subkey, const std::string& prefix, REGSAM view,
             AttributeListing& out);

// Each subkey's row, followed by the rows of its own walk.
void ListSubkeys(const RegKey& key, DWORD subkeys, size_t depth, REGSAM view, const KeyWalk& walk) {
    std::vector<wchar_t> buffer;
    std::string name;
    for (DWORD index = 0; index < subkeys; ++index) {
        const LONG status = key.EnumSubkey(index, buffer, name);
        if (status == ERROR_NO_UNICODE_TRANSLATION) {
            walk.Problem(ListingProblem::Kind::NotCarried, 0, name);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            walk.Ended(status);
            break;
        }
        if (name.find('\0') != std::string::npos) {
            // Opened by name, it would be another key: the one its first part names.
            walk.Problem(ListingProblem::Kind::ZeroName, 0, name);
            continue;
        }
        if (depth + 1 > zentrel::kMaxDsnDepth) {
            walk.Problem(ListingProblem::Kind::TooDeep, 0, std::string());
            break;
        }
        AttributeRow row;
        row.name = JoinPath(walk.prefix, name);
        row.valueText = "<SUBKEY>";
        row.typeCode = -1;
        row.subkey = true;
        walk.out.rows.push_back(row);
        ListKey(key, name, row.name, view, walk.out);
    }
}

void ListKey(HKEY parent, const std::string& subkey, const std::string& prefix, REGSAM view,
             AttributeListing& out) {
    const KeyWalk walk{out, prefix};
    const size_t depth = prefix.empty() ? 0 : 1 + size_t(std::count(prefix.begin(), prefix.end(), '\\'));
    RegKey key;
    // An empty name would hand back the parent itself. Whether the key is a
    // link is asked only should it hold a link's target value, which the
    // values read below show: a question less for every key.
    const LONG code = key.OpenUnfollowed(parent, subkey.c_str(), KEY_READ | view, nullptr);
    if (code != ERROR_SUCCESS) {
        // What cannot be read must not pass for all there is.
        walk.Problem(ListingProblem::Kind::Unreadable, code, std::string());
        return;
    }
    const size_t problemsBefore = out.problems.size();
    // The counts let each enumeration stop without a call past its end;
    // without them each runs until the registry refuses an index.
    KeyStamp stamp;
    DWORD subkeys = MAXDWORD, values = MAXDWORD;
    if (key.QueryStamp(&stamp) == ERROR_SUCCESS) {
        subkeys = stamp.subkeys;
        values = stamp.values;
    }
    if (prefix.empty()) out.stamp = stamp;
    bool holdsLinkTarget = false;
    std::vector<AttributeRow> valueRows = ListValues(key, values, walk, &holdsLinkTarget);
    RegKey probe;
    bool isLink = false;
    if (holdsLinkTarget && probe.OpenUnfollowed(parent, subkey.c_str(), KEY_READ | view, &isLink) == ERROR_SUCCESS &&
        isLink) {
        // A link is not followed: one pointing up its own tree never ends.
        // What was read of it is the link, not the source's.
        out.problems.resize(problemsBefore);
        walk.Problem(ListingProblem::Kind::Link, 0, std::string());
        return;
    }
    ListSubkeys(key, subkeys, depth, view, walk);
    // A key's own values follow the rows of its subkeys.
    for (AttributeRow& row : valueRows) out.rows.push_back(std::move(row));
}

}  // namespace

AttributeListing ListAttributes(HKEY parent, const std::string& dsn, REGSAM view) {
    AttributeListing listing;
    ListKey(parent, dsn, std::string(), view, listing);
    return listing;
}

namespace {

// Between looks at a change that names the source.
const DWORD kChangePollMs = 20;

// Whether the key at the name is the one read: the same stamp and counts.
bool StillAsRead(HKEY parent, const std::string& dsn, REGSAM view, const KeyStamp& read) {
    if (!read.known) return true;  // not opened: its problems say why
    RegKey key;
    KeyStamp now;
    return key.OpenUnfollowed(parent, dsn.c_str(), KEY_QUERY_VALUE | view, nullptr) == ERROR_SUCCESS &&
           key.QueryStamp(&now) == ERROR_SUCCESS && now == read;
}

// Whether a live run other than this process holds the section: its change
// ends; one of an ended run, or this process's own, is not waited for. A
// holder yet to name itself has begun nothing: a journal it finds is an
// ended run's (`namedOnly`).
bool OtherRunChanging(HKEY parent, REGSAM view, bool namedOnly) {
    LockHolder holder;
    bool named = false;
    return LockedByLiveRun(parent, view, &holder, &named) && (named || !namedOnly) &&
           holder.process != ::GetCurrentProcessId();
}

}  // namespace

KeyStamp SectionStamp(HKEY section) {
    KeyStamp stamp;
    RegKey borrowed(section);
    if (borrowed.QueryStamp(&stamp) != ERROR_SUCCESS) stamp = KeyStamp();
    borrowed.Detach();
    return stamp;
}

bool SectionUnchanged(HKEY section, const KeyStamp& before) {
    return before.known && before.values == 0 && SectionStamp(section) == before;
}

AttributeListing ListAttributesWhole(HKEY parent, const std::string& dsn, REGSAM view, DWORD waitMs,
                                     const std::function<void()>& alsoRead) {
    // Most reads meet no change at all: two looks at the section tell.
    const KeyStamp calm = SectionStamp(parent);
    if (calm.known && calm.values == 0) {
        AttributeListing listing = ListAttributes(parent, dsn, view);
        if (alsoRead) alsoRead();
        if (SectionUnchanged(parent, calm)) return listing;
    }
    const ULONGLONG deadline = ::GetTickCount64() + waitMs;
    for (;;) {
        // A live run's change, whichever way, is waited for: a rename
        // swaps the key in before it writes the driver entry.
        const ChangeAtName before = ChangeNaming(parent, dsn);
        const bool live = before != ChangeAtName::None &&
                          OtherRunChanging(parent, view, before == ChangeAtName::Whole);
        if (!live && before != ChangeAtName::Piecemeal) {
            AttributeListing listing = ListAttributes(parent, dsn, view);
            if (alsoRead) alsoRead();
            if (ChangeNaming(parent, dsn) == before && StillAsRead(parent, dsn, view, listing.stamp))
                return listing;
        }
        // A piece-by-piece change of an ended run stays until a run that
        // may write puts it right.
        if ((!live && before == ChangeAtName::Piecemeal) || ::GetTickCount64() >= deadline) break;
        ::Sleep(kChangePollMs);
    }
    AttributeListing busy;
    busy.incomplete = true;
    ListingProblem problem;
    problem.code = ERROR_BUSY;
    busy.problems.push_back(problem);
    return busy;
}
