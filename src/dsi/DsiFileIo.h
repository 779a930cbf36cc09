// Whole-file access for DSI files: one read per import, one write per export.
#pragma once
#include <windows.h>

#include <string>

namespace zentrel {

// Paths of at most 259 characters (UTF-16 units, as the platform counts
// them); a longer path is refused rather than cut to another file's name.
const size_t kMaxDsiPath = 259;
// Bytes that hold such a path in the program's code page (UTF-8: at most
// three bytes a unit) and its terminator.
const size_t kDsiPathBytes = kMaxDsiPath * 3 + 1;
// Whether a path is longer than that.
bool DsiPathTooLong(const char* path);

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

// The code page of files without a byte-order mark: the system's default
// ANSI code page, whatever code page this program runs in.
UINT DsiAnsiCodePage();

// Reads the whole file as text in the program's code page: UTF-16 of either
// byte order and UTF-8 with their byte-order marks are converted, a file
// without one is read in the system's ANSI code page (DsiAnsiCodePage). A
// character without a form of its own in the ANSI code page is not guessed:
// the result is ERROR_NO_UNICODE_TRANSLATION, with *problem saying where.
// Returns 0 or the platform's error code.
DWORD ReadDsiText(const char* path, std::string& text, DsiEncoding* encoding, DsiTextProblem* problem);

// Text in the program's code page as the bytes of a file of the encoding,
// byte-order mark first. An ANSI file is written in the system's code page
// when every character has an exact form there; otherwise *encoding becomes
// UTF-16 LE and the whole file is written so. Returns 0, or
// ERROR_NO_UNICODE_TRANSLATION when the text holds bytes that are no
// character of the program's code page.
DWORD EncodeDsiText(std::string&& text, DsiEncoding* encoding, std::string& bytes);

// Writes the bytes to a new file beside the target, then puts it in the
// target's place, so that the target is either the old file or the complete
// new one. Returns 0 or the platform's error code; on failure the target is
// untouched and no temporary file is left.
DWORD ReplaceDsiFile(const char* path, const std::string& bytes);

// True when the path names an existing file (not a directory).
bool DsiFileExists(const char* path);

}  // namespace zentrel
