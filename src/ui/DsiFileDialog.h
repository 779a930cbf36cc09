// The platform's open and save dialogs for DSI files, one object per dialog
// shown. The request goes through the prompt interface.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "dsi/DsiFileIo.h"

class Prompts;

class DsiFileDialog {
public:
    explicit DsiFileDialog(Prompts& prompts);
    DsiFileDialog(const DsiFileDialog&) = delete;
    DsiFileDialog& operator=(const DsiFileDialog&) = delete;

    // Nonzero when the user chose a file; GetPathName() then holds it.
    BOOL ShowOpen(const char* filter, const char* fileName, HWND owner, const char* title, DWORD flags);
    BOOL ShowSave(const char* filter, const char* fileName, const char* defaultExtension, HWND owner,
                  const char* title, DWORD flags);
    const char* GetPathName() const { return m_szFileName; }

    OPENFILENAMEA m_ofn;
    std::string m_strTitle;
    char m_szFileName[zentrel::kDsiPathBytes + 1];
    std::string m_strFilter;  // '|' turned into zero characters

private:
    void Prepare(const char* filter, const char* fileName, HWND owner, const char* title, DWORD flags);

    Prompts& m_prompts;
    std::string m_strDefaultExtension;
};
