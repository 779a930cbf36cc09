// Whole-file access for DSI files: one read per import, one write per export.
#pragma once
#include <windows.h>

#include <string>

namespace zentrel {

// Paths are held in buffers of 261 characters of which 259 are used; a longer
// path is refused rather than cut to another file's name.
const size_t kMaxDsiPath = 259;

// Reads the whole file. Returns 0 or the platform's error code.
DWORD ReadWholeDsiFile(const char* path, std::string& bytes);

// Writes the bytes to a new file beside the target, then puts it in the
// target's place, so that the target is either the old file or the complete
// new one. Returns 0 or the platform's error code; on failure the target is
// untouched and no temporary file is left.
DWORD ReplaceDsiFile(const char* path, const std::string& bytes);

// True when the path names an existing file (not a directory).
bool DsiFileExists(const char* path);

}  // namespace zentrel
