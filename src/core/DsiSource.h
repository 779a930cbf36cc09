// What one data source of a DSI file asks import to write, checked before
// anything reaches the registry. Portable: no <windows.h>.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/RegistryLimits.h"

namespace zentrel {

class ProfileFile;

// Why a text cannot name a data source's key (empty, too long, a backslash);
// empty when it can. Reserved names are for the registry side to judge.
std::string DsnNameProblem(const std::string& name);

// A name as a message quotes it: whole when short, else its start and its
// length, so that one hostile name cannot fill the screen.
std::string ShownName(const std::string& name);

// A name with each zero byte shown as "\0", for messages.
std::string VisibleZeros(const std::string& name);

// How import reads a row's name: a nested key's row names its levels; a
// value's name with a backslash after its first character is a path whose
// last part is the value's own name; any other name is the value's, whole.
void SplitDsiRowName(const std::string& name, bool subkey, std::vector<std::string>& levels,
                     std::string& valueName);

// One row of a source as import writes it.
struct DsiImportRow {
    int index = 0;                    // j of Name%d
    std::string name;                 // as the file spells it
    std::vector<std::string> levels;  // key levels below the source's key, none empty
    bool subkey = false;              // only creates its key
    std::string valueName;
    uint32_t type = 0;
    std::vector<unsigned char> data;
    // From the row's "Raw%d" key: bytes stored as they are, text types too.
    bool stored = false;
};

// A row that is not written, and why.
struct DsiRowProblem {
    int index = 0;
    std::string name;
    std::string problem;
};

struct DsiSourceRows {
    std::string countText;     // the section's Items as read
    bool countValid = false;   // false: the source must not be written at all
    int announced = 0;         // the row count, when valid
    int missing = 0;           // rows announced but absent from the file
    std::vector<DsiImportRow> rows;
    std::vector<DsiRowProblem> problems;
    // Row names of the secrets the file says it left out: the target keeps its own.
    std::vector<std::string> withheld;
};

// Reads and checks the rows of one source section. maxRows bounds how many
// rows the file can hold at all (its line count).
DsiSourceRows ReadDsiSourceRows(const ProfileFile& file, const std::string& section, long long maxRows);

}  // namespace zentrel
