#include "ops/Backup.h"

#include <shlobj.h>

#include <cstring>

#include "core/BackupNames.h"
#include "dsi/DsiFileIo.h"
#include "ops/Export.h"
#include "ops/Prompts.h"
#include "ops/RunContext.h"
#include "res/resource.h"

namespace {

DWORD MakeFolder(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), NULL)) return 0;
    const DWORD code = ::GetLastError();
    return code == ERROR_ALREADY_EXISTS ? 0 : code;
}

void DeleteOldBackups(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((folder + "\\*.dsi").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    for (const std::string& name : zentrel::BackupsBeyond(names, zentrel::kBackupsKept))
        ::DeleteFileA((folder + "\\" + name).c_str());
}

}  // namespace

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

// The backup's file: new, named by the time, the scope and, of one of many
// computers, the computer. Returns 0 or the platform's error code.
DWORD NewBackupPath(const std::vector<BackedUpSource>& sources, const std::string& computer, std::string& folder,
                    std::string* path) {
    DWORD code = BackupFolder(folder);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const zentrel::BackupTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    // Several changes within one second each keep their own file.
    for (int attempt = 1; code == 0; ++attempt) {
        *path = folder + "\\" + zentrel::BackupFileName(time, sources[0].first.systemScope != FALSE, attempt, computer);
        if (!zentrel::DsiFileExists(path->c_str())) break;
        if (attempt == 1000) code = ERROR_FILE_EXISTS;
    }
    if (code == 0 && zentrel::DsiPathTooLong(path->c_str())) code = ERROR_FILENAME_EXCED_RANGE;
    return code;
}

}  // namespace

bool WriteBackup(RunContext& run, const std::vector<BackedUpSource>& sources, std::string* path) {
    if (sources.empty()) return true;
    std::string folder;
    const DWORD code = NewBackupPath(sources, run.facts.manyComputers ? run.where.computer : std::string(), folder, path);
    if (code != 0) {
        run.Fail("Backup", IDS_BACKUP_FAILED, folder, RunContext::SystemErrorText(code));
        return false;
    }
    // A context of its own, telling nobody: what export leaves out of a
    // source (a link, a name no file can carry) is left out of the backup
    // too, without a word. The backup holds what an export would, and the
    // change it guards is not stopped by it.
    RunContext backup(std::unique_ptr<Prompts>(new QuietPrompts(NULL)));
    backup.facts = run.facts;
    strcpy(backup.m_szDsiFile, path->c_str());
    bool written = BeginExport(backup, (int)sources.size());
    for (size_t i = 0; written && i < sources.size(); ++i) {
        // Each from its own view, which its section then names.
        written = backup.ConnectTo(sources[i].first) != FALSE;
        if (written) ExportListed(backup, sources[i].first, sources[i].second);
    }
    if (!written || !FinishExport(backup)) {
        run.Fail("Backup", IDS_BACKUP_INCOMPLETE, *path);
        return false;
    }
    DeleteOldBackups(folder);
    return true;
}
