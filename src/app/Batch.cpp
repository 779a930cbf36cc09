#include <memory>
#include <string>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "app/Fleet.h"
#include "app/ManagerApp.h"
#include "core/ValueFormat.h"
#include "framework/Handle.h"
#include "ops/Compare.h"
#include "ops/Export.h"
#include "ops/Import.h"
#include "ops/Listing.h"
#include "ops/Remove.h"
#include "ops/RunContext.h"
#include "ops/Transfer.h"
#include "registry/Views.h"
#include "res/resource.h"

namespace {

// A stream the caller handed over: a console, a file or a pipe.
bool Usable(HANDLE stream) {
    return stream != NULL && stream != INVALID_HANDLE_VALUE && ::GetFileType(stream) != FILE_TYPE_UNKNOWN;
}

// The console of a windowed program's batch run: the one it was started
// from, or a new one when there is none; released when the run ends.
class BatchConsole {
public:
    BatchConsole()
        : m_bOpened(::AttachConsole(ATTACH_PARENT_PROCESS) || ::AllocConsole()),
          m_hOutput(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, 0, NULL)) {}
    ~BatchConsole() {
        m_hOutput.Close();
        if (m_bOpened) ::FreeConsole();
    }
    BatchConsole(const BatchConsole&) = delete;
    BatchConsole& operator=(const BatchConsole&) = delete;
    HANDLE Output() const { return m_hOutput; }

private:
    bool m_bOpened;
    FileHandle m_hOutput;
};

// -c: the sources of one place (or the one named) copied into another.
void CopyBetweenPlaces(RunContext& run, const zentrel::CommandLineSwitches& line) {
    ScopePlace from = run.BatchPlace(TRUE), to = from;
    bool fromSystem = false, toSystem = false;
    if (line.m_strCopyPlaces.size() != 2 || !zentrel::ReadCopyPlace(line.m_strCopyPlaces[0], &fromSystem, &from.view) ||
        !zentrel::ReadCopyPlace(line.m_strCopyPlaces[1], &toSystem, &to.view)) {
        run.Fail("Copy", IDS_COPY_PLACES, line.m_strCopyPlaces);
        return;
    }
    from.systemScope = fromSystem ? TRUE : FALSE;
    to.systemScope = toSystem ? TRUE : FALSE;
    from.oneView = fromSystem;
    to.oneView = toSystem;
    if (line.m_strCopyPlaces[0] == line.m_strCopyPlaces[1]) {
        run.Fail("Copy", IDS_COPY_PLACES, line.m_strCopyPlaces);
        return;
    }
    run.where = from;
    std::vector<ListedSource> listed;
    if (!CatalogueScope(run, from, listed)) return;
    std::vector<PlacedSource> sources;
    for (const ListedSource& source : listed) {
        if (!line.m_strCopyName.empty() && !SameKeyName(source.name.c_str(), line.m_strCopyName.c_str())) continue;
        RegistryPlace place = run.m_placeConnected;
        place.platform = source.platform;
        sources.push_back(PlacedSource{place, source.name});
    }
    if (sources.empty()) {
        run.Fail("Copy", IDS_COPY_NOTHING, zentrel::ShownName(line.m_strCopyName));
        return;
    }
    CopySources(run, sources, to, nullptr);
}

}  // namespace

