#include "ui/DsnNameDialog.h"

#include "ui/Fonts.h"
#include "ui/resource.h"

DsnNameDialog::DsnNameDialog(CWnd* parent) : CDialog(IDD_DSNNAME, parent) {}

void DsnNameDialog::DoDataExchange(CDataExchange* pDX) { DDX_Text(pDX, IDC_DSN_NAME, m_strName); }

BOOL DsnNameDialog::OnInitDialog() {
    // Before the exchange in CDialog::OnInitDialog fills the box.
    static const int kName[] = {IDC_DSN_NAME};
    m_font.Attach(CreateMessageFont());
    SetControlsFont(m_hWnd, kName, 1, m_font);
    const BOOL result = CDialog::OnInitDialog();
    if (!m_strCaption.empty()) ::SetWindowTextA(m_hWnd, m_strCaption.c_str());
    return result;
}
