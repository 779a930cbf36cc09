// The three preferences: how they load, show, save and cancel.
#include "TestSupport.h"
#include "WindowHelpers.h"

#include "ui/Settings.h"
#include "ui/resource.h"

namespace {

const char kKey[] = "Software\\Morvane\\Zentrel";

void PutRawSetting(const char* name, DWORD type, const std::vector<unsigned char>& data) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_CURRENT_USER, kKey, &key));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, name, 0, type, data.data(), (DWORD)data.size()));
    ::RegCloseKey(key);
}

// The stored value as type and bytes; "" when absent.
std::string Stored(const char* name, DWORD* type = nullptr) {
    std::vector<unsigned char> data;
    if (!GetValue(HKEY_CURRENT_USER, kKey, name, type, &data)) return "";
    return std::string(data.begin(), data.end());
}

bool Checked(const SettingsDialog& dialog, int id) {
    return ::IsDlgButtonChecked(dialog.m_hWnd, id) == BST_CHECKED;
}

using SettingsTest = RegistryTest;

TEST_F(SettingsTest, FirstRunTurnsEverythingOn) {
    SettingsDialog dialog(nullptr);
    EXPECT_EQ(1, dialog.m_bDefSystem);
    EXPECT_EQ(1, dialog.m_bAskImport);
    EXPECT_EQ(1, dialog.m_bAskDelete);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));  // reading creates nothing
}

struct LoadCase {
    const char* name;
    DWORD type;
    std::vector<unsigned char> data;
    int field;  // the value in force until the dialog is shown
    bool shownChecked;
    int fieldAfterShowing;
};

