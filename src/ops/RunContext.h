// What every operation runs over: where it acts, how it asks, how it reports,
// and the registry connection and attribute table it works with. Built once
// by its caller (the window, the batch run, a test); a run over several
// computers is a loop over contexts.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "core/DsiSource.h"
#include "core/Platform.h"
#include "core/ProfileFile.h"
#include "dsi/DsiFileIo.h"
#include "ops/Prompts.h"
#include "ops/Report.h"
#include "registry/Attributes.h"
#include "registry/Place.h"
#include "registry/RegKey.h"

class ParallelCalls;

// How one source of an operation ended, recorded as it happens: summaries and
// exit codes are counted from these, never read back from what was shown.
enum class SourceOutcome : unsigned char { Written, Replaced, Skipped, Refused, Failed };

class Reporter {
public:
    // The run did not complete; it may still go on with other sources.
    void Fail() { m_failed = true; }
    bool Completed() const { return !m_failed; }
    void Reset() {
        m_failed = false;
        m_outcomes.clear();
    }
    // One source's outcome; only counted, so no name is kept: a large
    // import has many.
    void Record(SourceOutcome outcome) { m_outcomes.push_back(outcome); }
    // How many outcomes are recorded: where an operation's own begin.
    size_t Recorded() const { return m_outcomes.size(); }
    int Count(SourceOutcome outcome, size_t since = 0) const;

private:
    bool m_failed = false;
    std::vector<SourceOutcome> m_outcomes;
};

// The run's facts, as values its caller sets: what the command line asked
// for and where the batch run writes. No operation reads a global for them.
struct RunFacts {
    zentrel::CommandLineSwitches commandLine;  // batch mode, preview, -s, -p
    HANDLE out = NULL;       // the batch run's listing and preview
    HANDLE err = NULL;       // the batch run's notes beside its messages
    bool Batch() const { return commandLine.m_bBatchMode != FALSE; }
    bool Preview() const { return (Batch() && commandLine.m_bPreview) || previewInto != nullptr; }
    // A window's preview: the import's lines go here instead of `out`.
    std::string* previewInto = nullptr;
    // One of many computers (commandLine names it alone): its name leads
    // each output line and goes into its backups' file names.
    bool manyComputers = false;
    std::string OutputLines(const std::string& text) const;
    // Where the output of one of several computers worked on at once waits,
    // to be written in the order the computers were named; unset, it goes
    // to the streams at once.
    std::string* outText = nullptr;
    std::string* errText = nullptr;
    void WriteOut(const std::string& text) const;
    void WriteErr(const std::string& text) const;
};

class RunContext {
public:
    RunContext();
    explicit RunContext(std::unique_ptr<Prompts> prompts);
    virtual ~RunContext();
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    // Where: the batch run's place for a scope (computer and view from the
    // command line; nobody to ask).
    ScopePlace BatchPlace(BOOL systemScope) const;

    // How to ask. The prompts replaced are handed back.
    std::unique_ptr<Prompts> SetPrompts(std::unique_ptr<Prompts> prompts);
    Prompts& GetPrompts() { return *m_prompts; }
    // Owner of message boxes: none without a window.
    virtual HWND OwnerWindow() const { return NULL; }
    // A new name for a source about to be imported; false when declined.
    // Without a window there is nobody to ask.
    virtual bool AskSourceName(std::string& name, const std::string& caption);

