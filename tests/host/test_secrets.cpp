#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ProfileFile.h"
#include "core/Secrets.h"

using namespace zentrel;

namespace {

TEST(Secrets, WhichValueNamesHoldOne) {
    struct Case {
        const char* name;
        bool secret;
    };
    const Case cases[] = {
        {"PWD", true},           {"pwd", true},           {"Password", true},       {"ProxyPassword", true},
        {"KeyStorePassword", true}, {"SSLKeyPassword", true}, {"Token", true},       {"ClientSecret", true},
        {"SecretAccessKey", true}, {"OAuthCredentials", true}, {"ApiKey", true},     {"API_KEY", true},
        {"api-key", true},       {"Passwd", true},        {"KeyPassphrase", true},  {"PW", true},
        {"Pass", true},          {"AccessKey", true},     {"Sub\\PWD", true},       {"PRIVATE KEY", true},
        {"Server", false},       {"UID", false},          {"User", false},          {"Database", false},
        {"Port", false},         {"PassThrough", false},  {"KeyStore", false},      {"PWD\\Server", false},
        {"", false},             {"Description", false},  {"Key", false},          {"Passport", false},
        {"DBPass", true},        {"Proxy_PW", true},      {"UserPass", true},        {"PWDialog", true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.secret, IsSecretRowName(c.name)) << c.name;
    EXPECT_TRUE(IsSecretValueName("A\\PWD\\B")) << "a value's own name with a backslash";
}

SourceEntry Held(const std::string& name, const std::string& data, std::vector<std::string> levels = {}) {
    SourceEntry e;
    e.levels = levels;
    e.valueName = name;
    e.type = 1;
    e.data.assign(data.begin(), data.end());
    return e;
}

// A file that names the secrets it left out, read back, gets each one from
// the source it replaces at its own place; what the file gives wins.
TEST(Secrets, LeftOutSecretsComeFromTheTarget) {
    ProfileFile file;
    ASSERT_TRUE(file.Set("DSN#0", "Items", "3"));
    const char* rows[][2] = {{"Server", "db"}, {"Sub", "<SUBKEY>"}, {"Sub\\User", "me"}};
    for (int j = 0; j < 3; ++j) {
        file.Set("DSN#0", "Name" + std::to_string(j), rows[j][0]);
        file.Set("DSN#0", "Value" + std::to_string(j), rows[j][1]);
        file.Set("DSN#0", "Format" + std::to_string(j), j == 1 ? "-1" : "1");
    }
    for (const char* name : {"PWD", "Sub\\Token", "Server", "Gone"}) ASSERT_TRUE(file.AddComment("DSN#0", WithheldComment(name)));
    EXPECT_FALSE(file.AddComment("DSN#0", "two\r\nlines"));
    EXPECT_FALSE(file.AddComment("DSN#9", "no section"));
    ProfileFile read;
    read.Parse(file.Serialize());
    EXPECT_NE(std::string::npos, file.Serialize().find("\r\n;Left out (secret): Sub\\Token\r\n"));
    DsiSourceRows source = ReadDsiSourceRows(read, "DSN#0", 100);
    ASSERT_EQ(3u, source.rows.size());
    EXPECT_EQ((std::vector<std::string>{"PWD", "Sub\\Token", "Server", "Gone"}), source.withheld);

    SourceEntry sub;
    sub.key = true;
    sub.levels = {"Sub"};
    KeepWithheldValues(source, {Held("Server", "old"), Held("pwd", "S3cret!"), sub, Held("TOKEN", "t0k", {"Sub"}),
                                Held("User", "old", {"Sub"}), Held("Other", "x")});
    std::vector<std::string> names, data;
    for (const DsiImportRow& row : source.rows) {
        names.push_back(row.name);
        data.emplace_back(row.data.begin(), row.data.end());
    }
    EXPECT_EQ((std::vector<std::string>{"Server", "pwd", "Sub", "Sub\\TOKEN", "Sub\\User"}), names);
    EXPECT_EQ("S3cret!", data[1]);
    EXPECT_EQ("t0k", data[3]);
    EXPECT_EQ((std::vector<std::string>{"Sub"}), source.rows[3].levels);
}

}  // namespace
