#include "core/ProfileFile.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace zentrel {
namespace {

// ---- Reading --------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    bool found;
    std::string value;
};

class ProfileReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, Gets) {
    const ReadCase& c = GetParam();
    ProfileFile f;
    f.Parse(c.file);
    std::string value = "untouched";
    ASSERT_EQ(f.Get(c.section, c.key, value), c.found);
    EXPECT_EQ(value, c.found ? c.value : std::string("untouched"));
    EXPECT_EQ(f.GetString(c.section, c.key, "<def>"), c.found ? c.value : std::string("<def>"));
}

const std::string kQuotes =
    "[Q]\n"
    "a= \"  x \" \n"
    "b='y'\n"
    "c=\"z'\n"
    "d=\"\n"
    "e=''\n"
    "f=  \t tab\t \n"
    "g=\"a\"b\"\n"
    "h=\"\"\"\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileReadTest,
    ::testing::Values(
        ReadCase{"plain", "[S]\nk=v\n", "S", "k", true, "v"},
        ReadCase{"section_case", "[Odbc]\nk=v\n", "oDBC", "k", true, "v"},
        ReadCase{"key_case", "[S]\nDriver=x\n", "S", "DRIVER", true, "x"},
        ReadCase{"crlf", "[S]\r\nk=v\r\n", "S", "k", true, "v"},
        ReadCase{"lone_cr_ends_line", "[S]\rk=v\rm=w", "S", "m", true, "w"},
        ReadCase{"no_final_break", "[S]\nk=v", "S", "k", true, "v"},
        ReadCase{"blanks_around_everything", "  [S]  \n\t k \t=\t v \t\n", "S", "k", true, "v"},
        ReadCase{"blanks_inside_brackets", "[  S  ]\nk=v\n", "S", "k", true, "v"},
        ReadCase{"query_trimmed", "[S]\nk=v\n", "  S\t", " k ", true, "v"},
        ReadCase{"text_after_bracket", "[S] ; note\nk=v\n", "S", "k", true, "v"},
        ReadCase{"last_bracket_closes", "[U]]\nj=3\n", "U]", "j", true, "3"},
        ReadCase{"last_bracket_not_first", "[U]]\nj=3\n", "U", "j", false, ""},
        ReadCase{"bracket_unclosed_is_entry", "[S]\n[x=1\n", "S", "[x", true, "1"},
        ReadCase{"inner_spaces_kept", "[S]\nk=a  b\n", "S", "k", true, "a  b"},
        ReadCase{"equals_in_value", "[S]\nk=a=b\n", "S", "k", true, "a=b"},
        ReadCase{"empty_value", "[S]\nk=\n", "S", "k", true, ""},
        ReadCase{"ctrl_z_is_blank", "[S]\nk=v\x1A\n", "S", "k", true, "v"},
        ReadCase{"first_key_wins", "[S]\nk=1\nK=2\n", "S", "k", true, "1"},
        ReadCase{"first_section_wins", "[S]\na=1\n[s]\nk=2\n", "S", "k", false, ""},
        ReadCase{"first_section_value", "[S]\nk=1\n[s]\nk=2\n", "s", "k", true, "1"},
        ReadCase{"line_without_equals_not_value", "[S]\nk\n", "S", "k", false, ""},
        ReadCase{"line_without_equals_shadows", "[S]\nk\nk=2\n", "S", "k", false, ""},
        ReadCase{"comment_not_key", "[S]\n;k=1\n", "S", ";k", false, ""},
        ReadCase{"indented_comment", "[S]\n  ;k=1\nk=2\n", "S", "k", true, "2"},
        ReadCase{"key_before_any_section", "k=1\n[S]\n", "S", "k", false, ""},
        ReadCase{"key_in_other_section", "[A]\nk=1\n[B]\n", "B", "k", false, ""},
        ReadCase{"missing_section", "[A]\nk=1\n", "C", "k", false, ""},
        ReadCase{"empty_key_query", "[S]\n=1\n", "S", "", false, ""},
        ReadCase{"empty_section_query", "[]\nk=1\n", "", "k", false, ""},
        ReadCase{"empty_file", "", "S", "k", false, ""},
        ReadCase{"nul_in_value", std::string("[S]\nk=a\0b\n", 10), "S", "k", true, "a"},
        ReadCase{"nul_before_closing_quote", std::string("[S]\nk=\"a\0\"\n", 10), "S", "k", true, "\"a"},
        ReadCase{"nul_in_names", std::string("[S\0x]\nk\0y=v\n", 12), "S", "k", true, "v"},
        ReadCase{"high_bytes_name", "[\xC4\xD6]\n\xE9=1\n", "\xC4\xD6", "\xE9", true, "1"},
        ReadCase{"quotes_blanks_kept", kQuotes, "Q", "a", true, "  x "},
        ReadCase{"single_quotes", kQuotes, "Q", "b", true, "y"},
        ReadCase{"mismatched_quotes", kQuotes, "Q", "c", true, "\"z'"},
        ReadCase{"lone_quote", kQuotes, "Q", "d", true, "\""},
        ReadCase{"empty_quotes", kQuotes, "Q", "e", true, ""},
        ReadCase{"tabs_trimmed", kQuotes, "Q", "f", true, "tab"},
        ReadCase{"one_pair_only", kQuotes, "Q", "g", true, "a\"b"},
        ReadCase{"triple_quote", kQuotes, "Q", "h", true, "\""}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// ---- Writing --------------------------------------------------------------

struct Write {
    std::string section, key, value;
};

struct WriteCase {
    const char* name;
    std::string file;
    std::vector<Write> writes;
    std::string expected;
    std::vector<std::string> removedFirst = {};  // sections taken out before the writes
};

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, SetsAndSerializes) {
    const WriteCase& c = GetParam();
    ProfileFile f;
    f.Parse(c.file);
    f.RemoveSections([&c](const std::string& name) {
        for (const std::string& removed : c.removedFirst)
            if (SameName(removed, name)) return true;
        return false;
    });
    for (const Write& w : c.writes) ASSERT_TRUE(f.Set(w.section, w.key, w.value)) << w.section << "/" << w.key;
    const std::string out = f.Serialize();
    EXPECT_EQ(out, c.expected);
    // What was written reads back, directly and after a reload.
    ProfileFile reloaded;
    reloaded.Parse(out);
    for (const Write& w : c.writes) {
        std::string latest;
        for (const Write& later : c.writes)
            if (SameName(later.section, w.section) && SameName(later.key, w.key)) latest = later.value;
        EXPECT_EQ(f.GetString(w.section, w.key, "<none>"), latest);
        EXPECT_EQ(reloaded.GetString(w.section, w.key, "<none>"), latest);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"fresh_file", "", {{"S1", "a", "1"}, {"S1", "b", "2"}, {"S2", "c", "3"}},
                  "[S1]\r\na=1\r\nb=2\r\n[S2]\r\nc=3\r\n"},
        WriteCase{"replace_in_place_keeps_file_spelling", "[S]\nKey = old \nz=1\n", {{"s", "key", "new"}},
                  "[S]\r\nKey=new\r\nz=1\r\n"},
        WriteCase{"same_value_leaves_line_alone", "[S]\n  k =  v  \n", {{"S", "k", "v"}},
                  "[S]\r\n  k =  v  \r\n"},
        WriteCase{"append_after_last_line_before_blanks", "[A]\nk=1\n; c\n\n\n[B]\nm=2\n", {{"a", "n", "3"}},
                  "[A]\r\nk=1\r\n; c\r\nn=3\r\n\r\n\r\n[B]\r\nm=2\r\n"},
        WriteCase{"append_to_last_section_without_break", "[A]\r\nk=1", {{"A", "n", "2"}},
                  "[A]\r\nk=1\r\nn=2\r\n"},
        WriteCase{"new_section_at_end", "top=1\n[A]\nk=1\n\n", {{"B", "x", "y"}},
                  "top=1\r\n[A]\r\nk=1\r\n\r\n[B]\r\nx=y\r\n"},
        WriteCase{"duplicate_section_first_gets_key", "[S]\na=1\n[s]\nb=2\n", {{"S", "c", "3"}, {"S", "b", "4"}},
                  "[S]\r\na=1\r\nc=3\r\nb=4\r\n[s]\r\nb=2\r\n"},
        WriteCase{"duplicate_key_first_replaced", "[S]\nk=1\nk=2\n", {{"S", "K", "9"}},
                  "[S]\r\nk=9\r\nk=2\r\n"},
        WriteCase{"line_without_equals_gets_value", "[S]\nk\n", {{"S", "k", "v"}}, "[S]\r\nk=v\r\n"},
        WriteCase{"comment_not_replaced", "[S]\n;k=1\n", {{"S", "k", "2"}}, "[S]\r\n;k=1\r\nk=2\r\n"},
        WriteCase{"names_trimmed", "", {{"  S \t", " k ", "v"}}, "[S]\r\nk=v\r\n"},
        WriteCase{"section_found_with_inner_blanks", "[ S ]\n", {{"S", "k", "v"}}, "[ S ]\r\nk=v\r\n"},
        WriteCase{"section_with_bracket", "", {{"a]b", "k", "v"}}, "[a]b]\r\nk=v\r\n"},
        WriteCase{"empty_value", "", {{"S", "k", ""}}, "[S]\r\nk=\r\n"},
        WriteCase{"leading_blank_quoted", "", {{"S", "k", "  v"}}, "[S]\r\nk=\"  v\"\r\n"},
        WriteCase{"trailing_tab_quoted", "", {{"S", "k", "v\t"}}, "[S]\r\nk=\"v\t\"\r\n"},
        WriteCase{"enclosing_quotes_quoted", "", {{"S", "k", "'x'"}, {"S", "m", "\"\""}},
                  "[S]\r\nk=\"'x'\"\r\nm=\"\"\"\"\r\n"},
        WriteCase{"inner_quotes_not_quoted", "", {{"S", "k", "a\"b"}, {"S", "m", "\"a"}, {"S", "n", "\""}},
                  "[S]\r\nk=a\"b\r\nm=\"a\r\nn=\"\r\n"},
        WriteCase{"ctrl_z_end_quoted", "", {{"S", "k", "v\x1A"}}, "[S]\r\nk=\"v\x1A\"\r\n"},
        WriteCase{"rewrite_same_key_twice", "", {{"S", "k", "1"}, {"S", "K", "2"}}, "[S]\r\nk=2\r\n"},
        WriteCase{"replace_amid_mixed_line_ends", "[S]\ra=1\r\nb=2\nc=3\r\r\n[T]\n", {{"S", "b", "9"}, {"S", "B", "8"}},
                  "[S]\r\na=1\r\nb=8\r\nc=3\r\n\r\n[T]\r\n"},
        WriteCase{"replace_last_line_without_break", "[S]\na=1\nb=2", {{"S", "b", "3"}, {"T", "x", "y"}},
                  "[S]\r\na=1\r\nb=3\r\n[T]\r\nx=y\r\n"},
        WriteCase{"removed_sections_every_spelling", "top\n[A]\na=1\n[B]\nb=1\n[ a ]\nc=1\n[C]\n", {{"b", "x", "2"}},
                  "top\r\n[B]\r\nb=1\r\nx=2\r\n[C]\r\n", {"A"}},
        WriteCase{"removed_section_written_anew_at_end", "[A]\na=1\n[B]\nb=1\n", {{"A", "k", "v"}},
                  "[B]\r\nb=1\r\n[A]\r\nk=v\r\n", {"A"}},
        WriteCase{"many_short_sections_last_one_written", "[a]\n[b]\n[c]\n[d]\n[e]\n[f]\n[g]\n[h]\n[i]\n[j]\n[k]\n[l]\n[m]",
                  {{"M", "k", "v"}, {"a", "k", "w"}},
                  "[a]\r\nk=w\r\n[b]\r\n[c]\r\n[d]\r\n[e]\r\n[f]\r\n[g]\r\n[h]\r\n[i]\r\n[j]\r\n[l]\r\n[m]\r\nk=v\r\n", {"k"}}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// ---- Lines nobody wrote stay as they were ---------------------------------

struct KeepCase {
    const char* name;
    std::string file;
    std::string expected;
};

class ProfileKeepTest : public ::testing::TestWithParam<KeepCase> {};

TEST_P(ProfileKeepTest, KeepsUntouchedLines) {
    ProfileFile f;
    f.Parse(GetParam().file);
    const std::string once = f.Serialize();
    EXPECT_EQ(once, GetParam().expected);
    // Serializing is a fixed point, so re-exporting a file never drifts.
    ProfileFile again;
    again.Parse(once);
    EXPECT_EQ(again.Serialize(), once);
    // A write elsewhere leaves every old line and appends exactly one.
    ASSERT_TRUE(f.Set("Zz new", "k", "v"));
    const std::string after = f.Serialize();
    ASSERT_GE(after.size(), once.size());
    EXPECT_EQ(after.substr(0, once.size()), once);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileKeepTest,
    ::testing::Values(
        KeepCase{"empty", "", ""},
        KeepCase{"lf_to_crlf", "[S]\nk = v \n\n; note\n", "[S]\r\nk = v \r\n\r\n; note\r\n"},
        KeepCase{"crlf_kept", "[S]\r\nk=v\r\n", "[S]\r\nk=v\r\n"},
        KeepCase{"mixed_and_lone_cr", "a\r\nb\nc\rd", "a\r\nb\r\nc\r\nd\r\n"},
        KeepCase{"cr_cr_lf", "a\r\r\nb", "a\r\n\r\nb\r\n"},
        KeepCase{"only_breaks", "\n\n\r\n", "\r\n\r\n\r\n"},
        KeepCase{"nul_bytes", std::string("[S\0]\nk=\0\n\0", 10), std::string("[S\0]\r\nk=\0\r\n\0\r\n", 14)},
        KeepCase{"garbage", "\xFF\xFE[\x01]=]\t\t\n=\n[\n]", "\xFF\xFE[\x01]=]\t\t\r\n=\r\n[\r\n]\r\n"},
        KeepCase{"indent_and_case_kept", "  [oDbC]\n\tDriver = X\n", "  [oDbC]\r\n\tDriver = X\r\n"}),
    [](const ::testing::TestParamInfo<KeepCase>& info) { return std::string(info.param.name); });

// ---- Writes that a profile file cannot hold --------------------------------

struct RejectCase {
    const char* name;
    Write write;
};

class ProfileRejectTest : public ::testing::TestWithParam<RejectCase> {};

TEST_P(ProfileRejectTest, RefusesAndChangesNothing) {
    const std::string file = "[S]\r\nk=1\r\n";
    ProfileFile f;
    f.Parse(file);
    const Write& w = GetParam().write;
    EXPECT_FALSE(f.Set(w.section, w.key, w.value));
    EXPECT_EQ(f.Serialize(), file);
    EXPECT_EQ(f.GetString("S", "k", ""), "1");
    EXPECT_EQ(f.GetString("Other", "k", "<none>"), "<none>");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileRejectTest,
    ::testing::Values(
        RejectCase{"value_crlf_injection", {"S", "k", "x\r\n[Other]\r\nk=evil"}},
        RejectCase{"value_lf", {"S", "k", "a\nb"}},
        RejectCase{"value_cr", {"S", "k", "a\rb"}},
        RejectCase{"value_nul", {"S", "k", std::string("a\0b", 3)}},
        RejectCase{"key_lf", {"S", "k\n[Other]", "1"}},
        RejectCase{"section_lf", {"S\nk=2", "k", "1"}},
        RejectCase{"section_nul", {std::string("S\0", 2), "k", "1"}},
        RejectCase{"empty_section", {"", "k", "1"}},
        RejectCase{"blank_section", {" \t", "k", "1"}},
        RejectCase{"empty_key", {"S", "", "1"}},
        RejectCase{"blank_key", {"S", "  ", "1"}},
        RejectCase{"key_with_equals", {"S", "a=b", "1"}},
        RejectCase{"key_comment", {"S", ";k", "1"}},
        RejectCase{"key_bracket", {"S", "[Other]", "1"}}),
    [](const ::testing::TestParamInfo<RejectCase>& info) { return std::string(info.param.name); });

// ---- Values survive export and import unchanged ----------------------------

TEST(ProfileFile, AwkwardValuesRoundTrip) {
    const std::vector<std::string> values = {
        "", " ", "  lead", "trail  ", "\tboth\t", "'q'", "\"q\"", "\"", "'", "''", "\"\"", "\" x \"",
        "a=b", "[x]", ";x", "\x1A", "\xE9\xFC", "C:\\Program Files\\x.dll", "\" ", " \"", "\"a'", "x\v"};
    ProfileFile f;
    for (size_t i = 0; i < values.size(); ++i) ASSERT_TRUE(f.Set("V", "k" + std::to_string(i), values[i]));
    ProfileFile back;
    back.Parse(f.Serialize());
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(back.GetString("V", "k" + std::to_string(i), "<none>"), values[i]) << "value #" << i;
}

TEST(ProfileFile, RemovesWrittenAndAddedSectionsToo) {
    ProfileFile f;
    f.Parse("[Keep]\nk=1\n[DSN0]\nold=1\n");
    ASSERT_TRUE(f.Set("DSN0", "new", "2"));
    ASSERT_TRUE(f.Set("DSN1", "new", "3"));
    ASSERT_TRUE(f.Set("Keep", "m", "4"));
    f.RemoveSections([](const std::string& name) { return name.compare(0, 3, "DSN") == 0; });
    EXPECT_EQ(f.GetString("DSN0", "new", "<none>"), "<none>");
    EXPECT_EQ(f.GetString("DSN1", "new", "<none>"), "<none>");
    ASSERT_TRUE(f.Set("DSN1", "again", "5"));
    EXPECT_EQ(f.Serialize(), "[Keep]\r\nk=1\r\nm=4\r\n[DSN1]\r\nagain=5\r\n");
}

TEST(ProfileFile, ParseReplacesPreviousContent) {
    ProfileFile f;
    f.Parse("[A]\nk=1\n");
    f.Parse("[B]\nm=2\n");
    EXPECT_EQ(f.GetString("A", "k", "<none>"), "<none>");
    EXPECT_EQ(f.GetString("B", "m", "<none>"), "2");
    EXPECT_EQ(f.Serialize(), "[B]\r\nm=2\r\n");
}

// ---- Export / import sized workload -----------------------------------------

TEST(ProfileFilePerformance, TwoThousandSectionsOfSixtyOneKeys) {
    const int kSections = 2000, kKeys = 61;
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };

    const auto t0 = Clock::now();
    ProfileFile out;
    for (int s = 0; s < kSections; ++s)
        for (int k = 0; k < kKeys; ++k)
            ASSERT_TRUE(out.Set("DSN" + std::to_string(s), "Attribute" + std::to_string(k),
                                "value " + std::to_string(s * kKeys + k)));
    const auto t1 = Clock::now();
    const std::string bytes = out.Serialize();
    const auto t2 = Clock::now();
    ProfileFile in;
    in.Parse(bytes);
    const auto t3 = Clock::now();
    std::string value;
    size_t mismatches = 0;
    for (int s = 0; s < kSections; ++s)
        for (int k = 0; k < kKeys; ++k)
            if (!in.Get("dsn" + std::to_string(s), "ATTRIBUTE" + std::to_string(k), value) ||
                value != "value " + std::to_string(s * kKeys + k))
                ++mismatches;
    const auto t4 = Clock::now();

    EXPECT_EQ(mismatches, 0u);
    std::printf("[ perf     ] %d x %d: Set %.1f ms, Serialize %.1f ms (%zu bytes), Parse %.1f ms, Get %.1f ms, "
                "total %.1f ms\n",
                kSections, kKeys, ms(t1 - t0), ms(t2 - t1), bytes.size(), ms(t3 - t2), ms(t4 - t3), ms(t4 - t0));
    // Generous for sanitizer builds on a slow machine; a per-call scan of the
    // file would take minutes here.
    EXPECT_LT(ms(t4 - t0), 20000.0);
}

}  // namespace
}  // namespace zentrel
