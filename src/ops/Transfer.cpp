#include "ops/Transfer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/DsiCodec.h"
#include "core/ImportPlan.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "ops/Backup.h"
#include "ops/Export.h"
#include "ops/Prompts.h"
#include "ops/RunContext.h"
#include "registry/InstalledDrivers.h"

TemporaryDsi::TemporaryDsi(const std::string& name) {
    char folder[MAX_PATH + 1] = "";
    const DWORD length = ::GetTempPathA(sizeof(folder), folder);
    if (length > 0 && length < sizeof(folder)) m_path = std::string(folder) + name;
    // An export adds to what a file holds: a file left by an earlier run
    // would bring its sources along.
    if (!m_path.empty()) ::DeleteFileA(m_path.c_str());
}

TemporaryDsi::~TemporaryDsi() {
    if (!m_path.empty()) ::DeleteFileA(m_path.c_str());
}

bool DriverCheckLines(RunContext& run, const char* file, const ScopePlace& to, std::string& lines) {
    PlannedFile planned;
    if (!ReadPlannedFile(run, file, to, nullptr, planned)) return false;
    InstalledDrivers installed(to.computer);
    for (int i : planned.count.indices) {
        const zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(planned.dsi, i, planned.target);
        if (plan.fileName.empty()) continue;
        lines += "driver\t" + zentrel::EscapeControls(plan.name) + "\t" + zentrel::EscapeControls(plan.driver) + "\t" +
                 zentrel::PlatformColumn(plan.platform, installed.Check(plan.platform, plan.driver)) + "\r\n";
    }
    return true;
}

namespace {

// The run's preview goes into a text while it lives.
class PreviewCapture {
public:
    PreviewCapture(RunContext& run, std::string& text) : m_run(run), m_before(run.facts.previewInto) {
        run.facts.previewInto = &text;
    }
    ~PreviewCapture() { m_run.facts.previewInto = m_before; }
    PreviewCapture(const PreviewCapture&) = delete;
    PreviewCapture& operator=(const PreviewCapture&) = delete;

private:
    RunContext& m_run;
    std::string* m_before;
};

// The sources into a new file; false when none of them reached it.
bool ExportInto(RunContext& run, const std::vector<PlacedSource>& sources, const std::string& path) {
    if (path.empty() || zentrel::DsiPathTooLong(path.c_str())) {
        run.ReportFileError(path.c_str(), ERROR_FILENAME_EXCED_RANGE, "Copy");
        return false;
    }
    strcpy(run.m_szDsiFile, path.c_str());
    if (!BeginExport(run, (int)sources.size())) return false;
    for (const PlacedSource& source : sources) ExportListed(run, source.place, source.name);
    return FinishExport(run) && run.m_nDsnSection > 0;
}

}  // namespace

void PreviewImportText(RunContext& run, const char* file, std::string& text) {
    PreviewCapture capture(run, text);
    ImportNamedFile(run, file);
}

ImportSummary CopySources(RunContext& run, const std::vector<PlacedSource>& sources, const ScopePlace& to,
                          const TransferConfirm& confirm) {
    TemporaryDsi file("zentrel-copy.dsi");
    if (!ExportInto(run, sources, file.Path())) return ImportSummary();
    run.where = to;
    std::string checks;
    if (!DriverCheckLines(run, file.Path().c_str(), to, checks)) return ImportSummary();
    if (confirm) {
        std::string preview;
        PreviewImportText(run, file.Path().c_str(), preview);
        if (!confirm(checks, preview)) return ImportSummary();
    } else {
        WriteStreamText(run.facts.out, run.facts.OutputLines(checks));
    }
    run.where = to;
    return ImportNamedFile(run, file.Path().c_str());
}

bool WritePickedSources(RunContext& run, const char* file, const std::vector<bool>& picked, const char* into) {
    zentrel::ProfileFile dsi;
    zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;
    long long lines = 0;
    if (!ReadDsiFile(run, file, "Restore", nullptr, dsi, &encoding, &lines)) return false;
    const zentrel::DsiFileCount count = zentrel::ReadDsiFileCount(dsi);
    zentrel::ProfileFile out;
    out.Set("General", "Items", "0");
    int written = 0;
    bool whole = true;
    for (size_t k = 0; k < count.indices.size() && k < picked.size(); ++k) {
        if (!picked[k]) continue;
        // The section as the import reads it: "DSN#n" before "DSN n".
        std::string section = zentrel::DsiIndexedName("DSN#%d", count.indices[k]), name;
        if (!dsi.Get(section, "DSN", name)) section = zentrel::DsiIndexedName("DSN%d", count.indices[k]);
        const std::string copy = zentrel::DsiIndexedName("DSN%d", written++);
        dsi.ForEachKey(section, [&](std::string_view key, std::string_view value, bool hasValue) {
            if (hasValue && !out.Set(copy, std::string(key), std::string(value))) whole = false;
        });
    }
    out.Set("General", "Items", std::to_string(written));
    std::string bytes;
    DWORD code = whole ? zentrel::EncodeDsiText(out.Serialize(), &encoding, bytes) : (DWORD)ERROR_INVALID_DATA;
    if (code == 0) code = zentrel::ReplaceDsiFile(into, bytes);
    if (code != 0) run.ReportFileError(into, code, "Restore");
    return code == 0;
}

std::vector<BackupEntry> ListBackups() {
    std::vector<BackupEntry> backups;
    std::string folder;
    if (BackupFolder(folder) != 0) return backups;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*.dsi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return backups;
    do {
        BackupEntry entry;
        entry.name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !zentrel::ReadBackupFileName(entry.name, &entry.parts))
            continue;
        entry.path = folder + "\\" + entry.name;
        backups.push_back(std::move(entry));
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    for (BackupEntry& entry : backups) {
        std::string text;
        zentrel::DsiEncoding encoding;
        zentrel::DsiTextProblem problem;
        if (zentrel::ReadDsiText(entry.path.c_str(), text, &encoding, &problem) != 0) continue;
        zentrel::ProfileFile dsi;
        dsi.Parse(std::move(text));
        const zentrel::DsiFileCount count = zentrel::ReadDsiFileCount(dsi);
        if (count.present && count.valid) entry.sources = (int)count.indices.size();
    }
    // The names sort by time, and within one second by their number.
    std::sort(backups.begin(), backups.end(), [](const BackupEntry& a, const BackupEntry& b) {
        return a.name.substr(0, 15) != b.name.substr(0, 15) ? a.name > b.name : a.name.size() > b.name.size();
    });
    return backups;
}

bool ListFileSources(RunContext& run, const char* file, bool systemScope, std::vector<FileSource>& sources) {
    ScopePlace where;
    where.systemScope = systemScope ? TRUE : FALSE;
    PlannedFile planned;
    if (!ReadPlannedFile(run, file, where, nullptr, planned)) return false;
    for (int i : planned.count.indices) {
        const zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(planned.dsi, i, planned.target);
        sources.push_back(FileSource{plan.fileName, plan.platform});
    }
    return true;
}
