#include "dsi/DsnNameDialog.h"

#include <vector>

#include "ui/resource.h"

DsnNameDialog::DsnNameDialog(CWnd* parent) : CDialog(IDD_DSNNAME, parent) {}

BOOL DsnNameDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextA(m_hWnd, IDC_DSN_NAME, m_strName.c_str());
    return TRUE;
}

void DsnNameDialog::OnOK() {
    // The whole text, however long: the import decides what it accepts.
    HWND edit = GetDlgItemHwnd(IDC_DSN_NAME);
    const int length = ::GetWindowTextLengthA(edit);
    std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int got = ::GetWindowTextA(edit, text.data(), (int)text.size());
    m_strName.assign(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
    EndDialog(IDOK);
}
