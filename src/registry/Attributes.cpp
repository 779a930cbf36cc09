#include <algorithm>
#include <cstring>
#include <string>

#include "dsi/DsiSource.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "registry/ValueFormat.h"
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
        Report("FillSubTree", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return;
    }
    if (isLink) {
        // A link is not followed: one pointing up its own tree never ends.
        Report("FillSubTree", MB_OK | MB_ICONSTOP, IDS_LISTING_LINK, where());
        m_bListingIncomplete = TRUE;
        return;
    }

    std::vector<char> buffer;
    std::string name;
    for (DWORD index = 0;; ++index) {
        if (key.EnumSubkey(index, buffer, name) != ERROR_SUCCESS) break;
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

    std::vector<char> nameBuffer;
    std::string valueName;
    std::vector<unsigned char> data;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        if (key.EnumValue(index, nameBuffer, valueName, type, data) != ERROR_SUCCESS) break;
        AttributeRow row;
        row.name = top ? valueName : std::string(prefix) + "\\" + valueName;
        row.valueNameAt = row.name.size() - valueName.size();
        row.typeCode = (int)type;
        const zentrel::FormattedValue shown = zentrel::FormatRegistryValue((int32_t)type, data.data(), data.size());
        row.valueText = shown.valueText;
        row.typeText = shown.typeText;
        row.dwordValue = shown.dwordValue;
        row.data = data;
        m_aAttributeRows.push_back(std::move(row));
        m_nAttributeRows = (int)m_aAttributeRows.size();
    }
}
