#include "app/Fleet.h"

#include <exception>
#include <memory>
#include <utility>

#include "app/ManagerApp.h"
#include "dsi/DsiFileIo.h"
#include "ops/RunContext.h"
#include "registry/RegKey.h"
#include "res/resource.h"

namespace {

// Wide text in the program's code page; false when a character has no form
// there, so that no name is guessed.
bool FromWide(const std::wstring& wide, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    const bool utf8 = ::GetACP() == CP_UTF8;
    BOOL guessed = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide.data(),
                                             (int)wide.size(), NULL, 0, NULL, utf8 ? NULL : &guessed);
    if (length <= 0 || guessed) return false;
    text.assign((size_t)length, '\0');
    ::WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide.data(), (int)wide.size(),
                          &text[0], length, NULL, utf8 ? NULL : &guessed);
    return !guessed;
}

// Text in `page` as text in the program's code page; false when a
// character has no form there, so that no name is guessed.
bool ToProgramText(UINT page, const char* bytes, int size, std::string& text) {
    text.clear();
    if (size == 0) return true;
    const int units = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, size, NULL, 0);
    if (units <= 0) return false;
    std::wstring wide((size_t)units, L'\0');
    ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, size, &wide[0], units);
    return FromWide(wide, text);
}

}  // namespace

DWORD ReadComputerListFile(const char* path, std::string& text) {
    std::string bytes;
    const DWORD code = zentrel::ReadWholeDsiFile(path, bytes);
    if (code != 0) return code;
    size_t mark = 0;
    const zentrel::ListEncoding encoding = zentrel::ComputerListEncoding(bytes, &mark);
    bytes.erase(0, mark);
    if (bytes.size() > 0x7FFFFFFF) return ERROR_FILE_TOO_LARGE;
    bool ok = false;
    switch (encoding) {
    case zentrel::ListEncoding::Utf16Be:
    case zentrel::ListEncoding::Utf16Le: {
        if (bytes.size() % 2 != 0) return ERROR_NO_UNICODE_TRANSLATION;
        std::wstring wide(bytes.size() / 2, L'\0');
        const bool big = encoding == zentrel::ListEncoding::Utf16Be;
        for (size_t i = 0; i < wide.size(); ++i) {
            const unsigned char a = (unsigned char)bytes[2 * i], b = (unsigned char)bytes[2 * i + 1];
            wide[i] = (wchar_t)(big ? (a << 8) | b : (b << 8) | a);
        }
        ok = FromWide(wide, text);
        break;
    }
    case zentrel::ListEncoding::Utf8:
        ok = ToProgramText(CP_UTF8, bytes.data(), (int)bytes.size(), text);
        break;
    case zentrel::ListEncoding::Ansi:
        ok = ToProgramText(zentrel::DsiAnsiCodePage(), bytes.data(), (int)bytes.size(), text);
        break;
    }
    return ok ? 0 : ERROR_NO_UNICODE_TRANSLATION;
}

int ManagerApp::RunFleet(RunContext& run, const zentrel::ComputerSwitch& named) {
    const bool compare = m_bCompare != 0;
    zentrel::ComputerList list;
    if (named.fromFile) {
        std::string text;
        const DWORD code = ReadComputerListFile(named.text.c_str(), text);
        if (code != 0) {
            run.ReportFileError(named.text.c_str(), code, "Error");
            return zentrel::FleetExitCode({}, compare);
        }
        list = zentrel::ReadComputerListText(text);
    } else {
        list = zentrel::SplitComputerNames(named.text);
    }
    std::string problems;
    for (const zentrel::ComputerListProblem& problem : list.problems)
        problems += zentrel::ComputerListProblemText(problem) + "\r\n";
    WriteStreamText(m_hConsoleErr, problems);

    const std::vector<std::string> exportFiles = zentrel::ComputerFileNames(m_strFileName, list.names);
    std::vector<zentrel::ComputerOutcome> outcomes;
    std::vector<std::pair<std::string, std::vector<zentrel::SourceComparison>>> compared;
    for (size_t i = 0; i < list.names.size(); ++i) {
        const std::string& name = list.names[i];
        WriteStreamText(m_hConsoleErr, zentrel::ComputerStartLine(i + 1, list.names.size(), name));
        std::vector<zentrel::SourceComparison> comparisons;
        zentrel::ComputerOutcome outcome = RunComputer(run, name, exportFiles[i], &comparisons);
        // A computer not compared has no drift to tell.
        if (compare && outcome.compared != 2) compared.push_back(std::make_pair(name, std::move(comparisons)));
        WriteStreamText(m_hConsoleErr, zentrel::ComputerEndLine(i + 1, list.names.size(), outcome));
        outcomes.push_back(std::move(outcome));
    }
    if (compare) WriteStreamText(m_hConsoleOut, zentrel::FormatDrift(compared));
    WriteStreamText(m_hConsoleErr, zentrel::FleetSummaryLine(outcomes, compare));
    return zentrel::FleetExitCode(outcomes, compare);
}

zentrel::ComputerOutcome ManagerApp::RunComputer(RunContext& run, const std::string& name,
                                                 const std::string& exportFile,
                                                 std::vector<zentrel::SourceComparison>* comparisons) {
    const bool compare = m_bCompare != 0;
    // Each computer's own context; the way of asking is handed on.
    RunContext one(run.SetPrompts(std::unique_ptr<Prompts>()));
    one.facts = run.facts;
    one.facts.commandLine.m_strRemoteSystem = name;
    one.facts.manyComputers = true;
    ComputerRun result;
    result.exportFile = exportFile;
    const bool imports = m_bImport && !m_bPreview;
    result.counts.exported = m_bExport ? 0 : -1;
    result.counts.listed = m_bList ? 0 : -1;
    result.counts.written = result.counts.replaced = result.counts.skipped = imports ? 0 : -1;
    try {
        // One wait for a computer that cannot be reached, not one per operation.
        RegKey root;
        const LONG code = root.Connect(name, HKEY_LOCAL_MACHINE);
        if (code != ERROR_SUCCESS) {
            one.Fail("RegConnectRegistry", IDS_CONNECT_ERROR, name, RunContext::SystemErrorText(code));
            result.compared = 2;
        } else {
            root.Close();
            RunOperations(one, &result);
        }
    } catch (const std::exception& e) {
        one.Fail("Error", zentrel::FormatText(RunContext::LoadText(IDS_UNEXPECTED_ERROR), e.what()));
        result.compared = 2;
    }
    run.SetPrompts(one.SetPrompts(std::unique_ptr<Prompts>()));

    zentrel::ComputerOutcome outcome;
    outcome.computer = name;
    outcome.completed = one.Succeeded() != FALSE;
    outcome.compared = compare ? result.compared : 0;
    outcome.counts = result.counts;
    if (imports) {
        // As the import's own summary counts them: replaced ones are written too.
        const Reporter& sources = one.Outcomes();
        outcome.counts.replaced = sources.Count(SourceOutcome::Replaced);
        outcome.counts.written = sources.Count(SourceOutcome::Written) + outcome.counts.replaced;
        outcome.counts.skipped = sources.Count(SourceOutcome::Skipped) + sources.Count(SourceOutcome::Refused) +
                                 sources.Count(SourceOutcome::Failed);
    }
    if (compare) {
        int different = 0;
        for (const zentrel::SourceComparison& c : result.comparisons)
            different += c.status != zentrel::SourceStatus::Identical;
        outcome.counts.different = different;
        *comparisons = std::move(result.comparisons);
    }
    return outcome;
}
