#include "app/Fleet.h"

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "app/ManagerApp.h"
#include "dsi/DsiFileIo.h"
#include "ops/RunContext.h"
#include "registry/ParallelCalls.h"
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

namespace {

class LockHeld {
public:
    explicit LockHeld(SRWLOCK* lock) : m_lock(lock) { ::AcquireSRWLockExclusive(m_lock); }
    ~LockHeld() { ::ReleaseSRWLockExclusive(m_lock); }
    LockHeld(const LockHeld&) = delete;
    LockHeld& operator=(const LockHeld&) = delete;

private:
    SRWLOCK* m_lock;
};

// How one of several computers worked on at once asks and tells when
// somebody may answer: through the run's own prompts, one call at a time.
class SharedPrompts : public Prompts {
public:
    SharedPrompts(Prompts& prompts, SRWLOCK* lock) : m_prompts(prompts), m_lock(lock) {}
    int Message(HWND owner, const char* text, const char* caption, UINT type) override {
        LockHeld held(m_lock);
        return m_prompts.Message(owner, text, caption, type);
    }
    BOOL FileName(BOOL save, OPENFILENAMEA* request) override {
        LockHeld held(m_lock);
        return m_prompts.FileName(save, request);
    }
    INT_PTR RunDialog(CDialog& dialog) override {
        LockHeld held(m_lock);
        return m_prompts.RunDialog(dialog);
    }
    UINT TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) override {
        LockHeld held(m_lock);
        return m_prompts.TrackPopup(popup, flags, x, y, owner);
    }
    void ShellOpen(HWND owner, const char* file, const char* params, const char* directory) override {
        LockHeld held(m_lock);
        m_prompts.ShellOpen(owner, file, params, directory);
    }
    void CopyText(HWND owner, const std::string& text) override {
        LockHeld held(m_lock);
        m_prompts.CopyText(owner, text);
    }

private:
    Prompts& m_prompts;
    SRWLOCK* m_lock;
};

// Works on the computers, `width` at once, and writes as they go: each
// one's start, then its messages and its end line as it ends, and its
// standard output once every computer named before it has written its own.
void RunJobs(std::vector<std::unique_ptr<ComputerJob>>& jobs, size_t width, HANDLE out, HANDLE err) {
    const size_t total = jobs.size();
    std::vector<HANDLE> running;
    std::vector<ComputerJob*> runningJobs;
    size_t next = 0, written = 0;
    auto finish = [&](ComputerJob& job) {
        job.finished = true;
        WriteStreamText(err, job.err + zentrel::ComputerEndLine(job.index + 1, total, job.outcome));
        for (; written < total && jobs[written]->finished; ++written) WriteStreamText(out, jobs[written]->out);
    };
    while (written < total) {
        while (running.size() < width && next < total) {
            ComputerJob& job = *jobs[next++];
            WriteStreamText(err, zentrel::ComputerStartLine(job.index + 1, total, job.name));
            const HANDLE thread = ::CreateThread(NULL, 0, &ManagerApp::ComputerThread, &job, 0, NULL);
            if (thread == NULL) {
                // No thread to spare: this one is worked on here.
                ManagerApp::ComputerThread(&job);
                finish(job);
                continue;
            }
            running.push_back(thread);
            runningJobs.push_back(&job);
        }
        if (running.empty()) continue;
        const DWORD waited = ::WaitForMultipleObjects((DWORD)running.size(), running.data(), FALSE, INFINITE);
        size_t ended = waited - WAIT_OBJECT_0;
        if (ended >= running.size()) {
            ended = 0;
            ::WaitForSingleObject(running[0], INFINITE);
        }
        ::CloseHandle(running[ended]);
        ComputerJob& job = *runningJobs[ended];
        running.erase(running.begin() + (long)ended);
        runningJobs.erase(runningJobs.begin() + (long)ended);
        finish(job);
    }
}