std::vector<unsigned char> Sz(const std::string& text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

const LoadCase kLoadCases[] = {
    {"one", REG_SZ, Sz("1"), 1, true, 1},
    {"zero", REG_SZ, Sz("0"), 0, false, 0},
    {"not_a_number", REG_SZ, Sz("abc"), 0, false, 0},
    {"empty_text", REG_SZ, Sz(""), 0, false, 0},
    // Any non-zero number is on, and stays on once the dialog shows it.
    {"leading_blanks_and_tail", REG_SZ, Sz("  2x"), 1, true, 1},
    {"five", REG_SZ, Sz("5"), 1, true, 1},
    {"minus_one", REG_SZ, Sz("-1"), 1, true, 1},
    // The type is not looked at: a dword 1 spells no digit.
    {"dword_one", REG_DWORD, {1, 0, 0, 0}, 0, false, 0},
    {"dword_spelling_a_digit", REG_DWORD, {'1', 0, 0, 0}, 1, true, 1},
    {"without_terminator", REG_BINARY, {'0'}, 0, false, 0},
    {"127_characters", REG_SZ, Sz(std::string(126, ' ') + "0"), 0, false, 0},
    // Too long to read: the default applies.
    {"128_characters", REG_SZ, Sz(std::string(127, ' ') + "0"), 1, true, 1},
};

class SettingsLoadTest : public RegistryTest, public ::testing::WithParamInterface<LoadCase> {};

// Each value name in turn holds the case's data while the other two are
// absent (and so on).
TEST_P(SettingsLoadTest, ReadsShowsAndClamps) {
    const LoadCase& c = GetParam();
    struct Field { const char* name; int SettingsDialog::*field; int box; };
    const Field fields[] = {{"bDefSystem", &SettingsDialog::m_bDefSystem, IDC_DEF_SYSTEM},
                            {"bAskImport", &SettingsDialog::m_bAskImport, IDC_ASK_IMPORT},
                            {"bAskDelete", &SettingsDialog::m_bAskDelete, IDC_ASK_DELETE}};
    for (const Field& f : fields) {
        SCOPED_TRACE(f.name);
        ::SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
        PutRawSetting(f.name, c.type, c.data);
        SettingsDialog dialog(nullptr);
        EXPECT_EQ(c.field, dialog.*f.field);
        for (const Field& other : fields) {
            if (other.field != f.field) {
                EXPECT_EQ(1, dialog.*other.field) << other.name;
            }
        }
        ASSERT_TRUE(dialog.Create(nullptr));
        EXPECT_EQ(c.shownChecked, Checked(dialog, f.box));
        EXPECT_EQ(c.fieldAfterShowing, dialog.*f.field);
        // Cancel keeps the field as shown and the registry as it was.
        SendCommand(dialog.m_hWnd, IDCANCEL);
        EXPECT_EQ(nullptr, dialog.m_hWnd);
        EXPECT_EQ(c.fieldAfterShowing, dialog.*f.field);
        std::vector<unsigned char> stored;
        ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, kKey, f.name, nullptr, &stored));
        EXPECT_EQ(c.data, stored);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsLoadTest, ::testing::ValuesIn(kLoadCases),
                         [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, SaveCreatesTheKeyAndWritesAllThree) {
    SettingsDialog dialog(nullptr);
    ASSERT_TRUE(dialog.Create(nullptr));
    EXPECT_TRUE(Checked(dialog, IDC_DEF_SYSTEM));
    EXPECT_TRUE(Checked(dialog, IDC_ASK_IMPORT));
    EXPECT_TRUE(Checked(dialog, IDC_ASK_DELETE));
    EXPECT_TRUE(Checked(dialog, IDC_MASK_SECRETS));
    ::SendDlgItemMessageA(dialog.m_hWnd, IDC_ASK_IMPORT, BM_CLICK, 0, 0);
    SendCommand(dialog.m_hWnd, IDOK);
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    EXPECT_EQ(1, dialog.m_bDefSystem);
    EXPECT_EQ(0, dialog.m_bAskImport);
    EXPECT_EQ(1, dialog.m_bAskDelete);
    // Decimal texts with their terminating zero counted.
    for (const auto& expected : {std::make_pair("bDefSystem", "1"), std::make_pair("bAskImport", "0"),
                                 std::make_pair("bAskDelete", "1"), std::make_pair("bMaskSecrets", "1")}) {
        DWORD type = 0;
        EXPECT_EQ(std::string(expected.second) + '\0', Stored(expected.first, &type)) << expected.first;
        EXPECT_EQ(DWORD(REG_SZ), type);
    }
    // The next run loads what was saved.
    SettingsDialog next(nullptr);
    EXPECT_EQ(1, next.m_bDefSystem);
    EXPECT_EQ(0, next.m_bAskImport);
    EXPECT_EQ(1, next.m_bAskDelete);
}

TEST_F(SettingsTest, SaveWritesNonZeroNumbersAsOne) {
    StoreSetting("bAskDelete", "5");
    StoreSetting("bDefSystem", "-1");
    SettingsDialog dialog(nullptr);
    ASSERT_TRUE(dialog.Create(nullptr));
    SendCommand(dialog.m_hWnd, IDOK);
    EXPECT_EQ(std::string("1") + '\0', Stored("bAskDelete"));
    EXPECT_EQ(std::string("1") + '\0', Stored("bDefSystem"));
    EXPECT_EQ(std::string("1") + '\0', Stored("bAskImport"));
}

TEST_F(SettingsTest, CancelAndCloseChangeNothing) {
    for (UINT close : {UINT(IDCANCEL), UINT(WM_CLOSE)}) {
        SettingsDialog dialog(nullptr);
        ASSERT_TRUE(dialog.Create(nullptr));
        for (int box : {IDC_DEF_SYSTEM, IDC_ASK_IMPORT, IDC_ASK_DELETE})
            ::SendDlgItemMessageA(dialog.m_hWnd, box, BM_CLICK, 0, 0);
        EXPECT_FALSE(Checked(dialog, IDC_DEF_SYSTEM));
        if (close == IDCANCEL) {
            SendCommand(dialog.m_hWnd, IDCANCEL);
        } else {
            ::SendMessageA(dialog.m_hWnd, WM_CLOSE, 0, 0);
            PumpMessages();
        }
        EXPECT_EQ(nullptr, dialog.m_hWnd);
        EXPECT_EQ(1, dialog.m_bDefSystem);
        EXPECT_EQ(1, dialog.m_bAskImport);
        EXPECT_EQ(1, dialog.m_bAskDelete);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
    }
}

TEST_F(SettingsTest, DialogMatchesItsTemplate) {
    SettingsDialog dialog(nullptr);
    ASSERT_TRUE(dialog.Create(nullptr));
    char caption[64] = "";
    ::GetWindowTextA(dialog.m_hWnd, caption, sizeof(caption));
    EXPECT_STREQ("Product Settings", caption);
    struct Control { int id; const char* text; };
    for (const Control& c : {Control{IDOK, "Save"}, Control{IDCANCEL, "Cancel"},
                             Control{IDC_DEF_SYSTEM, "&Default DSN page is system"},
                             Control{IDC_ASK_IMPORT, "Show &Overwrite DSN confirmations (when Import)"},
                             Control{IDC_ASK_DELETE, "Show De&lete DSN confirmations"},
                             Control{IDC_MASK_SECRETS, "&Hide secret values (passwords, keys, tokens)"}}) {
        EXPECT_EQ(c.text, ItemText(dialog.m_hWnd, c.id)) << c.id;
    }
    dialog.DestroyWindow();
}

TEST_F(SettingsTest, ReadAndWriteReportTheirStatus) {
    char out[128] = "unchanged";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadProductSetting("", "bAskImport", out, "7"));
    EXPECT_STREQ("7", out);
    EXPECT_STREQ("7", g_szSettingValue);

    EXPECT_EQ(ERROR_SUCCESS, WriteProductSetting("", "bAskImport", "0"));
    EXPECT_EQ(ERROR_SUCCESS, ReadProductSetting("", "bAskImport", out, "7"));
    EXPECT_STREQ("0", out);
    // A missing value in an existing key: the query's status, the default.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadProductSetting("", "bAskDelete", nullptr, "1"));
    EXPECT_STREQ("1", g_szSettingValue);
    // The sub-key text is appended to the program's key.
    EXPECT_EQ(ERROR_SUCCESS, WriteProductSetting("Extra", "Name", "text"));
    EXPECT_EQ("", Stored("Name"));
    std::vector<unsigned char> data;
    EXPECT_TRUE(GetValue(HKEY_CURRENT_USER, std::string(kKey) + "\\Extra", "Name", nullptr, &data));
    EXPECT_EQ(Sz("text"), data);
    EXPECT_EQ(ERROR_SUCCESS, ReadProductSetting("Extra", "Name", out, ""));
    EXPECT_STREQ("text", out);
}

}  // namespace
