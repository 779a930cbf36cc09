#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "dsi/DsiSource.h"
#include "registry/RegKey.h"
#include "registry/ValueFormat.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
const DWORD kValueNameCapacity = 16384;  // the platform's longest value name and its terminator
const size_t kGrowthLimit = size_t(1) << 30;  // beyond any value the registry can hold

// Reads the index-th value whole, growing the buffers as the value asks.
LONG EnumValue(HKEY key, DWORD index, std::vector<char>& nameBuffer, std::string& name, DWORD& type,
               std::vector<unsigned char>& data) {
    if (nameBuffer.size() < kValueNameCapacity) nameBuffer.resize(kValueNameCapacity);
    if (data.size() < 256) data.resize(256);
    for (;;) {
        DWORD nameSize = (DWORD)nameBuffer.size();
        DWORD dataSize = (DWORD)data.size();
        const LONG code =
            ::RegEnumValueA(key, index, nameBuffer.data(), &nameSize, NULL, &type, data.data(), &dataSize);
        if (code == ERROR_MORE_DATA && dataSize > data.size()) {
            data.resize(dataSize);
            continue;
        }
        if (code == ERROR_MORE_DATA && data.size() < kGrowthLimit) {
            // No size reported, or the name is what did not fit: grow both.
            data.resize(data.size() * 2);
            if (nameBuffer.size() < kGrowthLimit / 8) nameBuffer.resize(nameBuffer.size() * 2);
            continue;
        }
        if (code != ERROR_SUCCESS) return code;
        name.assign(nameBuffer.data(), nameSize);
        data.resize(dataSize);
        return ERROR_SUCCESS;
    }
}

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
    const std::string where = top ? "data source '" + zentrel::ShownName(m_strListedDsn) + "'"
                                  : "key '" + zentrel::ShownName(prefix) + "' of data source '" +
                                        zentrel::ShownName(m_strListedDsn) + "'";
    RegKey key;
    bool isLink = false;
    // An empty name would hand back the parent itself.
    const LONG code = key.OpenUnfollowed(parent, subkey, KEY_READ, &isLink);
    if (code != ERROR_SUCCESS || isLink) {
        // A link is not followed: one pointing up its own tree never ends.
        const std::string text = code != ERROR_SUCCESS
                                     ? SystemErrorText(code)
                                     : "The " + where + " is a registry link; it is not followed.";
        Message(text.c_str(), "FillSubTree", MB_OK | MB_ICONSTOP);
        MarkFailed();
        if (isLink) m_bListingIncomplete = TRUE;
        return;
    }

    std::vector<char> buffer;
    std::string name;
    for (DWORD index = 0;; ++index) {
        if (EnumSubkeyName(key.Get(), index, buffer, name) != ERROR_SUCCESS) break;
        if (name.find('\0') != std::string::npos) {
            // Opened by name, it would be another key: the one its first part names.
            const std::string text = "The " + where + " holds a key with a zero byte in its name ('" +
                                     zentrel::ShownName(zentrel::VisibleZeros(name)) +
                                     "'), which cannot be reached by name; it is not listed.";
            Message(text.c_str(), "FillSubTree", MB_OK | MB_ICONSTOP);
            MarkFailed();
            m_bListingIncomplete = TRUE;
            continue;
        }
        if (depth + 1 > zentrel::kMaxDsnDepth) {
            const std::string text = "The " + where + " holds keys more than " +
                                     std::to_string(zentrel::kMaxDsnDepth) +
                                     " levels below the data source; they are not listed.";
            Message(text.c_str(), "FillSubTree", MB_OK | MB_ICONSTOP);
            MarkFailed();
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
        FillSubTree(key.Get(), name.c_str(), row.name.c_str());
    }

    std::vector<char> nameBuffer;
    std::string valueName;
    std::vector<unsigned char> data;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        if (EnumValue(key.Get(), index, nameBuffer, valueName, type, data) != ERROR_SUCCESS) break;
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

LRESULT MainWindow::OnDsnItemChanged(const NMLISTVIEW* change) {
    // A change reported for all rows at once (item -1) names no data source:
    // reading its text would make the empty name current and list the whole
    // ODBC section as one source.
    if (m_bFilling || change->iItem < 0) return 0;
    m_lstDataSources.GetItemText(change->iItem, 0, m_szCurrentDsn, 260);
    m_placeCurrent = m_placeListed;
    const std::string caption = LoadText(IDS_PROPERTIES_CAPTION);
    char line[600];
    snprintf(line, sizeof(line), caption.c_str(), m_szCurrentDsn);
    ::SetDlgItemTextA(m_hWnd, IDC_CAPTION_LINE, line);

    m_nAttributeRows = 0;
    m_aAttributeRows.clear();
    m_lstAttributes.DeleteAllItems();
    if (!ConnectForList()) return 0;
    FillSubTree(m_hOdbcIniKey, m_szCurrentDsn, nullptr);
    // One redraw for the whole listing, not one per row.
    ::SendMessageA(m_lstAttributes.m_hWnd, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < m_nAttributeRows; ++i) {
        const AttributeRow& row = m_aAttributeRows[i];
        m_lstAttributes.InsertItem(i, row.name.c_str());
        m_lstAttributes.SetItemText(i, 1, row.valueText.c_str());
        m_lstAttributes.SetItemText(i, 2, row.typeText.c_str());
    }
    ::SendMessageA(m_lstAttributes.m_hWnd, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_lstAttributes.m_hWnd, NULL, TRUE);
    return 0;
}
