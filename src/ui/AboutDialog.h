// The About box: version and build lines, and links to the web page and to
// technical support.
#pragma once
#include <windows.h>
#include <winver.h>

#include <string>

#include "framework/Framework.h"
#include "ui/LinkLabel.h"

class Prompts;

class AboutDialog : public CDialog {
public:
    // Link clicks go through prompts (the owner's shell seam) when given.
    explicit AboutDialog(CWnd* parent = nullptr, Prompts* prompts = nullptr);

    BOOL OnInitDialog() override;

    // "Version %d.%02d.%02d" of a product version plus the build's suffixes.
    static std::string FormatVersionLine(const VS_FIXEDFILEINFO& info);
    // The version line of a file; empty when it has no version resource.
    static std::string VersionLineOf(const char* path);
    // Compiler, framework version and the time this file was compiled.
    static std::string BuildLine();

    LinkLabel m_lblWeb;
    LinkLabel m_lblMail;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    Prompts* m_pPrompts;
};
