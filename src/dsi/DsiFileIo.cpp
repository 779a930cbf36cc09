#include "dsi/DsiFileIo.h"

#include <cstring>

#include "framework/Handle.h"

namespace zentrel {
namespace {

// Calls larger than this gain nothing and some file systems refuse them.
const DWORD kChunk = 1u << 20;

DWORD LastErrorOr(DWORD fallback) {
    const DWORD code = ::GetLastError();
    return code != 0 ? code : fallback;
}

}  // namespace

bool DsiFileExists(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD ReadWholeDsiFile(const char* path, std::string& bytes) {
    bytes.clear();
    FileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    if (!file.Valid()) return LastErrorOr(ERROR_OPEN_FAILED);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size)) return LastErrorOr(ERROR_READ_FAULT);
    if (static_cast<unsigned long long>(size.QuadPart) >= bytes.max_size()) return ERROR_NOT_ENOUGH_MEMORY;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD ask = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        DWORD got = 0;
        if (!::ReadFile(file.Get(), &bytes[done], ask, &got, NULL)) return LastErrorOr(ERROR_READ_FAULT);
        if (got == 0) break;  // the file shrank while being read
        done += got;
    }
    bytes.resize(done);
    return 0;
}

DWORD ReplaceDsiFile(const char* path, const std::string& bytes) {
    // The temporary file lives in the target's own directory, so that the
    // final rename never crosses volumes.
    std::string directory(path);
    const size_t slash = directory.find_last_of("\\/");
    if (slash == std::string::npos) {
        directory = ".";
    } else if (slash == 0 || (slash == 2 && directory[1] == ':')) {
        directory.resize(slash + 1);  // the root keeps its separator
    } else {
        directory.resize(slash);
    }
    char temporary[MAX_PATH];
    if (::GetTempFileNameA(directory.c_str(), "zdi", 0, temporary) == 0) return LastErrorOr(ERROR_CANNOT_MAKE);

    DWORD code = 0;
    {
        FileHandle file(::CreateFileA(temporary, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
        if (!file.Valid()) {
            code = LastErrorOr(ERROR_OPEN_FAILED);
        } else {
            size_t done = 0;
            while (code == 0 && done < bytes.size()) {
                const size_t left = bytes.size() - done;
                const DWORD ask = left < kChunk ? static_cast<DWORD>(left) : kChunk;
                DWORD written = 0;
                if (!::WriteFile(file.Get(), bytes.data() + done, ask, &written, NULL)) {
                    code = LastErrorOr(ERROR_WRITE_FAULT);
                } else if (written == 0) {
                    code = ERROR_WRITE_FAULT;
                } else {
                    done += written;
                }
            }
            if (code == 0 && !::FlushFileBuffers(file.Get())) code = LastErrorOr(ERROR_WRITE_FAULT);
            if (!file.Close() && code == 0) code = LastErrorOr(ERROR_WRITE_FAULT);
        }
    }
    if (code == 0 && !::MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = LastErrorOr(ERROR_WRITE_FAULT);
    if (code != 0) ::DeleteFileA(temporary);
    return code;
}

}  // namespace zentrel
