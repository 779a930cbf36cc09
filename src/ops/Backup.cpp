#include "ops/Backup.h"

#include <shlobj.h>

#include "core/BackupNames.h"
#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ImportPlan.h"
#include "core/ProfileFile.h"
#include "core/RegistryLimits.h"
#include "core/ValueFormat.h"
#include "dsi/DsiFileIo.h"
#include "dsi/ExportSource.h"
#include "registry/Attributes.h"
#include "registry/OdbcSection.h"
#include "registry/ParallelCalls.h"
#include "registry/Views.h"
#include "ops/Compare.h"
#include "ops/RunContext.h"
#include "res/resource.h"

namespace {

DWORD MakeFolder(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), NULL)) return 0;
    const DWORD code = ::GetLastError();
    return code == ERROR_ALREADY_EXISTS ? 0 : code;
}

void DeleteOldBackups(const std::string& folder, const std::string& latest) {
    std::vector<zentrel::BackupFile> files;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*.dsi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        zentrel::BackupFile file;
        file.name = found.cFileName;
        file.written = ((unsigned long long)found.ftLastWriteTime.dwHighDateTime << 32) |
                       found.ftLastWriteTime.dwLowDateTime;
        files.push_back(file);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    for (const std::string& name : zentrel::BackupsBeyond(files, zentrel::kBackupsKept, latest))
        ::DeleteFileA((folder + "\\" + name).c_str());
}

// What a listing could not read, as the user reads it.
std::string ProblemText(const ListingProblem& problem, const std::string& key) {
    switch (problem.kind) {
    case ListingProblem::Kind::Unreadable:
        return RunContext::SystemErrorText(problem.code);
    case ListingProblem::Kind::Link:
        return zentrel::FormatText(RunContext::LoadText(IDS_KEY_LINK), zentrel::ShownName(key));
    case ListingProblem::Kind::NotCarried:
    case ListingProblem::Kind::ZeroName:
        return zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_NAME_NOT_CARRIED),
                                   zentrel::ShownName(zentrel::VisibleZeros(problem.name)));
    default:
        return zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_TOO_DEEP), (int)zentrel::kMaxDsnDepth);
    }
}

}  // namespace

bool SourceImage::operator==(const SourceImage& other) const {
    zentrel::SourceDefinition a, b;
    a.driver = driver;
    a.entries = entries;
    b.driver = other.driver;
    b.entries = other.entries;
    return entries.size() == other.entries.size() && zentrel::CompareSource(a, b).empty();
}

bool ReadSourceImage(HKEY odbc, REGSAM view, const std::string& name, SourceImage* image, std::string* key,
                     std::string* why, std::vector<AttributeRow>* rows, HKEY opened) {
    AttributeListing listing = ListAttributes(odbc, name, view);
    // A link, the source itself or a key in it, holds nothing of its own:
    // what it points at is not this source's, and is never changed through
    // it. Anything else left out is.
    const ListingProblem* problem = nullptr;
    for (const ListingProblem& met : listing.problems)
        if (problem == nullptr && met.kind != ListingProblem::Kind::Link) problem = &met;
    if (listing.incomplete && (problem != nullptr || listing.problems.empty())) {
        const ListingProblem first = problem != nullptr ? *problem : ListingProblem();
        *key = first.prefix.empty() ? name : name + "\\" + first.prefix;
        *why = problem == nullptr ? RunContext::SystemErrorText(ERROR_READ_FAULT) : ProblemText(first, *key);
        return false;
    }
    image->entries = EntriesOf(listing.rows, listing.rows.size());
    image->stamp = listing.problems.empty() ? listing.stamp : KeyStamp();
    if (rows != nullptr) *rows = std::move(listing.rows);
    RegKey own;
    bool entriesLink = false;
    LONG code = opened != NULL ? ERROR_SUCCESS : OpenDriverEntries(odbc, KEY_READ | view, own, &entriesLink);
    const HKEY entries = opened != NULL ? opened : own.Get();
    image->driver.clear();
    if (code == ERROR_SUCCESS && entriesLink) {
        *key = kDriverEntriesKey;
        *why = zentrel::FormatText(RunContext::LoadText(IDS_KEY_LINK), kDriverEntriesKey);
        return false;
    }
    if (code == ERROR_SUCCESS) code = RegKey::QueryText(entries, name.c_str(), image->driver);
    // No entry at all is a source without a driver, which a file carries.
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) {
        *key = std::string(kDriverEntriesKey) + "\\" + name;
        *why = RunContext::SystemErrorText(code);
        return false;
    }
    if (HoldsLineBreak(name) || HoldsLineBreak(image->driver)) {
        *key = name;
        *why = RunContext::LoadText(IDS_BACKUP_LINE_BREAK);
        return false;
    }
    return true;
}

