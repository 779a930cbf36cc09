// "Data Source Name": the one-field rename dialog of Import As.
#pragma once
#include <string>

#include "framework/Framework.h"
#include "framework/Handle.h"

class DsnNameDialog : public CDialog {
public:
    explicit DsnNameDialog(CWnd* parent);

    // The whole text, however long: the import decides what it accepts.
    std::string m_strName;
    // A caption in place of the template's, when not empty.
    std::string m_strCaption;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    FontHandle m_font;  // the name in any script
};
