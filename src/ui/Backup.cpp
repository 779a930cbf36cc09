#include "ui/Backup.h"

#include <shlobj.h>

#include <cstring>

#include "core/BackupNames.h"
#include "dsi/DsiFileIo.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/resource.h"

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

bool WriteBackup(MainWindow& window, const std::vector<BackedUpSource>& sources, std::string* path) {
    if (sources.empty()) return true;
    std::string folder;
    DWORD code = BackupFolder(folder);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const zentrel::BackupTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    // Several changes within one second each keep their own file.
    for (int attempt = 1; code == 0; ++attempt) {
        *path = folder + "\\" + zentrel::BackupFileName(time, sources[0].first.systemScope != FALSE, attempt);
        if (!zentrel::DsiFileExists(path->c_str())) break;
        if (attempt == 1000) code = ERROR_FILE_EXISTS;
    }
    if (code == 0 && zentrel::DsiPathTooLong(path->c_str())) code = ERROR_FILENAME_EXCED_RANGE;
    if (code != 0) {
        window.Report("Backup", MB_OK | MB_ICONSTOP, IDS_BACKUP_FAILED, folder, MainWindow::SystemErrorText(code));
        return false;
    }

    // The export works on the window's file; the user's own is kept. What
    // export leaves out of a source (a link, a name no file can carry) is
    // left out of the backup too, without a word: the backup holds what an
    // export would, and the change it guards is not stopped by it.
    const std::string userFile = window.m_szDsiFile;
    strcpy(window.m_szDsiFile, path->c_str());
    const BOOL succeeded = window.Succeeded();
    std::unique_ptr<Prompts> prompts = window.SetPrompts(std::unique_ptr<Prompts>(new QuietPrompts(NULL)));
    bool written = window.BeginDsiExport((int)sources.size(), FALSE) != FALSE;
    for (size_t i = 0; written && i < sources.size(); ++i) {
        // Each from its own view, which its section then names.
        written = window.ConnectTo(sources[i].first) != FALSE;
        if (!written) break;
        window.FillSubTree(window.m_hOdbcIniKey, sources[i].second.c_str(), nullptr);
        window.ExportDsn(sources[i].second.c_str());
    }
    written = written && window.FinishDsiExport();
    window.SetPrompts(std::move(prompts));
    if (succeeded) window.ResetOutcome();
    strcpy(window.m_szDsiFile, userFile.c_str());
    if (!written) {
        window.Report("Backup", MB_OK | MB_ICONSTOP, IDS_BACKUP_INCOMPLETE, *path);
        return false;
    }
    DeleteOldBackups(folder);
    return true;
}