DWORD BackupFolder(std::string& folder) {
    char base[MAX_PATH + 1] = "";
    const DWORD length = ::GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof(base));
    if (length == 0 || length >= sizeof(base)) {
        const HRESULT result = ::SHGetFolderPathA(NULL, CSIDL_LOCAL_APPDATA, NULL, SHGFP_TYPE_CURRENT, base);
        if (FAILED(result)) return ERROR_PATH_NOT_FOUND;
    }
    folder = std::string(base) + "\\Zentrel";
    DWORD code = MakeFolder(folder);
    if (code != 0) return code;
    folder += "\\Backups";
    return MakeFolder(folder);
}

namespace {

// A source as read for the backup, before it is added to the file.
struct BackupRead {
    bool whole = false;
    std::string key, why;
    std::vector<AttributeRow> rows;
};

// Adds source i, read whole, to the file; false, told, when the file cannot
// carry it whole.
bool AddToFile(RunContext& run, const BackedUpSource& source, const SourceImage& image, BackupRead& read,
               zentrel::ProfileFile& file, int index) {
    const std::string& name = source.second;
    const std::string section = zentrel::DsiIndexedName("DSN%d", index);
    const zentrel::Platform platform = source.first.platform;
    const std::vector<std::string> leftOut =
        WriteDsiSource(file, section, name, image.driver, source.first.systemScope ? &platform : nullptr, read.rows,
                       read.rows.size());
    read.rows = std::vector<AttributeRow>();
    if (leftOut.empty()) return true;
    file.RemoveSections([&](const std::string& s) { return s == section; });
    run.Fail("Backup", IDS_BACKUP_REFUSED, zentrel::ShownName(name), zentrel::ShownName(name),
             zentrel::FormatText(RunContext::LoadText(IDS_BACKUP_NAME_NOT_CARRIED),
                                 zentrel::ShownName(zentrel::VisibleZeros(leftOut[0]))));
    return false;
}

// Every source read whole into the file, or refused by name; the indices of
// those written go to `written`. False when a place cannot be connected.
bool ReadIntoFile(RunContext& run, const std::vector<BackedUpSource>& sources, BackupOutcome* outcome,
                  zentrel::ProfileFile& file, std::vector<size_t>& written, const BackupNeedless& needless) {
    ParallelCalls calls(RegistryCallOrderFree() ? ParallelCalls::kThreads : 0);
    // The driver entries' key of the place read last, open from batch to
    // batch; none where it is missing or a link, which the reading reports.
    RegKey entries;
    const RegistryPlace* entriesOf = nullptr;
    for (size_t from = 0; from < sources.size();) {
        // The sources of one place are read several at once, told of in order.
        const RegistryPlace& place = sources[from].first;
        if (!run.ConnectTo(place)) return false;
        size_t to = from + 1;
        while (to < sources.size() && to - from < ParallelCalls::kReadTogether && sources[to].first == place)
            ++to;
        const REGSAM view = ViewFlag(place.platform);
        if (entriesOf == nullptr || !(*entriesOf == place)) {
            entriesOf = &place;
            bool isLink = false;
            if (OpenDriverEntries(run.m_hOdbcIniKey, KEY_READ | view, entries, &isLink) != ERROR_SUCCESS || isLink)
                entries.Close();
        }
        std::vector<BackupRead> reads(to - from);
        const HKEY odbc = run.m_hOdbcIniKey;
        calls.Run(reads.size(), [&](size_t k) {
            BackupRead& read = reads[k];
            read.whole = ReadSourceImage(odbc, view, sources[from + k].second, &outcome->images[from + k], &read.key,
                                         &read.why, &read.rows, entries);
        });
        for (size_t i = from; i < to; ++i) {
            BackupRead& read = reads[i - from];
            SourceImage& image = outcome->images[i];
            if (!read.whole) {
                run.Fail("Backup", IDS_BACKUP_REFUSED, zentrel::ShownName(sources[i].second),
                         zentrel::ShownName(read.key), read.why);
            } else if (needless && needless(i, image)) {
                image.leftOut = true;
                // Nothing compares it again: its entries would only hold memory.
                image.entries = std::vector<zentrel::SourceEntry>();
                outcome->held[i] = true;
            } else if (AddToFile(run, sources[i], image, read, file, (int)written.size())) {
                written.push_back(i);
            }
        }
        from = to;
    }
    return true;
}

// A new file's name in the backup folder, which names the computer when it is
// one of many; 0 or the platform's error code.
DWORD NewBackupPath(bool systemScope, const std::string& computer, std::string& folder, std::string& name,
                    std::string& path) {
    DWORD code = BackupFolder(folder);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const zentrel::BackupTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    // Several changes within one second each keep their own file.
    for (int attempt = 1; code == 0; ++attempt) {
        name = zentrel::BackupFileName(time, systemScope, attempt, computer);
        path = folder + "\\" + name;
        if (!zentrel::DsiFileExists(path.c_str())) break;
        if (attempt == 1000) code = ERROR_FILE_EXISTS;
    }
    if (code == 0 && zentrel::DsiPathTooLong(path.c_str())) code = ERROR_FILENAME_EXCED_RANGE;
    return code;
}

// Writes the file, then reads it back as an import would; 0 or the
// platform's error code. The file and its bytes are let go before the
// reading: each is as large as what is read back.
DWORD WriteAndReadBack(const std::string& path, zentrel::ProfileFile& file, zentrel::ProfileFile& back,
                       long long* lines) {
    zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;
    std::string bytes;
    DWORD code = zentrel::EncodeDsiText(file.Serialize(), &encoding, bytes);
    file.Parse(std::string());
    if (code == 0) code = zentrel::ReplaceDsiFile(path.c_str(), bytes);
    bytes = std::string();
    std::string text;
    zentrel::DsiTextProblem problem;
    if (code == 0) code = zentrel::ReadDsiText(path.c_str(), text, &encoding, &problem);
    if (code != 0) return code;
    *lines = 1;
    for (char c : text)
        if (c == '\n' || c == '\r') ++*lines;
    back.Parse(std::move(text));
    return 0;
}

// Whether the file's k-th source, as an import would plan it, restores the
// source as it was read.
bool Restores(const zentrel::ProfileFile& back, const zentrel::DsiImportTarget& target, bool readable, size_t k,
              const BackedUpSource& source, const SourceImage& image) {
    zentrel::DsiSourcePlan plan;
    if (readable) {
        plan = zentrel::PlanDsiSource(back, (int)k, target);
        zentrel::PlanDsiSourceRows(back, target, plan);
    }
    SourceImage restored, held = image;
    restored.driver = plan.driver;
    restored.entries = FileEntries(plan.rows);
    // A link's target value planted in a key that is no link is never
    // written back by an import: like a link, it holds no data.
    size_t planted = 0;
    for (size_t e = held.entries.size(); e-- > 0;) {
        if (held.entries[e].type == REG_LINK &&
            zentrel::SameAsciiIgnoringCase(held.entries[e].valueName, "SymbolicLinkValue")) {
            held.entries.erase(held.entries.begin() + (long)e);
            ++planted;
        }
    }
    return plan.refusal == zentrel::DsiRefusal::None && plan.name == source.second &&
           (!target.systemScope || plan.platform == source.first.platform) && plan.rows.problems.size() == planted &&
           plan.rows.missing == 0 && restored == held;
}

}  // namespace

