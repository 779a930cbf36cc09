// "Data Source Name": the one-field rename dialog of Import As.
#pragma once
#include <string>

#include "framework/Framework.h"

class DsnNameDialog : public CDialog {
public:
    explicit DsnNameDialog(CWnd* parent);

    BOOL OnInitDialog() override;
    void OnOK() override;

    std::string m_strName;
};
