#include "core/ValueFormat.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zentrel {
namespace {

struct FormatCase {
    const char* name;
    int32_t type;
    std::vector<unsigned char> data;
    std::string valueText;
    std::string typeText;
    uint32_t dwordValue;
};

std::vector<unsigned char> Repeat(unsigned char byte, size_t count) {
    return std::vector<unsigned char>(count, byte);
}

const std::string k32BytesOfAB(64, 'A');

std::string Repeated(const std::string& text, size_t count) {
    std::string out;
    while (count-- > 0) out += text;
    return out;
}

class FormatRegistryValueTest : public ::testing::TestWithParam<FormatCase> {};

// Each case's data is copied into an allocation of exactly its size, so that
// AddressSanitizer reports any read past the end.
TEST_P(FormatRegistryValueTest, Formats) {
    const FormatCase& c = GetParam();
    std::unique_ptr<unsigned char[]> exact(new unsigned char[c.data.size() ? c.data.size() : 1]);
    for (size_t i = 0; i < c.data.size(); ++i) exact[i] = c.data[i];
    const FormattedValue v = FormatRegistryValue(c.type, c.data.empty() ? nullptr : exact.get(), c.data.size());
    EXPECT_EQ(v.valueText, c.valueText);
    EXPECT_EQ(v.typeText, c.typeText);
    EXPECT_EQ(v.dwordValue, c.dwordValue);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatRegistryValueTest,
    ::testing::Values(
        FormatCase{"dword_ten", kRegDword, {10, 0, 0, 0}, "0x0000000A (10)", "REG_DWORD", 10},
        FormatCase{"dword_all_ones_is_minus_one", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, "0xFFFFFFFF (-1)", "REG_DWORD", 0xFFFFFFFFu},
        FormatCase{"dword_int_min", kRegDword, {0, 0, 0, 0x80}, "0x80000000 (-2147483648)", "REG_DWORD", 0x80000000u},
        FormatCase{"dword_int_max", kRegDword, {0xFF, 0xFF, 0xFF, 0x7F}, "0x7FFFFFFF (2147483647)", "REG_DWORD", 0x7FFFFFFFu},
        FormatCase{"dword_is_little_endian", kRegDword, {0x78, 0x56, 0x34, 0x12}, "0x12345678 (305419896)", "REG_DWORD", 0x12345678u},
        FormatCase{"dword_two_bytes_high_zero", kRegDword, {0x34, 0x12}, "0x00001234 (4660)", "REG_DWORD", 0x1234u},
        FormatCase{"dword_one_byte", kRegDword, {0xFF}, "0x000000FF (255)", "REG_DWORD", 0xFFu},
        FormatCase{"dword_empty", kRegDword, {}, "0x00000000 (0)", "REG_DWORD", 0},
        FormatCase{"dword_extra_bytes_ignored", kRegDword, {1, 0, 0, 0, 9, 9}, "0x00000001 (1)", "REG_DWORD", 1},
        FormatCase{"binary_three", kRegBinary, {0x0A, 0x01, 0xFF}, "0A01FF", "REG_BINARY", 0},
        FormatCase{"binary_empty", kRegBinary, {}, "", "REG_BINARY", 0},
        FormatCase{"binary_32_not_cut", kRegBinary, Repeat(0xAA, 32), k32BytesOfAB, "REG_BINARY", 0},
        FormatCase{"binary_33_cut", kRegBinary, Repeat(0xAA, 33), k32BytesOfAB + "...", "REG_BINARY", 0},
        FormatCase{"binary_zero_bytes_shown", kRegBinary, {0, 0}, "0000", "REG_BINARY", 0},
        FormatCase{"sz_stops_at_zero", kRegSz, {'a', 'b', 0, 'c'}, "ab", "REG_SZ", 0},
        FormatCase{"sz_unterminated", kRegSz, {'a', 'b', 'c'}, "abc", "REG_SZ", 0},
        FormatCase{"sz_empty", kRegSz, {}, "", "REG_SZ", 0},
        FormatCase{"sz_only_zero", kRegSz, {0}, "", "REG_SZ", 0},
        FormatCase{"sz_high_bytes_kept", kRegSz, {0xE9, 0xFC, 0}, "\xE9\xFC", "REG_SZ", 0},
        FormatCase{"expand_sz_as_text", kRegExpandSz, {'%', 'P', '%', 0}, "%P%", "REG_EXPAND_SZ", 0},
        FormatCase{"multi_sz_every_string", kRegMultiSz, {'x', 0, 'y', 0, 0}, "x | y", "REG_MULTI_SZ", 0},
        FormatCase{"multi_sz_empty_string_inside_kept", kRegMultiSz, {'x', 0, 0, 'y', 0, 0}, "x |  | y", "REG_MULTI_SZ", 0},
        FormatCase{"multi_sz_unterminated", kRegMultiSz, {'x', 0, 'y'}, "x | y", "REG_MULTI_SZ", 0},
        FormatCase{"multi_sz_empty", kRegMultiSz, {0, 0}, "", "REG_MULTI_SZ", 0},
        FormatCase{"qword_hex_and_decimal", kRegQword, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11},
                   "0x1122334455667788 (1234605616436508552)", "REG_QWORD", 0},
        FormatCase{"qword_all_ones_is_minus_one", kRegQword, Repeat(0xFF, 8), "0xFFFFFFFFFFFFFFFF (-1)", "REG_QWORD", 0},
        FormatCase{"qword_short_data", kRegQword, {1, 2}, "0x0000000000000201 (513)", "REG_QWORD", 0},
        FormatCase{"none_as_bytes", 0, {'n', 'o'}, "6E6F", "REG_NONE", 0},
        FormatCase{"link_as_bytes", kRegLink, {'\\', 0}, "5C00", "REG_LINK", 0},
        FormatCase{"big_endian_dword_as_bytes", 5, {0, 0, 0, 1}, "00000001", "REG_DWORD_BIG_ENDIAN", 0},
        FormatCase{"unknown_type_by_number_as_bytes", 21, {'q', 0}, "7100", "21", 0},
        FormatCase{"unknown_long_bytes_cut", 0x7FFF, Repeat(0xAA, 33), k32BytesOfAB + "...", "32767", 0},
        FormatCase{"dword_bytes_typed_text_not_decoded", kRegSz, {10, 0, 0, 0}, "\n", "REG_SZ", 0}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// What a copy and the viewer take: bytes never cut, each string of a
// multi-string on a line of its own, a hex dump with offsets and ASCII.
TEST(FormatRegistryValue, WholeAndViewedTexts) {
    const std::vector<unsigned char> bytes40 = Repeat(0x41, 40);
    const std::vector<unsigned char> multi = {'a', 0, 0, 'b', 0, 0};
    const std::vector<unsigned char> mixed = {0x00, 0x41, 0x7F, 0x20};
    const struct {
        int32_t type;
        std::vector<unsigned char> data;
        std::string whole, viewed;
    } cases[] = {
        {kRegBinary, bytes40, Repeated("41", 40),
         "00000000  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA\r\n"
         "00000010  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA\r\n"
         "00000020  41 41 41 41 41 41 41 41                           AAAAAAAA\r\n"},
        {0, mixed, "00417F20", "00000000  00 41 7F 20" + std::string(37, ' ') + "  .A. \r\n"},
        {kRegMultiSz, multi, "a |  | b", "a\r\n\r\nb"},
        {kRegSz, {'t', 0, 'x'}, "t", "t"},
        {kRegQword, Repeat(0, 8), "0x0000000000000000 (0)", "0x0000000000000000 (0)"},
        {kRegBinary, {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(RegistryTypeName(c.type));
        std::unique_ptr<unsigned char[]> exact(new unsigned char[c.data.size() + 1]);
        for (size_t i = 0; i < c.data.size(); ++i) exact[i] = c.data[i];
        EXPECT_EQ(c.whole, WholeValueText(c.type, exact.get(), c.data.size()));
        EXPECT_EQ(c.viewed, ViewedValueText(c.type, exact.get(), c.data.size()));
    }
}

// Long stretches break into lines; a character of several bytes stays whole.
TEST(BreakLongRuns, BreaksStretchesWithoutWhiteSpace) {
    const struct {
        std::string text, broken;
    } cases[] = {
        {"abcdefgh", "abcd\nefgh"},
        {"abcdefghi", "abcd\nefgh\ni"},
        {"ab cdefg hi", "ab cdef\ng hi"},
        {"abcd", "abcd"},
        {u8"ŁódźŁó", u8"Łódź\nŁó"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.broken, BreakLongRuns(c.text, 4)) << c.text;
}

TEST(FormatRegistryValue, NullDataWithSizeReadsNothing) {
    EXPECT_EQ(FormatRegistryValue(kRegSz, nullptr, 16).valueText, "");
    EXPECT_EQ(FormatRegistryValue(kRegBinary, nullptr, 16).valueText, "");
    EXPECT_EQ(FormatRegistryValue(kRegDword, nullptr, 16).valueText, "0x00000000 (0)");
}

// Every control character is shown, never obeyed; printable text, a
// backslash and characters beyond ASCII (C1's neighbours too) stay whole.
TEST(EscapeControls, ShowsEachControlCharacterOnly) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Decoy\vVictim", "Decoy\\x0bVictim"},
        {std::string("\x1b[1A\x1b[2K\t\r\n\f\x1c\0", 14), "\\x1b[1A\\x1b[2K\\x09\\x0d\\x0a\\x0c\\x1c\\x00"},
        {"del\x7f", "del\\x7f"},
        {"\xc2\x80 \xc2\x9b \xc2\x9f", "\\xc2\\x80 \\xc2\\x9b \\xc2\\x9f"},
        {"\xc2\xa0 \xc2\x7f \xc3\x89 \x80 \xc2", "\xc2\xa0 \xc2\\x7f \xc3\x89 \x80 \xc2"},
        {"C:\\dir\\x.dll ~", "C:\\dir\\x.dll ~"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.shown, EscapeControls(c.text)) << c.shown;
}

}  // namespace
}  // namespace zentrel
