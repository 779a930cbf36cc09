#include "ui/DsiFileDialog.h"

#include <cstring>

#include "ops/Prompts.h"

DsiFileDialog::DsiFileDialog(Prompts& prompts) : m_ofn(), m_prompts(prompts) { m_szFileName[0] = '\0'; }

void DsiFileDialog::Prepare(const char* filter, const char* fileName, HWND owner, const char* title, DWORD flags) {
    m_strFilter = filter ? filter : "";
    for (char& c : m_strFilter)
        if (c == '|') c = '\0';
    // Two closing zeros even when the text lacks its final "||".
    m_strFilter.append(2, '\0');

    // A proposed name that does not fit is not proposed at all: a cut name
    // would suggest a different file.
    const char* proposed = fileName ? fileName : "";
    if (strlen(proposed) < sizeof(m_szFileName)) {
        strcpy(m_szFileName, proposed);
    } else {
        m_szFileName[0] = '\0';
    }

    memset(&m_ofn, 0, sizeof(m_ofn));
    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = owner;
    m_ofn.lpstrFilter = m_strFilter.c_str();
    m_ofn.lpstrFile = m_szFileName;
    m_ofn.nMaxFile = sizeof(m_szFileName);
    m_strTitle = title ? title : "";
    if (!m_strTitle.empty()) m_ofn.lpstrTitle = m_strTitle.c_str();
    m_ofn.Flags = flags;
}

BOOL DsiFileDialog::ShowOpen(const char* filter, const char* fileName, HWND owner, const char* title, DWORD flags) {
    Prepare(filter, fileName, owner, title, flags);
    return m_prompts.FileName(FALSE, &m_ofn);
}

BOOL DsiFileDialog::ShowSave(const char* filter, const char* fileName, const char* defaultExtension, HWND owner,
                             const char* title, DWORD flags) {
    Prepare(filter, fileName, owner, title, flags);
    m_strDefaultExtension = defaultExtension ? defaultExtension : "";
    if (!m_strDefaultExtension.empty()) m_ofn.lpstrDefExt = m_strDefaultExtension.c_str();
    return m_prompts.FileName(TRUE, &m_ofn);
}