// The counts a computer's end line shows: those of what was asked for.
zentrel::ComputerCounts CountsAskedFor(const zentrel::CommandLineSwitches& line) {
    zentrel::ComputerCounts counts;
    const bool imports = line.m_bImport && !line.m_bPreview;
    counts.removed = !line.m_removals.empty() && !line.m_bPreview ? 0 : -1;
    counts.exported = line.m_bExport ? 0 : -1;
    counts.listed = line.m_bList ? 0 : -1;
    counts.written = counts.replaced = counts.skipped = imports ? 0 : -1;
    return counts;
}

}  // namespace

DWORD WINAPI ManagerApp::ComputerThread(void* param) {
    ComputerJob& job = *static_cast<ComputerJob*>(param);
    try {
        job.outcome = job.app->RunComputer(job);
    } catch (...) {
        job.outcome.computer = job.name;
        job.outcome.completed = false;
    }
    return 0;
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
    // Nobody to answer: each computer's messages wait with its output.
    const bool quiet = m_bQuiet || m_bConsoleProgram;
    SRWLOCK promptsLock = SRWLOCK_INIT;
    std::vector<std::unique_ptr<ComputerJob>> jobs;
    for (size_t i = 0; i < list.names.size(); ++i) {
        std::unique_ptr<ComputerJob> job(new ComputerJob);
        job->index = i;
        job->name = list.names[i];
        job->exportFile = exportFiles[i];
        job->facts = run.facts;
        job->waitMs = (DWORD)m_nWaitSeconds * 1000;
        job->app = this;
        if (quiet) {
            job->prompts.reset(new QuietPrompts(&job->err));
        } else {
            job->prompts.reset(new SharedPrompts(run.GetPrompts(), &promptsLock));
        }
        jobs.push_back(std::move(job));
    }
    const size_t width = m_nAtOnce > 1 ? (size_t)m_nAtOnce : 1;
    RunJobs(jobs, width, m_hConsoleOut, m_hConsoleErr);

    std::vector<zentrel::ComputerOutcome> outcomes;
    std::vector<std::pair<std::string, std::vector<zentrel::SourceComparison>>> compared;
    for (std::unique_ptr<ComputerJob>& job : jobs) {
        // A computer not compared has no drift to tell.
        if (compare && job->outcome.compared != 2) compared.push_back(std::make_pair(job->name, std::move(job->comparisons)));
        outcomes.push_back(std::move(job->outcome));
    }
    if (compare) WriteStreamText(m_hConsoleOut, zentrel::FormatDrift(compared));
    WriteStreamText(m_hConsoleErr, zentrel::FleetSummaryLine(outcomes, compare));
    return zentrel::FleetExitCode(outcomes, compare);
}

zentrel::ComputerOutcome ManagerApp::RunComputer(ComputerJob& job) {
    const bool compare = m_bCompare != 0;
    const std::string& name = job.name;
    RunContext one(std::move(job.prompts));
    one.facts = job.facts;
    one.facts.commandLine.m_strRemoteSystem = name;
    one.facts.manyComputers = true;
    one.facts.outText = &job.out;
    one.facts.errText = &job.err;
    ComputerRun result;
    result.exportFile = job.exportFile;
    const bool imports = m_bImport && !m_bPreview;
    result.counts = CountsAskedFor(*this);
    // Every connection of this computer's run, not only the first.
    SetConnectionLimit(job.waitMs);
    try {
        // One wait for a computer that cannot be reached, not one per operation.
        RegKey root;
        const LONG code = root.Connect(name, HKEY_LOCAL_MACHINE);
        if (code == ERROR_TIMEOUT) {
            one.Fail("RegConnectRegistry", IDS_NOT_REACHED, name, std::to_string(job.waitMs / 1000));
            result.compared = 2;
        } else if (code != ERROR_SUCCESS) {
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
    SetConnectionLimit(0);
    one.CloseConnection();

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
        job.comparisons = std::move(result.comparisons);
    }
    return outcome;
}
