#include <memory>
#include <string>

#include "app/ManagerApp.h"
#include "ui/Compare.h"
#include "framework/Handle.h"
#include "registry/InstalledDrivers.h"
#include "registry/RegKey.h"
#include "core/ValueFormat.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

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

// A tab or a line break inside a name would split the listing's columns or
// lines, and other control characters reach the terminal: all are shown escaped.
std::string Field(const std::string& text) { return zentrel::EscapeControls(text); }

}  // namespace

int ManagerApp::RunBatch(MainWindow& window) {
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

    if (m_bQuiet || m_bConsoleProgram) {
        window.SetPrompts(std::unique_ptr<Prompts>(new QuietPrompts(m_hConsoleErr)));
    } else {
        WriteConsoleText(MainWindow::LoadText(IDS_BANNER).c_str(), FALSE);
    }

    for (std::string* file : {&m_strFileName, &m_strCompareFile}) {
        if (file->find('\\') != std::string::npos) continue;
        char directory[260];
        const DWORD length = ::GetCurrentDirectoryA(sizeof(directory), directory);
        // A directory too long for the buffer reports the size it needs instead.
        if (length > 0 && length < sizeof(directory)) *file = std::string(directory) + "\\" + *file;
    }

    window.ResetOutcome();
    const BOOL systemScope = m_bUserScope ? FALSE : TRUE;
    if (m_bImport) window.ImportDsiFile(FALSE, m_strFileName.c_str(), systemScope);
    if (m_bExport) window.ExportScopeToFile(m_strFileName.c_str(), systemScope);
    if (m_bList) ListDataSources(window, m_bListUserScope ? FALSE : TRUE);
    int compared = kCompareIdentical;
    if (m_bCompare) {
        std::vector<zentrel::SourceComparison> comparisons;
        compared = CompareScopeWithFile(window, m_strCompareFile.c_str(), m_bCompareUserScope ? FALSE : TRUE,
                                        comparisons);
        WriteStreamText(m_hConsoleOut, zentrel::FormatComparison(comparisons));
    }

    if (compared == kCompareFailed) return 2;
    return window.Succeeded() && compared == kCompareIdentical ? 0 : 1;
}

void ManagerApp::ListDataSources(MainWindow& window, BOOL systemScope) {
    std::vector<ListedSource> sources;
    std::vector<std::string> unreachable;
    // A failed connection is reported there and fails the run.
    if (!window.CatalogueScope(window.PlaceOf(systemScope), sources, &unreachable)) return;
    window.ReportUnreachable(unreachable, "List", IDS_ZERO_NAME_NOT_LISTED);
    const char* scope = systemScope ? "System" : "User";
    std::string listing;
    for (const ListedSource& source : sources) {
        listing += Field(source.name) + "\t" + Field(source.driver) + "\t" + scope + "\t" +
                   zentrel::PlatformColumn(source.platform, source.check) + "\r\n";
    }
    WriteStreamText(m_hConsoleOut, listing);
}
