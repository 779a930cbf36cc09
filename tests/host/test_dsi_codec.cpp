#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ProfileFile.h"
#include "core/Utf.h"
#include "core/ValueFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zentrel {
namespace {

using Bytes = std::vector<unsigned char>;

// ---- LeadingDecimal -------------------------------------------------------

struct DecimalCase {
    std::string text;
    int32_t expected;
};

class LeadingDecimalTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(LeadingDecimalTest, Converts) {
    EXPECT_EQ(LeadingDecimal(GetParam().text.c_str()), GetParam().expected) << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Table, LeadingDecimalTest,
    ::testing::Values(
        DecimalCase{"0", 0}, DecimalCase{"42", 42}, DecimalCase{"-1", -1}, DecimalCase{"+7", 7},
        DecimalCase{"", 0}, DecimalCase{"abc", 0}, DecimalCase{"-", 0}, DecimalCase{"+", 0},
        DecimalCase{"  \t\n\v\f\r12", 12}, DecimalCase{"12abc", 12}, DecimalCase{"12 34", 12},
        DecimalCase{"- 5", 0}, DecimalCase{"+-5", 0}, DecimalCase{"0x1F", 0}, DecimalCase{"007", 7},
        DecimalCase{"2147483647", 2147483647}, DecimalCase{"2147483648", INT32_MIN},
        DecimalCase{"-2147483648", INT32_MIN}, DecimalCase{"4294967295", -1}, DecimalCase{"4294967296", 0},
        DecimalCase{"4294967306", 10}, DecimalCase{"-4294967295", 1},
        // 10^n is a multiple of 2^32 for n >= 32, so these long runs must
        // come out as 0 and -1 when wrapping, not overflow.
        DecimalCase{"1" + std::string(40, '0'), 0}, DecimalCase{std::string(1000, '9'), -1},
        DecimalCase{"-" + std::string(1000, '9'), 1}, DecimalCase{std::string(1000, '0') + "5", 5}));

TEST(LeadingDecimal, NullIsZero) { EXPECT_EQ(LeadingDecimal(nullptr), 0); }

// ---- EncodeDsiValue --------------------------------------------------------

struct EncodeCase {
    const char* name;
    int32_t type;
    Bytes data;
    std::string expected;
};

class EncodeDsiValueTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeDsiValueTest, Encodes) {
    const EncodeCase& c = GetParam();
    // Exact-size copy so that a read past the end trips AddressSanitizer.
    Bytes exact(c.data);
    exact.shrink_to_fit();
    EXPECT_EQ(EncodeDsiValue(c.type, exact.empty() ? nullptr : exact.data(), exact.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EncodeDsiValueTest,
    ::testing::Values(
        EncodeCase{"dword", kRegDword, {10, 0, 0, 0}, "10"},
        EncodeCase{"dword_negative", kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}, "-2"},
        EncodeCase{"dword_int_min", kRegDword, {0, 0, 0, 0x80}, "-2147483648"},
        EncodeCase{"dword_short", kRegDword, {0x01, 0x01}, "257"},
        EncodeCase{"dword_empty", kRegDword, {}, "0"},
        EncodeCase{"binary_upper_hex", kRegBinary, {0x0a, 0xbc, 0x00, 0xff}, "0ABC00FF"},
        EncodeCase{"binary_empty", kRegBinary, {}, ""},
        EncodeCase{"binary_40_never_cut", kRegBinary, Bytes(40, 0x11), std::string(80, '1')},
        EncodeCase{"subkey", kSubkeyRow, {'x', 0}, "<SUBKEY>"},
        EncodeCase{"subkey_without_data", kSubkeyRow, {}, "<SUBKEY>"},
        EncodeCase{"sz", kRegSz, {'S', 'Q', 'L', 0}, "SQL"},
        EncodeCase{"sz_unterminated", kRegSz, {'a', 'b'}, "ab"},
        EncodeCase{"multi_sz_first_string", kRegMultiSz, {'a', 0, 'b', 0, 0}, "a"},
        EncodeCase{"expand_sz", kRegExpandSz, {'%', 'T', '%', 0}, "%T%"},
        EncodeCase{"unknown_type_text", 99, {'z'}, "z"}),
    [](const ::testing::TestParamInfo<EncodeCase>& info) { return std::string(info.param.name); });

// ---- DecodeDsiBinary -------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::string text;
    bool ok;
    Bytes bytes;      // checked when ok
    size_t badIndex;  // checked when not ok
};

class DecodeDsiBinaryTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeDsiBinaryTest, Decodes) {
    const DecodeCase& c = GetParam();
    Bytes bytes{0xEE, 0xEE};  // stale content must not survive
    size_t bad = 12345;
    ASSERT_EQ(DecodeDsiBinary(c.text, bytes, &bad), c.ok);
    if (c.ok) {
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(bad, 12345u) << "badIndex written on success";
    } else {
        EXPECT_EQ(bad, c.badIndex);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeDsiBinaryTest,
    ::testing::Values(
        DecodeCase{"empty", "", true, {}, 0},
        DecodeCase{"upper", "0A01FF", true, {0x0A, 0x01, 0xFF}, 0},
        DecodeCase{"lower_and_mixed", "abCdeF", true, {0xAB, 0xCD, 0xEF}, 0},
        DecodeCase{"old_cut_marker", "0A01...", true, {0x0A, 0x01}, 0},
        DecodeCase{"only_marker", "...", true, {}, 0},
        DecodeCase{"unpaired_digit_ignored", "0A1", true, {0x0A}, 0},
        DecodeCase{"unpaired_before_marker", "0A1...", true, {0x0A}, 0},
        DecodeCase{"single_digit", "F", true, {}, 0},
        DecodeCase{"unpaired_trailing_char_not_checked", "0AZ", true, {0x0A}, 0},
        DecodeCase{"more_than_32_bytes", std::string(200, '7'), true, Bytes(100, 0x77), 0},
        DecodeCase{"bad_high_digit", "0AG1", false, {}, 2},
        DecodeCase{"bad_low_digit", "0A1G", false, {}, 3},
        DecodeCase{"bad_first", "x0", false, {}, 0},
        DecodeCase{"space_inside", "0A 1FF", false, {}, 2},
        DecodeCase{"only_one_marker_stripped", "0A......", false, {}, 2},
        DecodeCase{"marker_not_at_end", "...0A", false, {}, 0},
        DecodeCase{"prefix_0x_rejected", "0x0A", false, {}, 1},
        DecodeCase{"high_byte_char", "0A\xC3\xA9", false, {}, 2}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(DecodeDsiBinary, NullBadIndexIsAllowed) {
    Bytes bytes;
    EXPECT_FALSE(DecodeDsiBinary("zz", bytes, nullptr));
}

// ---- Round trips export -> import -----------------------------------------

TEST(DsiRoundTrip, BinaryBytesSurviveEncodeDecode) {
    std::mt19937 rng(1234);
    for (size_t size : {0u, 1u, 2u, 31u, 32u, 33u, 255u, 4096u}) {
        Bytes data(size);
        for (auto& b : data) b = static_cast<unsigned char>(rng());
        Bytes back;
        size_t bad = 0;
        ASSERT_TRUE(DecodeDsiBinary(EncodeDsiValue(kRegBinary, data.data(), data.size()), back, &bad)) << size;
        EXPECT_EQ(back, data) << size;
    }
}

TEST(DsiRoundTrip, DwordSurvivesEncodeAndLeadingDecimal) {
    for (uint32_t v : {0u, 1u, 10u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xDEADBEEFu}) {
        const unsigned char le[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                     static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        const std::string text = EncodeDsiValue(kRegDword, le, 4);
        EXPECT_EQ(static_cast<uint32_t>(LeadingDecimal(text.c_str())), v) << text;
    }
}

// ---- DsiTextToRegistryData -------------------------------------------------

struct TextDataCase {
    std::string text;
    int32_t type;
    Bytes expected;
};

class DsiTextToRegistryDataTest : public ::testing::TestWithParam<TextDataCase> {};

TEST_P(DsiTextToRegistryDataTest, Terminates) {
    EXPECT_EQ(DsiTextToRegistryData(GetParam().text, GetParam().type), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DsiTextToRegistryDataTest,
    ::testing::Values(TextDataCase{"ab", kRegSz, {'a', 'b', 0}},
                      TextDataCase{"", kRegSz, {0}},
                      TextDataCase{"%P%", kRegExpandSz, {'%', 'P', '%', 0}},
                      TextDataCase{"ab", kRegMultiSz, {'a', 'b', 0, 0}},
                      TextDataCase{"", kRegMultiSz, {0, 0}},
                      TextDataCase{"\xE9", kRegSz, {0xE9, 0}}));

}  // namespace
}  // namespace zentrel

namespace zentrel {
namespace {

// Counts keep the leading-decimal reading but never wrap or go negative.
TEST(ParseDsiCount, ReadsOnlyRealCounts) {
    struct Case {
        const char* text;
        DsiCount status;
        int count;
    };
    for (const Case& c : {Case{"3", DsiCount::Ok, 3}, Case{" +1 sources", DsiCount::Ok, 1}, Case{"-0", DsiCount::Ok, 0},
                          Case{"2147483647", DsiCount::Ok, 2147483647}, Case{"", DsiCount::NotANumber, 0},
                          Case{"two", DsiCount::NotANumber, 0}, Case{"-", DsiCount::NotANumber, 0},
                          Case{"-1", DsiCount::Negative, 0}, Case{"2147483648", DsiCount::TooLarge, 0},
                          Case{"4294967297", DsiCount::TooLarge, 0},
                          Case{"99999999999999999999999999", DsiCount::TooLarge, 0}}) {
        int count = -7;
        EXPECT_EQ(c.status, ParseDsiCount(c.text, &count)) << c.text;
        EXPECT_EQ(c.count, count) << c.text;
    }
}

// Exactly the names an import could look up for some index.
TEST(IsDsiSourceSection, MatchesWhatImportReads) {
    for (const char* name : {"DSN0", "dsn#0", " DSN12 ", "Dsn#2147483647"}) EXPECT_TRUE(IsDsiSourceSection(name)) << name;
    for (const char* name : {"DSN", "DSN#", "DSN01", "DSN#00", "DSN-1", "DSN 1", "DSN2147483648", "General", "DSNx"})
        EXPECT_FALSE(IsDsiSourceSection(name)) << name;
}

}  // namespace
}  // namespace zentrel

namespace zentrel {
namespace {

// Export adds a row's exact bytes exactly when import would not rebuild
// them from the value text; with them, every type and size comes back whole.
TEST(DsiRowData, ExactBytesWhereTextFails) {
    const std::vector<std::string> samples = {
        "", std::string(1, '\0'), std::string(2, '\0'), "abc", std::string("abc\0", 4), std::string("a\0b\0", 4),
        std::string("one\0two\0\0", 9), std::string("one\0\0", 5), "\x01\x02\x03\x04", "\x01\x02",
        std::string("\0\x01\x02\x03\x04\x05\x06\x07", 8), "\xFF\x0D\x0A"};
    for (int32_t type : {-1, 0, 1, 2, 3, 4, 5, 7, 11, 99, INT32_MIN}) {
        for (const std::string& sample : samples) {
            const Bytes data(sample.begin(), sample.end());
            const unsigned char* p = data.empty() ? nullptr : data.data();
            Bytes fromText, fromData;
            std::string problem;
            const bool textReads = DecodeDsiRowData(type, EncodeDsiValue(type, p, data.size()), false, "", fromText,
                                                    &problem);
            const bool viaText = type != kSubkeyRow && textReads && fromText == data;
            EXPECT_EQ(viaText, DsiValueTextCarriesData(type, p, data.size())) << type << " " << data.size();
            ASSERT_TRUE(DecodeDsiRowData(type, "ignored", true, DsiHex(p, data.size()), fromData, &problem));
            EXPECT_EQ(data, fromData) << type;
        }
    }
}

// UTF-16 bytes given as a multi-string's Data show a zero after every
// character; no well-formed multi-string of UTF-8 text does.
TEST(DsiRowData, MultiStringDataInUtf16IsTold) {
    const struct {
        std::string bytes;
        bool utf16;
    } cases[] = {
        {std::string("o\0n\0\0\0\0\0", 8), true},
        {std::string("a\0b\0\0\0", 6), false},             // "a", "b", "": a value the registry may hold
        {std::string("\xE9\0t\0\xE9\0\0\0\0\0", 10), true},
        {std::string("one\0two\0\0", 9), false},
        {std::string("a\0b\0c\0\0", 7), false},           // strings of one character each
        {std::string("\0\0", 2), false},                  // no string at all
        {std::string("a\0\0\0", 4), false},               // one character
        {std::string("\xE6\x95\xB0\0\0", 5), false},
        {std::string("o\0n\0\0", 5), false},               // odd: not UTF-16
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.utf16, DsiMultiStringDataIsUtf16(Bytes(c.bytes.begin(), c.bytes.end()))) << c.bytes.size();
}

}  // namespace
}  // namespace zentrel

// ---- Limits in UTF-16 units, names in any script ---------------------------

namespace zentrel {
namespace {

std::string Repeat(const std::string& unit, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += unit;
    return out;
}

const std::string kHan = "\xE6\x95\xB0";            // one unit, three bytes
const std::string kEmoji = "\xF0\x9F\x93\x8A";      // two units, four bytes

// A section's rows are read as a profile reader reads each of their keys:
// names without case and trimmed, the first line of a name deciding, a
// line without '=' holding no value.
struct SectionCase {
    const char* label;
    std::string body;      // the lines below [DSN0]
    bool countValid;
    std::string rows;      // "index:name=value" of each row read, ';' after each
    int missing;
    long long maxRows = 100;
};

class SectionRowsTest : public ::testing::TestWithParam<SectionCase> {};

TEST_P(SectionRowsTest, ReadsWhatAReaderReads) {
    const SectionCase& c = GetParam();
    ProfileFile file;
    file.Parse("[General]\r\nItems=1\r\n[DSN0]\r\n" + c.body + "[DSN1]\r\nName1=other\r\n");
    const DsiSourceRows read = ReadDsiSourceRows(file, "dsn0", c.maxRows);
    std::string rows;
    for (const DsiImportRow& row : read.rows)
    {
        rows += std::to_string(row.index) + ":" + row.name + "=";
        for (unsigned char b : row.data)
            if (b != 0) rows += static_cast<char>(b);  // UTF-16 of ASCII
        rows += ";";
    }
    EXPECT_EQ(c.countValid, read.countValid) << c.label;
    EXPECT_EQ(c.rows, rows) << c.label;
    EXPECT_EQ(c.missing, read.missing) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SectionRowsTest,
    ::testing::Values(
        SectionCase{"any_case", "items=1\r\nNAME0=a\r\nvalue0=x\r\nFoRmAt0=1\r\n", true, "0:a=x;", 0},
        SectionCase{"first_line_decides", "Items=1\r\nName0=a\r\nName0=b\r\nFormat0=1\r\nValue0=x\r\n", true,
                    "0:a=x;", 0},
        SectionCase{"first_line_without_value", "Items=1\r\nName0\r\nName0=b\r\nFormat0=1\r\nValue0=x\r\n",
                    true, "0:=x;", 0},
        SectionCase{"trimmed_and_unquoted", "Items=1\r\n  Name0  =  a  \r\nValue0=\"x \"\r\nFormat0=1\r\n", true,
                    "0:a=x ;", 0},
        SectionCase{"leading_zero_names_no_row", "Items=2\r\nName0=a\r\nValue0=x\r\nFormat0=1\r\nName01=b\r\n",
                    true, "0:a=x;", 1},
        SectionCase{"gaps_are_missing", "Items=4\r\nName2=c\r\nValue2=z\r\nFormat2=1\r\nValue0=x\r\nFormat0=1\r\n",
                    true, "0:=x;2:c=z;", 2},
        SectionCase{"a_key_of_no_value_is_no_row", "Items=1\r\nName0\r\nValue0\r\n", true, "", 1},
        SectionCase{"beyond_the_count_unread", "Items=1\r\nValue0=x\r\nFormat0=1\r\nValue1=y\r\nFormat1=1\r\n",
                    true, "0:=x;", 0},
        SectionCase{"count_beyond_the_lines", "Items=2000000000\r\nValue0=x\r\nFormat0=1\r\n", true, "0:=x;",
                    1999999999, 5},
        SectionCase{"no_count_no_rows", "Description=d\r\nRaw0=00\r\n", true, "", 0},
        SectionCase{"no_count_but_rows", "name0=a\r\n", false, "", 0},
        SectionCase{"count_without_value_first", "Items\r\nItems=1\r\nValue0=x\r\n", false, "", 0},
        SectionCase{"count_unreadable", "Items=-1\r\nValue0=x\r\nFormat0=1\r\n", false, "", 0}));

// Rows written into a file are read as the file now holds them: a replaced
// line, and rows and a count added to the section.
TEST(SectionRows, ReadsWhatWasWrittenSinceParsing) {
    ProfileFile file;
    file.Parse("[DSN0]\r\nItems=1\r\nName0=a\r\nValue0=old\r\nFormat0=1\r\n[DSN1]\r\nItems=0\r\n");
    ASSERT_TRUE(file.Set("DSN0", "Value0", "new"));
    for (const auto& key : {std::make_pair("Items", "2"), std::make_pair("Name1", "b"), std::make_pair("Value1", "v"),
                            std::make_pair("Format1", "1")})
        ASSERT_TRUE(file.Set("DSN0", key.first, key.second));
    ASSERT_TRUE(file.Set("Added", "Value0", "x"));
    const DsiSourceRows read = ReadDsiSourceRows(file, "DSN0", 100);
    ASSERT_EQ(2u, read.rows.size());
    EXPECT_EQ(std::vector<unsigned char>({'n', 'e', 'w', 0}), read.rows[0].data);
    EXPECT_EQ("b", read.rows[1].name);
    EXPECT_EQ(0, read.missing);
    // A section only written, never parsed, has no count: its row cannot be counted.
    EXPECT_FALSE(ReadDsiSourceRows(file, "Added", 100).countValid);
}

struct LimitCase {
    const char* label;
    std::string name;       // a source's name, a key level and a value name
    size_t limit;           // the limit the name is held against
    bool accepted;
};

class NameLimitTest : public ::testing::TestWithParam<LimitCase> {};

// A row of a source whose value name (limit 16383) or key level (limit 255)
// is the case's name.
DsiSourceRows RowsOf(const LimitCase& c) {
    const std::string name = c.limit == 255 ? c.name + "\\v" : c.name;
    ProfileFile file;
    file.Parse("[DSN0]\r\nItems=1\r\nName0=" + name + "\r\nValue0=x\r\nFormat0=1\r\n");
    return ReadDsiSourceRows(file, "DSN0", 10);
}

TEST_P(NameLimitTest, CountsUnitsAsTheRegistryDoes) {
    const LimitCase& c = GetParam();
    const DsiSourceRows rows = RowsOf(c);
    EXPECT_EQ(c.accepted ? 1u : 0u, rows.rows.size()) << c.label;
    if (c.limit == 255) {
        EXPECT_EQ(c.accepted, DsnNameProblem(c.name).empty()) << c.label;
        if (c.accepted && rows.rows.size() == 1) {
            EXPECT_EQ(std::vector<std::string>{c.name}, rows.rows[0].levels);
        }
    } else if (c.accepted && rows.rows.size() == 1) {
        EXPECT_EQ(c.name, rows.rows[0].valueName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NameLimitTest,
    ::testing::Values(LimitCase{"ascii_255", std::string(255, 'a'), 255, true},
                      LimitCase{"ascii_256", std::string(256, 'a'), 255, false},
                      LimitCase{"han_100", Repeat(kHan, 100), 255, true},
                      LimitCase{"han_255", Repeat(kHan, 255), 255, true},
                      LimitCase{"han_256", Repeat(kHan, 256), 255, false},
                      LimitCase{"emoji_255_units", Repeat(kEmoji, 127) + "a", 255, true},
                      LimitCase{"emoji_256_units", Repeat(kEmoji, 128), 255, false},
                      LimitCase{"value_16383", std::string(16383, 'v'), 16383, true},
                      LimitCase{"value_16384", std::string(16384, 'v'), 16383, false},
                      LimitCase{"value_han_16383", Repeat(kHan, 16383), 16383, true},
                      LimitCase{"value_emoji_16384_units", Repeat(kEmoji, 8192), 16383, false}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.label); });

struct Utf8Case {
    const char* label;
    std::string text;
    size_t units;     // what the registry would count
    size_t cutAt10;   // the cut of at most 10 bytes
};

class Utf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Test, CountsAndCutsBetweenCharacters) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(c.units, Utf16Units(c.text));
    EXPECT_EQ(c.cutAt10, Utf8CutPoint(c.text, 10));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8Test,
    ::testing::Values(Utf8Case{"ascii", "abcdefghijkl", 12, 10},
                      Utf8Case{"han_cut_inside", Repeat(kHan, 4), 4, 9},
                      Utf8Case{"emoji_cut_inside", "abc" + Repeat(kEmoji, 3), 9, 7},
                      Utf8Case{"emoji_cut_after", "ab" + Repeat(kEmoji, 2) + "cd", 8, 10},
                      // An overlong '/' is two stray bytes, not one character.
                      Utf8Case{"overlong_slash", "\xC0\xAF" + std::string(10, 'x'), 12, 10},
                      Utf8Case{"short", "\xC5\x81" "d", 2, 3}),
    [](const ::testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace zentrel
