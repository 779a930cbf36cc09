#include "ui/DsnNameDialog.h"

#include "ui/resource.h"

DsnNameDialog::DsnNameDialog(CWnd* parent) : CDialog(IDD_DSNNAME, parent) {}

void DsnNameDialog::DoDataExchange(CDataExchange* pDX) { DDX_Text(pDX, IDC_DSN_NAME, m_strName); }

BOOL DsnNameDialog::OnInitDialog() {
    const BOOL result = CDialog::OnInitDialog();
    if (!m_strCaption.empty()) ::SetWindowTextA(m_hWnd, m_strCaption.c_str());
    return result;
}
