// The program's preferences, held by the "Product Settings" dialog
// object and stored as decimal texts below the user's own key.
#pragma once
#include <windows.h>

#include "framework/Framework.h"

extern char g_szSettingValue[128];

LONG ReadProductSetting(const char* subKey, const char* valueName, char* outText, const char* defaultText);
LONG WriteProductSetting(const char* subKey, const char* valueName, const char* text);

class SettingsDialog : public CDialog {
public:
    explicit SettingsDialog(CWnd* parent);
    ~SettingsDialog() override;

    void SaveSettings();

    int m_bDefSystem;
    int m_bAskImport;
    int m_bAskDelete;
    int m_bMaskSecrets;  // the window shows, copies and compares secrets as a mask

protected:
    BOOL OnCmdMsg(UINT id) override;
    void DoDataExchange(CDataExchange* pDX) override;
};

extern SettingsDialog* g_pSettings;
