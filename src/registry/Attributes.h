// One row of a data source's attribute listing.
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "registry/RegKey.h"

struct AttributeRow {
    std::string name;        // path below the data source's key, backslash-joined
    std::string valueText;   // display text, or "<SUBKEY>"
    std::string typeText;    // the type's name ("REG_MULTI_SZ") or number; empty for a nested key
    DWORD dwordValue = 0;    // meaningful when typeCode is 4
    int typeCode = 0;        // registry type, -1 for a nested key
    bool subkey = false;     // a nested key's row (a value may have type -1 too)
    size_t valueNameAt = 0;  // where the value's own name starts in `name`
    // The complete data as read, so that an export never loses what the
    // display text shortens.
    std::vector<unsigned char> data;
    // Text-type data kept as the registry stores it: not whole, exactly
    // convertible UTF-16.
    bool stored = false;
};

// What a listing met and could not list, in the order met; the caller words it.
struct ListingProblem {
    enum class Kind {
        Unreadable,  // a key not opened, or its entries not all enumerated: `code` says why
        Link,        // a registry link, not followed
        NotCarried,  // a name without an exact form in the code page: `name`
        ZeroName,    // a nested key's name with a zero byte inside: `name`
        TooDeep,     // nested keys below the deepest level a source may have
    };
    Kind kind = Kind::Unreadable;
    std::string prefix;  // the key's path below the source; empty for the source itself
    LONG code = 0;
    std::string name;
};

struct AttributeListing {
    // Each key's nested keys first, depth first, then its own values.
    std::vector<AttributeRow> rows;
    std::vector<ListingProblem> problems;
    // Something was left out: the rows do not hold the whole source.
    bool incomplete = false;
    // The source's own key as it stood before its values were read.
    KeyStamp stamp;
};

// Lists the data source `dsn` below `parent` in the registry view `view`
// whole: every value with its complete data, every nested key as a row of
// its own. Nothing is followed through a link.
AttributeListing ListAttributes(HKEY parent, const std::string& dsn, REGSAM view);

// As ListAttributes, for a reader beside changes another run makes: the
// source wholly as it was or wholly as a change left it. It is read between
// two looks that find no change naming it, its key the same (stamp and
// counts) after as before; `alsoRead`, when given, reads inside that span
// what must agree with it (its driver entry). While a live run changes it,
// whichever way, it is read once the change ends, waiting up to `waitMs`; a
// source still not read whole is incomplete, ERROR_BUSY.
AttributeListing ListAttributesWhole(HKEY parent, const std::string& dsn, REGSAM view, DWORD waitMs,
                                     const std::function<void()>& alsoRead = nullptr);

// The section's stamp, and whether no change began or ended in it since
// that stamp was taken: each writes and deletes its journal there, and none
// stood there at the time.
KeyStamp SectionStamp(HKEY section);
bool SectionUnchanged(HKEY section, const KeyStamp& before);
