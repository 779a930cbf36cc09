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

// The encodings the platform's profile reader tells by a byte-order mark at
// the start of the file; a file without one is ANSI text.
enum class DsiEncoding { Ansi, Utf8, Utf16Le, Utf16Be };

// Where a file's text cannot be taken into the ANSI code page.
struct DsiTextProblem {
    unsigned long line = 0;       // from 1
    unsigned long column = 0;     // in characters, from 1
    unsigned long character = 0;  // the character found there, unless malformed
    bool malformed = false;       // bytes that are no character of the encoding
};

// The problem as one sentence of a message: where, and what.
std::string DescribeDsiTextProblem(const DsiTextProblem& problem, DsiEncoding encoding);

// Reads the whole file as text in the ANSI code page, as the platform's
// profile reader does: UTF-16 of either byte order and UTF-8 with their
// byte-order marks are converted, anything else is taken as it is. A
// character without a form of its own in the ANSI code page is not guessed:
// the result is ERROR_NO_UNICODE_TRANSLATION, with *problem saying where.
// Returns 0 or the platform's error code.
DWORD ReadDsiText(const char* path, std::string& text, DsiEncoding* encoding, DsiTextProblem* problem);

// Text in the ANSI code page as the bytes of a file of the encoding,
// byte-order mark first. Returns 0, or ERROR_NO_UNICODE_TRANSLATION when
// the text holds bytes that are no ANSI character.
DWORD EncodeDsiText(std::string&& text, DsiEncoding encoding, std::string& bytes);

// Writes the bytes to a new file beside the target, then puts it in the
// target's place, so that the target is either the old file or the complete
// new one. Returns 0 or the platform's error code; on failure the target is
// untouched and no temporary file is left.
DWORD ReplaceDsiFile(const char* path, const std::string& bytes);

// True when the path names an existing file (not a directory).
bool DsiFileExists(const char* path);

}  // namespace zentrel