int ManagerApp::RunBatch(RunContext& run) {
    // Streams the caller redirected are kept; the console program has its own.
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    std::unique_ptr<BatchConsole> console;
    if (!m_bConsoleProgram && !(Usable(out) && Usable(err))) {
        console.reset(new BatchConsole);
        if (!Usable(out)) out = console->Output();
        if (!Usable(err)) err = console->Output();
    }
    m_hConsoleOut = out;
    m_hConsoleErr = err;
    run.facts.commandLine = *this;
    run.facts.out = out;
    run.facts.err = err;

    if (m_bQuiet || m_bConsoleProgram) {
        run.SetPrompts(std::unique_ptr<Prompts>(new QuietPrompts(m_hConsoleErr)));
    } else {
        WriteConsoleText(RunContext::LoadText(IDS_BANNER).c_str(), FALSE);
    }

    for (std::string* file : {&m_strFileName, &m_strCompareFile}) {
        if (file->find('\\') != std::string::npos) continue;
        char directory[260];
        const DWORD length = ::GetCurrentDirectoryA(sizeof(directory), directory);
        // A directory too long for the buffer reports the size it needs instead.
        if (length > 0 && length < sizeof(directory)) *file = std::string(directory) + "\\" + *file;
    }
    run.ResetOutcome();
    if (!m_strBadSwitch.empty()) {
        run.Fail("Error", IDS_SWITCH_VALUE, m_strBadSwitch);
        return 1;
    }
    if (!ReadRemovalNames(run)) return 1;
    const zentrel::ComputerSwitch named = zentrel::ReadComputerSwitch(m_strRemoteSystem);
    if (named.many) return RunFleet(run, named);
    try {
        return RunOperations(run);
    } catch (const std::exception& e) {
        // Nothing is left half written: every change has its way back. Told
        // on the stream, not through prompts that may be what threw.
        run.MarkFailed();
        std::string text = zentrel::FormatText(RunContext::LoadText(IDS_UNEXPECTED_ERROR), e.what());
        for (char& c : text)
            if (c == '\n') c = ' ';
        WriteStreamText(m_hConsoleErr, "Error: " + zentrel::EscapeControls(text) + "\r\n");
        return 1;
    }
}

bool ManagerApp::ReadRemovalNames(RunContext& run) {
    m_removeNames.clear();
    for (const zentrel::RemovalSwitch& removal : m_removals) {
        if (!removal.fromFile) {
            m_removeNames.push_back(removal);
            continue;
        }
        std::string text;
        const DWORD code = ReadComputerListFile(removal.text.c_str(), text);
        // Nothing is removed on the strength of part of a list.
        if (code != 0) {
            run.ReportFileError(removal.text.c_str(), code, "Error");
            return false;
        }
        for (std::string& name : zentrel::NameLines(text)) {
            zentrel::RemovalSwitch one;
            one.userScope = removal.userScope;
            one.text = std::move(name);
            m_removeNames.push_back(std::move(one));
        }
    }
    return true;
}

int ManagerApp::RunOperations(RunContext& run, ComputerRun* computer) {
    const BOOL systemScope = m_bUserScope ? FALSE : TRUE;
    if (!m_removals.empty()) {
        const int removed = RemoveNamedSources(run, m_removeNames);
        if (computer && !m_bPreview) computer->counts.removed = removed;
    }
    run.where = run.BatchPlace(systemScope);
    if (m_bImport) ImportNamedFile(run, m_strFileName.c_str());
    if (m_bCopy) CopyBetweenPlaces(run, *this);
    if (m_bExport) {
        run.m_bWithholdSecrets = m_bWithholdSecrets != 0;
        const bool written = ExportScope(run, computer ? computer->exportFile.c_str() : m_strFileName.c_str());
        if (computer && written) computer->counts.exported = run.m_nDsnSection;
    }
    if (m_bList) {
        run.where = run.BatchPlace(m_bListUserScope ? FALSE : TRUE);
        std::string listing;
        if (ListScope(run, listing)) run.facts.WriteOut(run.facts.OutputLines(listing));
        if (computer) computer->counts.listed = (int)std::count(listing.begin(), listing.end(), '\n');
    }
    if (m_bListAccounts) {
        std::string listing;
        if (ListLoadedAccounts(run, listing)) WriteStreamText(m_hConsoleOut, run.facts.OutputLines(listing));
    }
    int compared = kCompareIdentical;
    if (m_bCompare) {
        run.where = run.BatchPlace(m_bCompareUserScope ? FALSE : TRUE);
        std::vector<zentrel::SourceComparison> comparisons;
        compared = CompareScopeWithFile(run, m_strCompareFile.c_str(), comparisons);
        // Many computers' differences come together in the drift report.
        if (computer) {
            computer->compared = compared;
            computer->comparisons = std::move(comparisons);
        } else {
            run.facts.WriteOut(zentrel::FormatComparison(comparisons));
        }
    }
    if (compared == kCompareFailed) return 2;
    return run.Succeeded() && compared == kCompareIdentical ? 0 : 1;
}