bool WriteBackup(RunContext& run, const std::vector<BackedUpSource>& sources, BackupOutcome* outcome,
                 const BackupNeedless& needless) {
    outcome->path.clear();
    outcome->held.assign(sources.size(), false);
    outcome->images.assign(sources.size(), SourceImage());
    if (sources.empty()) return true;
    zentrel::ProfileFile file;
    std::vector<size_t> written;
    if (!ReadIntoFile(run, sources, outcome, file, written, needless)) return false;
    if (written.empty()) return true;
    file.Set("General", "Items", std::to_string(written.size()));

    const bool systemScope = sources[0].first.systemScope != FALSE;
    std::string folder, name;
    const DWORD code = NewBackupPath(systemScope, run.facts.manyComputers ? run.where.computer : std::string(), folder,
                                     name, outcome->path);
    if (code != 0) {
        run.Fail("Backup", IDS_BACKUP_FAILED, folder, RunContext::SystemErrorText(code));
        return false;
    }
    // Read back as an import would read it: what it would restore must be
    // what was read from the registry.
    zentrel::ProfileFile back;
    zentrel::DsiImportTarget target;
    if (WriteAndReadBack(outcome->path, file, back, &target.maxRows) != 0) {
        run.Fail("Backup", IDS_BACKUP_INCOMPLETE, outcome->path);
        return false;
    }
    target.systemScope = systemScope;
    target.own = OwnPlatform();
    target.reserved = [](const std::string& n) { return IsReservedDsnName(n.c_str()); };
    const zentrel::DsiFileCount count = zentrel::ReadDsiFileCount(back);
    const bool readable = count.valid && (size_t)count.announced == written.size();
    for (size_t k = 0; k < written.size(); ++k) {
        const size_t i = written[k];
        if (Restores(back, target, readable, k, sources[i], outcome->images[i])) {
            outcome->held[i] = true;
        } else {
            run.Fail("Backup", IDS_BACKUP_MISMATCH, outcome->path, zentrel::ShownName(sources[i].second));
        }
    }
    DeleteOldBackups(folder, name);
    return true;
}
