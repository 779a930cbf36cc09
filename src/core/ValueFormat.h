// Display text of registry values. Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zentrel {

struct FormattedValue {
    std::string valueText;  // "Value" column
    std::string typeText;   // "Type" column
    uint32_t dwordValue;    // meaningful for type 4 only
};

// Registry type codes used by the program (the platform's numbers).
enum : int32_t {
    kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegLink = 6, kRegMultiSz = 7,
    kRegQword = 11, kSubkeyRow = -1
};

// The 32-bit number of REG_DWORD data in the platform's byte order; short
// data gives what is there rather than being read past its end.
uint32_t LittleEndian32(const unsigned char* data, size_t size);
// Two's-complement reinterpretation without relying on implementation-defined casts.
int32_t AsSigned(uint32_t value);

// The one text codec of registry data: every byte as two upper-case hex
// digits, and the text a value holds up to its first zero byte (never read
// past size, which need not end in a zero).
std::string HexText(const unsigned char* data, size_t size);
std::string TextUpToZero(const unsigned char* data, size_t size);

// Names made only of ASCII characters, for which folding A-Z is the
// platform's own case rule; any other byte needs the platform's comparison.
bool IsPlainAscii(const std::string& text);
std::string AsciiLower(std::string text);
bool SameAsciiIgnoringCase(std::string_view a, std::string_view b);

// The value in which a registry link keeps its target, and whether a value
// is one like it (names compare without case). Only a key created as a link
// is followed; the value alone makes none, but would make a key look like one.
extern const char kLinkTargetValue[];
bool IsLinkTargetValue(const std::string& valueName, int32_t type);

// Text for a console or a log, with every control character (C0, DEL, and
// C1 as its two UTF-8 bytes C2 80..C2 9F) shown as \x and two lower-case hex
// digits, each byte of a C1 character in turn; every other byte, a backslash
// too, stays as it is. What a terminal would obey, or a script read as a
// column or line break, is then only shown.
std::string EscapeControls(const std::string& text);

// The type's own name ("REG_MULTI_SZ"), or its number when it has none.
std::string RegistryTypeName(int32_t type);

// Formats one value as the attribute list shows it: REG_SZ and REG_EXPAND_SZ
// as text up to the first zero byte, REG_DWORD "0x%08X (%d)", REG_QWORD
// "0x%016X (%d)", REG_MULTI_SZ every string with " | " between them, every
// other type as hex of at most 32 bytes then "...". Never reads past size.
FormattedValue FormatRegistryValue(int32_t type, const unsigned char* data, size_t size);
// The same text with every byte of a value shown as bytes: what a copy takes.
std::string WholeValueText(int32_t type, const unsigned char* data, size_t size);
// The value as a viewer shows it, lines ended by CR LF: each string of a
// multi-string on its own line, bytes as a hex dump, the rest as the list has it.
std::string ViewedValueText(int32_t type, const unsigned char* data, size_t size);
// Sixteen bytes a line: offset, the bytes in hex, then the printable ASCII
// ones (any other as '.'), lines ended by CR LF.
std::string HexDump(const unsigned char* data, size_t size);
// The text with a line break after every `run` characters of a stretch
// without white space, so that a message box stays on the screen; a UTF-8
// character is never split.
std::string BreakLongRuns(const std::string& text, size_t run);
// The strings of a multi-string: split at each zero byte, the terminating
// zeros dropped, so an empty string inside it is kept.
std::vector<std::string> MultiStrings(const unsigned char* data, size_t size);

}  // namespace zentrel