    // How to report. Report shows a box and returns the answer; Fail shows
    // a stop box and records that the run did not complete.
    int Report(const std::string& caption, UINT flags, const std::string& text);
    template <class... Args>
    int Report(const std::string& caption, UINT flags, UINT textId, const Args&... args) {
        return Report(caption, flags, zentrel::FormatText(LoadText(textId), args...));
    }
    void Fail(const std::string& caption, const std::string& text);
    template <class... Args>
    void Fail(const std::string& caption, UINT textId, const Args&... args) {
        Fail(caption, zentrel::FormatText(LoadText(textId), args...));
    }
    // The same box for an outcome that still counts as complete.
    template <class... Args>
    int Remark(const std::string& caption, UINT flags, UINT textId, const Args&... args) {
        return Report(caption, flags, zentrel::FormatText(LoadText(textId), args...));
    }
    // A file that cannot be used: "File: '<path>'", the platform's text and
    // the detail, when there is one, on a line of its own.
    void ReportFileError(const char* path, DWORD code, const char* caption, const std::string& detail = std::string());
    Reporter& Outcomes() { return m_reporter; }
    // Whether every operation asked for so far completed (batch exit code).
    BOOL Succeeded() const { return m_reporter.Completed() ? TRUE : FALSE; }
    void ResetOutcome() { m_reporter.Reset(); }
    void MarkFailed() { m_reporter.Fail(); }
    // A run that waits says so while it waits: the batch run on its error
    // stream, the window in its status line.
    virtual void ShowWaiting(const std::string& text);
    // A string resource, empty when missing.
    static std::string LoadText(UINT id);
    static std::string SystemErrorText(LONG code);

    // The connection to a place, made anew unless it is the one held;
    // FALSE, reported, when that fails.
    BOOL ConnectTo(const RegistryPlace& place);
    // Connects to the scope's view on the computer, which m_szRemoteSystem
    // then holds. Quiet: a refused connection or a missing ODBC section
    // fails without a message (a second view, whose first is reported on its own).
    // What ConnectToRemoteSystem returns when a run that only compares
    // finds no section: nothing reported, nothing made.
    static const int kNoSection = -9;
    int ConnectToRemoteSystem(const std::string& computer, BOOL systemScope, zentrel::Platform platform,
                              bool quiet = false);
    // Set while a missing ODBC section means nothing to act on: it is then
    // neither offered for creation nor made (kNoSection is returned).
    bool m_bSectionNotMade = false;
    void CloseConnection();
    // The threads for registry calls made several at once, started once for
    // all of the run's phases: each set of threads costs memory of its own.
    // None while the test seams need the calls in one order.
    ParallelCalls& Calls();

    ScopePlace where;  // set by the caller before each operation
    RunFacts facts;

    char m_szDsiFile[zentrel::kDsiPathBytes + 1];  // the file an export or import works on
    char m_szRemoteSystem[261];
    // Whose hive the User scope's connection opened under HKEY_USERS
    // ("DOMAIN\name"); empty when it is HKEY_CURRENT_USER or the System scope.
    std::string m_strHiveAccount;
    // Released by CloseConnection in this order: the root, then the section.
    RegKey m_hRootKey;
    RegKey m_hOdbcIniKey;
    RegistryPlace m_placeConnected;  // of the connection held
    // The attribute table: the rows of the source listed last.
    std::vector<AttributeRow> m_aAttributeRows;  // grows as needed; never cut
    int m_nAttributeRows;
    // The last listing left keys out (a registry link, or nesting too deep):
    // the table does not hold the whole source.
    BOOL m_bListingIncomplete;
    std::vector<ListingProblem> m_listingProblems;  // of the last listing
    std::string m_strListedDsn;  // the source of the last listing
    // An export in progress: the file, built in memory and written once at
    // the end, and the driver entries' key, opened once per connection.
    struct PendingExport {
        zentrel::ProfileFile file;
        zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;  // kept when the file is written
        RegKey driverEntries;
        RegistryPlace driverEntriesPlace;
        std::string driverEntriesProblem;  // why they cannot be read; empty when they can
        bool withholdSecrets = false;      // secret values left out, each named in a comment
    };
    std::unique_ptr<PendingExport> m_pendingExport;
    int m_nDsnSection;
    // The exports that begin from now on leave secret values out (backups never do).
    bool m_bWithholdSecrets = false;

private:
    int OpenSection(BOOL systemScope, zentrel::Platform platform, bool quiet);
    int OpenUserHive(const RegKey& users, bool quiet);

    std::unique_ptr<Prompts> m_prompts;
    Reporter m_reporter;
    std::unique_ptr<ParallelCalls> m_calls;
};
