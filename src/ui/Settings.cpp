#include "ui/Settings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/DsiCodec.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/resource.h"

namespace {
const char kSettingsKey[] = "Software\\Morvane\\Zentrel\\";

void CopySetting(const char* text) {
    strncpy(g_szSettingValue, text, sizeof(g_szSettingValue) - 1);
    g_szSettingValue[sizeof(g_szSettingValue) - 1] = '\0';
}

int ReadFlag(const char* valueName) {
    ReadProductSetting("", valueName, nullptr, "1");
    // Any non-zero number is on, and shows so in the dialog's check box.
    return zentrel::LeadingDecimal(g_szSettingValue) != 0 ? 1 : 0;
}

void WriteFlag(const char* valueName, int value) {
    char text[16];
    snprintf(text, sizeof(text), "%d", value);
    WriteProductSetting("", valueName, text);
}
}  // namespace

char g_szSettingValue[128];
SettingsDialog* g_pSettings = nullptr;

LONG ReadProductSetting(const char* subKey, const char* valueName, char* outText, const char* defaultText) {
    const std::string path = std::string(kSettingsKey) + subKey;
    RegKey key;
    LONG status = key.Open(HKEY_CURRENT_USER, path.c_str(), ViewFlag(zentrel::Platform::Shared));
    if (status == ERROR_SUCCESS) {
        // The spare byte terminates data stored without its zero.
        char data[sizeof(g_szSettingValue) + 1] = {};
        DWORD size = sizeof(g_szSettingValue);
        status = key.QueryValue(valueName, data, &size);
        if (status == ERROR_SUCCESS) CopySetting(data);
    }
    if (status != ERROR_SUCCESS) CopySetting(defaultText);
    if (outText) strcpy(outText, g_szSettingValue);
    return status;
}

LONG WriteProductSetting(const char* subKey, const char* valueName, const char* text) {
    const std::string path = std::string(kSettingsKey) + subKey;
    RegKey key;
    const LONG status = key.OpenOrCreate(HKEY_CURRENT_USER, path.c_str(), ViewFlag(zentrel::Platform::Shared));
    return status != ERROR_SUCCESS ? status : key.SetText(valueName, text);
}

SettingsDialog::SettingsDialog(CWnd* parent)
    : CDialog(IDD_SETTINGS, parent), m_bDefSystem(1), m_bAskImport(1), m_bAskDelete(1), m_bMaskSecrets(1) {
    m_bAskImport = ReadFlag("bAskImport");
    m_bMaskSecrets = ReadFlag("bMaskSecrets");
    m_bAskDelete = ReadFlag("bAskDelete");
    m_bDefSystem = ReadFlag("bDefSystem");
}

SettingsDialog::~SettingsDialog() {}

void SettingsDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_DEF_SYSTEM, m_bDefSystem);
    DDX_Check(pDX, IDC_ASK_IMPORT, m_bAskImport);
    DDX_Check(pDX, IDC_ASK_DELETE, m_bAskDelete);
    DDX_Check(pDX, IDC_MASK_SECRETS, m_bMaskSecrets);
}

BOOL SettingsDialog::OnCmdMsg(UINT id) {
    if (id == IDOK) {
        SaveSettings();
        return TRUE;
    }
    return CDialog::OnCmdMsg(id);
}

void SettingsDialog::SaveSettings() {
    if (!UpdateData(TRUE)) return;
    WriteFlag("bDefSystem", m_bDefSystem);
    WriteFlag("bAskDelete", m_bAskDelete);
    WriteFlag("bAskImport", m_bAskImport);
    WriteFlag("bMaskSecrets", m_bMaskSecrets);
    EndDialog(IDOK);
}
