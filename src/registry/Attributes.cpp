#include <algorithm>
#include <cstring>
#include <string>

#include "core/DsiSource.h"
#include "core/ValueFormat.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
std::string JoinPath(const char* prefix, const std::string& name) {
    if (prefix == nullptr || *prefix == '\0') return name;
    return std::string(prefix) + "\\" + name;
}
}  // namespace

void MainWindow::FillSubTree(HKEY parent, const char* subkey, const char* prefix) {
    const bool top = prefix == nullptr || *prefix == '\0';
    if (top) {
        m_nAttributeRows = 0;
        m_aAttributeRows.clear();
        m_bListingIncomplete = FALSE;
        m_strListedDsn = subkey ? subkey : "";
    }
    // A nested key's prefix is its own path below the source.
    const size_t depth = top ? 0 : 1 + size_t(std::count(prefix, prefix + strlen(prefix), '\\'));
    // Named only in the messages below.
    const auto where = [&]() {
        return top ? zentrel::FormatText(LoadText(IDS_WHERE_SOURCE), zentrel::ShownName(m_strListedDsn))
                   : zentrel::FormatText(LoadText(IDS_WHERE_NESTED), zentrel::ShownName(prefix),
                                         zentrel::ShownName(m_strListedDsn));
    };
    RegKey key;
    bool isLink = false;
    // An empty name would hand back the parent itself.
    const LONG code = key.OpenUnfollowed(parent, subkey, KEY_READ | ViewFlag(m_placeConnected.platform), &isLink);
    if (code != ERROR_SUCCESS) {
        // What cannot be read must not pass for all there is.
        Report("FillSubTree", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        m_bListingIncomplete = TRUE;
        return;
    }
    if (isLink) {
        // A link is not followed: one pointing up its own tree never ends.
        Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_LINK, where());
        m_bListingIncomplete = TRUE;
        return;
    }
    // An enumeration that ends on anything but its end leaves entries unread.
    const auto ended = [&](LONG status) {
        if (status == ERROR_NO_MORE_ITEMS) return;
        Report("FillSubTree", MB_OK | MB_ICONSTOP, SystemErrorText(status));
        m_bListingIncomplete = TRUE;
    };
    // The counts let each enumeration stop without a call past its end;
    // without them each runs until the registry refuses an index.
    DWORD subkeys = MAXDWORD, values = MAXDWORD;
    if (::RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS)
        subkeys = values = MAXDWORD;

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
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_NOT_CARRIED, where(), zentrel::ShownName(valueName));
            m_bListingIncomplete = TRUE;
            continue;
        }
        if (status != ERROR_SUCCESS) {
            ended(status);
            break;
        }
        AttributeRow row;
        row.name = top ? valueName : std::string(prefix) + "\\" + valueName;
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

    std::vector<wchar_t> buffer;
    std::string name;
    for (DWORD index = 0; index < subkeys; ++index) {
        const LONG status = key.EnumSubkey(index, buffer, name);
        if (status == ERROR_NO_UNICODE_TRANSLATION) {
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_NOT_CARRIED, where(), zentrel::ShownName(name));
            m_bListingIncomplete = TRUE;
            continue;
        }
        if (status != ERROR_SUCCESS) {
            ended(status);
            break;
        }
        if (name.find('\0') != std::string::npos) {
            // Opened by name, it would be another key: the one its first part names.
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_ZERO_NAME, where(),
                   zentrel::ShownName(zentrel::VisibleZeros(name)));
            m_bListingIncomplete = TRUE;
            continue;
        }
        if (depth + 1 > zentrel::kMaxDsnDepth) {
            Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_TOO_DEEP, where(), (int)zentrel::kMaxDsnDepth);
            m_bListingIncomplete = TRUE;
            break;
        }
        AttributeRow row;
        row.name = JoinPath(prefix, name);
        row.valueText = "<SUBKEY>";
        row.typeCode = -1;
        row.subkey = true;
        m_aAttributeRows.push_back(row);
        m_nAttributeRows = (int)m_aAttributeRows.size();
        FillSubTree(key, name.c_str(), row.name.c_str());
    }

    // A key's own values follow the rows of its subkeys.
    for (AttributeRow& row : valueRows) m_aAttributeRows.push_back(std::move(row));
    m_nAttributeRows = (int)m_aAttributeRows.size();
}
