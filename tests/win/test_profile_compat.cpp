// Our profile reader and writer against the platform's profile calls, both
// ways, over files with awkward lines.
#include "TestSupport.h"

#include "core/ProfileFile.h"

namespace {

struct Key {
    std::string section, key;
};
struct Write {
    std::string section, key, value;
};

struct CompatCase {
    const char* name;
    std::string file;
    std::vector<Key> reads;     // looked up before and after the writes
    std::vector<Write> writes;  // applied by each writer in turn
};

void PrintTo(const CompatCase& c, std::ostream* os) { *os << c.name; }

const std::string kLong300(300, 'x');
const std::string kLong5000 = std::string(2500, 'a') + std::string(2500, 'b');

const std::vector<CompatCase>& Cases() {
    static const std::vector<CompatCase> cases = {
        {"blanks_around_equals", "[S]\r\n  k  =  v  \r\nm\t=\tw\t\r\n",
         {{"S", "k"}, {"S", "m"}, {"s", "K"}},
         {{"S", "k", "new"}, {"S", "n", "3"}}},
        {"quotes", "[Q]\r\nd=\"dq\"\r\ns='sq'\r\nm=\"mixed'\r\nlone=\"\r\nin=a\"b\r\nsp=\" x \"\r\nafter=\"a\" \r\n",
         {{"Q", "d"}, {"Q", "s"}, {"Q", "m"}, {"Q", "lone"}, {"Q", "in"}, {"Q", "sp"}, {"Q", "after"}},
         {{"Q", "d", "plain"}, {"Q", "n", "\"quoted\""}, {"Q", "o", "'single'"}}},
        {"key_twice", "[S]\r\nk=1\r\nK=2\r\nm=3\r\n",
         {{"S", "k"}, {"S", "m"}},
         {{"S", "k", "9"}, {"S", "m", "8"}}},
        {"sections_differing_in_case", "[Sec]\r\na=1\r\n[SEC]\r\nb=2\r\n[sec]\r\na=3\r\n",
         {{"Sec", "a"}, {"SEC", "b"}, {"sec", "a"}},
         {{"SEC", "b", "4"}, {"sec", "c", "5"}}},
        {"comment_lines", "; top\r\n[S]\r\n;k=c\r\nk=v\r\n  ; indented\r\nm=w\r\n",
         {{"S", "k"}, {"S", "m"}},
         {{"S", "k", "x"}, {"S", "n", "y"}}},
        {"no_final_line_break", "[S]\r\nk=v", {{"S", "k"}}, {{"S", "n", "2"}, {"T", "t", "3"}}},
        {"lf_only", "[S]\nk=v\n[T]\nx=y\n", {{"S", "k"}, {"T", "x"}}, {{"S", "n", "1"}, {"T", "x", "z"}}},
        {"blank_lines_between_sections", "[S]\r\nk=v\r\n\r\n\r\n[T]\r\nx=y\r\n\r\n",
         {{"S", "k"}, {"T", "x"}},
         {{"S", "n", "1"}, {"U", "u", "2"}}},
        {"empty_file", "", {{"S", "k"}}, {{"General", "Items", "1"}, {"DSN0", "DSN", "Sales"}}},
        {"values_readers_would_alter", "",
         {},
         {{"V", "lead", "  lead"}, {"V", "trail", "trail  "}, {"V", "both", " both "}, {"V", "dq", "\"dq\""},
          {"V", "sq", "'sq'"}, {"V", "open", "\"open"}, {"V", "pair", "\"a\" \"b\""}, {"V", "quote", "\""},
          {"V", "twoquotes", "\"\""}, {"V", "tab", "\ttab"}}},
        {"values_of_every_kind", "",
         {},
         {{"V", "empty", ""}, {"V", "equals", "a=b=c"}, {"V", "semicolon", "; not a comment"},
          {"V", "bracket", "[not a section]"}, {"V", "subkey", "<SUBKEY>"}, {"V", "path", "C:\\dir\\x.dll"},
          {"V", "high", "\xC3\xA9\xC3\xBC\xC3\x9F"}, {"V", "long300", kLong300}, {"V", "long5000", kLong5000}}},
    };
    return cases;
}

// GetPrivateProfileStringA with a buffer large enough for any value here.
bool PlatformGet(const std::string& file, const Key& k, std::string* value) {
    static char buffer[70000];
    const DWORD n = ::GetPrivateProfileStringA(k.section.c_str(), k.key.c_str(), "\x01missing", buffer,
                                               sizeof(buffer), file.c_str());
    value->assign(buffer, n);
    return *value != "\x01missing";
}

std::vector<Key> AllKeys(const CompatCase& c) {
    std::vector<Key> keys = c.reads;
    for (const Write& w : c.writes) keys.push_back({w.section, w.key});
    return keys;
}

// The value of the last write to a key, names compared without case.
bool LastWrite(const CompatCase& c, const Key& k, std::string* value) {
    bool found = false;
    for (const Write& w : c.writes)
        if (_stricmp(w.section.c_str(), k.section.c_str()) == 0 && _stricmp(w.key.c_str(), k.key.c_str()) == 0) {
            *value = w.value;
            found = true;
        }
    return found;
}

class ProfileCompat : public ::testing::TestWithParam<CompatCase> {
protected:
    std::string Path(const char* what) {
        static const std::string dir = ScratchDir("profile-compat");
        return dir + "\\" + GetParam().name + "-" + what + ".ini";
    }
};

// The platform reads the file as it stands exactly as we do.
// Every key of the case reads the same through the platform and through ours.
void ExpectSameReads(const CompatCase& c, const std::string& path, const zentrel::ProfileFile& ours) {
    for (const Key& k : AllKeys(c)) {
        std::string platform, mine;
        const bool platformFound = PlatformGet(path, k, &platform);
        EXPECT_EQ(platformFound, ours.Get(k.section, k.key, mine)) << k.section << "/" << k.key;
        if (platformFound) {
            EXPECT_EQ(platform, mine) << k.section << "/" << k.key;
        }
    }
}

TEST_P(ProfileCompat, WeReadWhatThePlatformReads) {
    const CompatCase& c = GetParam();
    const std::string path = Path("read");
    WriteWholeFile(path, c.file);
    zentrel::ProfileFile ours;
    ours.Parse(c.file);
    ExpectSameReads(c, path, ours);
}

// What the platform's writer leaves, we read as the platform does.
TEST_P(ProfileCompat, WeReadWhatThePlatformWrites) {
    const CompatCase& c = GetParam();
    const std::string path = Path("platform-wrote");
    WriteWholeFile(path, c.file);
    for (const Write& w : c.writes)
        ASSERT_TRUE(::WritePrivateProfileStringA(w.section.c_str(), w.key.c_str(), w.value.c_str(), path.c_str()));
    zentrel::ProfileFile ours;
    ours.Parse(ReadWholeFile(path));
    ExpectSameReads(c, path, ours);
}

// What we write, the platform reads back exactly as written, and every key
// we did not write reads as it did before.
TEST_P(ProfileCompat, ThePlatformReadsWhatWeWrite) {
    const CompatCase& c = GetParam();
    const std::string before = Path("before");
    WriteWholeFile(before, c.file);
    zentrel::ProfileFile ours;
    ours.Parse(c.file);
    for (const Write& w : c.writes) ASSERT_TRUE(ours.Set(w.section, w.key, w.value)) << w.key;
    const std::string path = Path("we-wrote");
    WriteWholeFile(path, ours.Serialize());
    for (const Key& k : AllKeys(c)) {
        std::string platform, expected;
        const bool found = PlatformGet(path, k, &platform);
        if (LastWrite(c, k, &expected)) {
            EXPECT_TRUE(found) << k.section << "/" << k.key;
            EXPECT_EQ(expected, platform) << k.section << "/" << k.key;
        } else {
            std::string old;
            EXPECT_EQ(PlatformGet(before, k, &old), found) << k.section << "/" << k.key;
            EXPECT_EQ(old, platform) << k.section << "/" << k.key;
        }
        std::string mine;
        EXPECT_TRUE(!found || (ours.Get(k.section, k.key, mine) && mine == platform)) << k.section << "/" << k.key;
    }
}

// Both writers given the same file and the same plain writes agree on every
// key; the platform's writer loses blanks and quotes we keep, so values it
// would alter are left out of this comparison.
TEST_P(ProfileCompat, BothWritersAgreeOnPlainValues) {
    const CompatCase& c = GetParam();
    const std::string platformPath = Path("plain-platform");
    const std::string oursPath = Path("plain-ours");
    WriteWholeFile(platformPath, c.file);
    zentrel::ProfileFile ours;
    ours.Parse(c.file);
    for (const Write& w : c.writes) {
        const std::string& v = w.value;
        const bool plain = v.empty() || (v.front() != ' ' && v.back() != ' ' && v.front() != '\t' &&
                                         v.front() != '"' && v.front() != '\'');
        if (!plain) continue;
        ASSERT_TRUE(::WritePrivateProfileStringA(w.section.c_str(), w.key.c_str(), v.c_str(), platformPath.c_str()));
        ASSERT_TRUE(ours.Set(w.section, w.key, v));
    }
    WriteWholeFile(oursPath, ours.Serialize());
    for (const Key& k : AllKeys(c)) {
        std::string a, b;
        const bool fa = PlatformGet(platformPath, k, &a);
        EXPECT_EQ(fa, PlatformGet(oursPath, k, &b)) << k.section << "/" << k.key;
        EXPECT_EQ(a, b) << k.section << "/" << k.key;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileCompat, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CompatCase>& info) { return std::string(info.param.name); });

// A new file from our writer has the platform writer's layout byte for byte.
TEST(ProfileCompatLayout, NewFileMatchesThePlatformWriter) {
    const std::string dir = ScratchDir("profile-layout");
    const std::string platformPath = dir + "\\platform.ini";
    const std::vector<Write> writes = {{"General", "Items", "2"}, {"DSN0", "Driver", "Example Driver"},
                                       {"DSN0", "DSN", "Sales"},   {"DSN1", "DSN", "Other"},
                                       {"dsn0", "Items", "0"},    {"General", "Items", "3"}};
    zentrel::ProfileFile ours;
    for (const Write& w : writes) {
        ASSERT_TRUE(::WritePrivateProfileStringA(w.section.c_str(), w.key.c_str(), w.value.c_str(),
                                                 platformPath.c_str()));
        ASSERT_TRUE(ours.Set(w.section, w.key, w.value));
    }
    EXPECT_EQ(ReadWholeFile(platformPath), ours.Serialize());
}

}  // namespace
