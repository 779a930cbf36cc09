#include "dsi/DsnNameDialog.h"

#include "ui/resource.h"

DsnNameDialog::DsnNameDialog(CWnd* parent) : CDialog(IDD_DSNNAME, parent) {}

void DsnNameDialog::DoDataExchange(CDataExchange* pDX) { DDX_Text(pDX, IDC_DSN_NAME, m_strName); }
