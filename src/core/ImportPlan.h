// What an import will do with each source of a DSI file, decided from the
// file alone: nothing here touches the registry or asks anything.
// Portable: no <windows.h>.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/DsiSource.h"
#include "core/Platform.h"
#include "core/ProfileFile.h"

namespace zentrel {

// The file's source count, [General] Items.
struct DsiFileCount {
    bool present = false;  // the key is there
    bool empty = false;    // there, without a text: the file cannot be imported
    bool valid = false;    // a number that neither wrapped nor overflowed
    int announced = 0;     // the count as read, when valid
    // The source indices to read, in order: every one below the count that
    // a section of the file names, and the first of each run of indices no
    // section names, met once as that missing source. The work is bounded
    // by the file's sections, however large the count it claims.
    std::vector<int> indices;
};
DsiFileCount ReadDsiFileCount(const ProfileFile& file);

// Where the import goes, as far as the file's sources depend on it.
struct DsiImportTarget {
    bool systemScope = false;
    bool viewForced = false;                  // every System source into `forced`
    Platform forced = Platform::Shared;
    Platform own = Platform::Shared;          // the program's own view
    long long maxRows = 0;                    // rows cannot outnumber the file's lines
    // Names the registry keeps for itself in the ODBC section.
    std::function<bool(const std::string&)> reserved;
};

// Why a source is not imported at all.
enum class DsiRefusal { None, Platform, Name, Reserved, RowCount };

struct DsiSourcePlan {
    std::string section;    // DSN#<i>, or DSN<i> when that one names no source
    std::string fileName;   // the name the file gives; empty: neither section names one
    std::string name;       // the name it is imported under
    std::string driver;
    Platform platform = Platform::Shared;  // the view of the System scope it goes into
    DsiRefusal refusal = DsiRefusal::None;
    std::string refusalDetail;  // the platform text, the name's problem or the row count as read
    DsiSourceRows rows;         // read only for a source that is not refused
};

// Source `index`: its section, name, driver and view. A source whose view
// the file names wrongly is refused here; the rest is decided by
// PlanDsiSourceRows, under the name the file gives or another one.
DsiSourcePlan PlanDsiSource(const ProfileFile& file, int index, const DsiImportTarget& target);
// Refuses a name that cannot be a data source's key, else reads the rows,
// refusing a source whose row count is unusable. Nothing for a source
// already refused.
void PlanDsiSourceRows(const ProfileFile& file, const DsiImportTarget& target, DsiSourcePlan& plan);

}  // namespace zentrel
