// Encoding of registry values as DSI value texts and back. Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zentrel {

// A section or key name with a decimal index: "DSN%d", "Name%d" and the like.
std::string DsiIndexedName(const char* pattern, int index);

// Whether import could read a section of this name as a data source's:
// "DSN%d" or "DSN#%d" of any index, as the profile reader matches names.
bool IsDsiSourceSection(const std::string& name);
// The index such a name gives; -1 when it is none.
int DsiSourceSectionIndex(const std::string& name);

// Leading-decimal conversion: leading blanks, optional sign, decimal digits;
// stops at the first other character; no digits gives 0. Wraps modulo 2^32.
int32_t LeadingDecimal(const char* text);

// Value text of one row as export writes it: REG_DWORD signed decimal,
// REG_BINARY every byte as two upper-case hex digits, a subkey row "<SUBKEY>",
// any other type the data as text up to its first zero byte.
std::string EncodeDsiValue(int32_t typeCode, const unsigned char* data, size_t size);

// A count of a DSI file (sources in General, rows in a source's section):
// the leading-decimal reading, except that a text without digits, a
// negative number or one beyond what an int holds is not a count.
enum class DsiCount { Ok, NotANumber, Negative, TooLarge };
DsiCount ParseDsiCount(const std::string& text, int* count);

// Whether import rebuilds exactly these bytes, of this type, from the value
// text EncodeDsiValue writes. When it does not (a multi-string's later
// strings, a text without its terminator or with a zero inside, a REG_DWORD
// that is not 4 bytes, a REG_QWORD, REG_NONE, a value of type -1, ...),
// export adds the exact bytes as the row's "Data%d" key.
bool DsiValueTextCarriesData(int32_t typeCode, const unsigned char* data, size_t size);

// Every byte as two upper-case hex digits: the REG_BINARY form and the
// form of a row's "Data%d" key.
std::string DsiHex(const unsigned char* data, size_t size);

// The registry data import makes of a row: from its "Data%d" key when the
// file has one (hasData), else from the value text by type (REG_BINARY hex,
// REG_DWORD decimal, any other type text and terminator). Returns false,
// with why in *problem, when the text cannot be read as that.
bool DecodeDsiRowData(int32_t typeCode, std::string_view value, bool hasData, std::string_view dataHex,
                      std::vector<unsigned char>& data, std::string* problem);

// Whether a multi-string's Data bytes are UTF-16 rather than the text in
// UTF-8 that Data holds: a zero byte after every character, and the two
// zero units that end a multi-string. Read as UTF-8 these are strings of one
// character and two empty strings at the end, which well-formed values never
// have; "a", "b", "" alone (61 00 62 00 00 00) is taken as the UTF-8 it may be.
bool DsiMultiStringDataIsUtf16(const std::vector<unsigned char>& data);

// Hex text of a REG_BINARY row to bytes: pairs from the start, high digit
// first, either case; a trailing "..." (older files) and a final unpaired
// digit are ignored. Returns false and sets *badIndex to the offending
// character's index when a non-hex character stands before that point.
bool DecodeDsiBinary(std::string_view text, std::vector<unsigned char>& bytes,
                     size_t* badIndex);

// Registry data of a text row: the characters and a terminating zero; a
// REG_MULTI_SZ row gets a second zero so that it is a proper multi-string.
std::vector<unsigned char> DsiTextToRegistryData(std::string_view text, int32_t typeCode);

}  // namespace zentrel
