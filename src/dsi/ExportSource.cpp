#include "dsi/ExportSource.h"

#include <windows.h>

#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/Secrets.h"
#include "registry/RegKey.h"

namespace {

// Import reads a backslash in a row's name as a path: a value whose own name
// holds one would come back as another value in another key.
bool ImportFindsValueName(const AttributeRow& row) {
    if (row.subkey) return true;
    std::vector<std::string> levels;
    std::string valueName;
    zentrel::SplitDsiRowName(row.name, false, levels, valueName);
    return row.name.compare(row.valueNameAt, std::string::npos, valueName) == 0;
}

// What older readers get of text stored as no whole UTF-16: each character
// that has an exact form here, '?' for the rest; the exact bytes travel in
// the row's "Raw%d" key.
std::vector<unsigned char> ApproximateText(const std::vector<unsigned char>& stored) {
    const wchar_t* units = reinterpret_cast<const wchar_t*>(stored.data());
    const size_t count = stored.size() / 2;
    std::vector<unsigned char> text;
    std::string piece;
    for (size_t i = 0; i < count;) {
        const int n = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
                              units[i + 1] <= 0xDFFF
                          ? 2
                          : 1;
        if (ExactAnsi(units + i, (size_t)n, piece)) {
            text.insert(text.end(), piece.begin(), piece.end());
        } else {
            text.push_back('?');
        }
        i += (size_t)n;
    }
    return text;
}

// Whether the file can carry the text: bytes that are no character of the
// program's code page stop the whole file from being written.
bool EncodesAsText(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() > 0x7FFFFFFF) return false;
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), NULL, 0) > 0;
}

// A row as its section carries it.
struct Written {
    const AttributeRow* row;
    std::string value;
    bool hasData;
    std::vector<unsigned char> data;  // what Value and Data carry
};

Written WrittenRow(const AttributeRow& row) {
    if (row.subkey) return Written{&row, "<SUBKEY>", false, {}};
    Written written{&row, std::string(), false, row.data};
    if (row.stored) written.data = ApproximateText(row.data);
    const std::vector<unsigned char>& data = written.data;
    written.value = zentrel::EncodeDsiValue(row.typeCode, data.data(), data.size());
    written.hasData = !zentrel::DsiValueTextCarriesData(row.typeCode, data.data(), data.size());
    if (!EncodesAsText(written.value)) {
        // A non-text type's bytes read as text: older readers get what
        // is ASCII of it, the exact bytes travel in Data.
        for (char& c : written.value)
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        written.hasData = true;
    }
    if (HoldsLineBreak(written.value)) {
        // The exact bytes carry what a profile line cannot.
        written.value.clear();
        written.hasData = true;
    }
    return written;
}

}  // namespace

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos || text.find('\0') != std::string::npos;
}

std::vector<std::string> WriteDsiSource(zentrel::ProfileFile& file, const std::string& section,
                                        const std::string& dsn, const std::string& driver,
                                        const zentrel::Platform* view, const std::vector<AttributeRow>& all,
                                        size_t count, bool withholdSecrets) {
    std::vector<Written> rows;
    rows.reserve(all.size());
    std::vector<std::string> leftOut, withheld;
    for (size_t j = 0; j < count && j < all.size(); ++j) {
        const AttributeRow& row = all[j];
        if (HoldsLineBreak(row.name) || !ImportFindsValueName(row)) {
            leftOut.push_back(row.name);
            continue;
        }
        if (withholdSecrets && !row.subkey && zentrel::IsSecretValueName(row.name.substr(row.valueNameAt))) {
            withheld.push_back(row.name);
            continue;
        }
        rows.push_back(WrittenRow(row));
    }

    file.Set(section, "Driver", driver);
    file.Set(section, "DSN", dsn);
    // Which view of the System scope the source came from; earlier readers
    // ignore the key.
    if (view != nullptr) file.Set(section, "Platform", zentrel::PlatformText(*view));
    file.Set(section, "Items", std::to_string(rows.size()));
    for (size_t j = 0; j < rows.size(); ++j) {
        const Written& written = rows[j];
        file.Set(section, zentrel::DsiIndexedName("Name%d", (int)j), written.row->name);
        file.Set(section, zentrel::DsiIndexedName("Value%d", (int)j), written.value);
        file.Set(section, zentrel::DsiIndexedName("Format%d", (int)j), std::to_string(written.row->typeCode));
        if (written.hasData)
            file.Set(section, zentrel::DsiIndexedName("Data%d", (int)j),
                     zentrel::DsiHex(written.data.data(), written.data.size()));
        if (written.row->stored)
            file.Set(section, zentrel::DsiIndexedName("Raw%d", (int)j),
                     zentrel::DsiHex(written.row->data.data(), written.row->data.size()));
    }
    for (const std::string& name : withheld) file.AddComment(section, zentrel::WithheldComment(name));
    return leftOut;
}
