// Reading a data source's key into the attribute table, and showing it.
#include <algorithm>
#include <cstring>

#include "TestSupport.h"
#include "WindowHelpers.h"

#include "core/ValueFormat.h"
#include "ui/Compare.h"
#include "ui/ValueViewer.h"
#include "ui/resource.h"

namespace {

std::vector<unsigned char> Bytes(const std::string& text) { return std::vector<unsigned char>(text.begin(), text.end()); }
std::vector<unsigned char> Text(const std::string& text) {
    std::vector<unsigned char> bytes = Bytes(text);
    bytes.push_back(0);
    return bytes;
}
std::vector<unsigned char> Counting(size_t count) {
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = (unsigned char)(i * 7 + 1);
    return bytes;
}
std::string Hex(const std::vector<unsigned char>& bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

// Any type, any bytes: what the platform's own API allows.
void PutRaw(HKEY root, const std::string& path, const char* name, DWORD type, const std::vector<unsigned char>& data) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(root, path.c_str(), &key));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, name, 0, type, data.empty() ? nullptr : data.data(), (DWORD)data.size()));
    ::RegCloseKey(key);
}

struct ValueCase {
    const char* name;
    DWORD type;
    std::vector<unsigned char> data;
    std::string valueText;
    std::string typeText;
    DWORD dwordValue;
    // What Ctrl+C and the viewer take, when not the list's text; "*": the
    // viewer's hex dump, checked elsewhere.
    std::string copied = "";
    std::string viewed = "";
};

const std::string kText300 = std::string(299, 'v') + "!";
const std::vector<unsigned char> kBinary200 = Counting(200);
const std::string kDumpOf3 = "00000000  0A 01 FF" + std::string(40, ' ') + "  ...\r\n";

const ValueCase kValueCases[] = {
    {"dword_ten", REG_DWORD, {10, 0, 0, 0}, "0x0000000A (10)", "REG_DWORD", 10},
    {"dword_minus_one", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, "0xFFFFFFFF (-1)", "REG_DWORD", 0xFFFFFFFF},
    // Short dword data: the bytes that are there, nothing read past them.
    {"dword_two_bytes", REG_DWORD, {0x34, 0x12}, "0x00001234 (4660)", "REG_DWORD", 0x1234},
    {"dword_one_byte", REG_DWORD, {0x80}, "0x00000080 (128)", "REG_DWORD", 0x80},
    {"dword_no_bytes", REG_DWORD, {}, "0x00000000 (0)", "REG_DWORD", 0},
    {"qword", REG_QWORD, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}, "0x1122334455667788 (1234605616436508552)",
     "REG_QWORD", 0},
    {"binary_three", REG_BINARY, {0x0A, 0x01, 0xFF}, "0A01FF", "REG_BINARY", 0, "", kDumpOf3},
    {"binary_32", REG_BINARY, Counting(32), Hex(Counting(32), 32), "REG_BINARY", 0, "", "*"},
    {"binary_33", REG_BINARY, Counting(33), Hex(Counting(33), 32) + "...", "REG_BINARY", 0, Hex(Counting(33), 33), "*"},
    {"binary_empty", REG_BINARY, {}, "", "REG_BINARY", 0},
    {"binary_200_shown_short_kept_whole", REG_BINARY, kBinary200, Hex(kBinary200, 32) + "...", "REG_BINARY", 0,
     Hex(kBinary200, 200), "*"},
    {"expand_sz_unexpanded", REG_EXPAND_SZ, Text("%SystemRoot%\\odbc.log"), "%SystemRoot%\\odbc.log", "REG_EXPAND_SZ", 0},
    {"multi_sz_every_string", REG_MULTI_SZ, Bytes(std::string("first\0\0third\0\0", 14)), "first |  | third",
     "REG_MULTI_SZ", 0, "", "first\r\n\r\nthird"},
    {"sz_127_characters", REG_SZ, Text(std::string(127, 'a')), std::string(127, 'a'), "REG_SZ", 0},
    {"sz_128_characters", REG_SZ, Text(std::string(128, 'b')), std::string(128, 'b'), "REG_SZ", 0},
    {"sz_300_characters", REG_SZ, Text(kText300), kText300, "REG_SZ", 0},
    {"sz_without_terminator", REG_SZ, Bytes("abc"), "abc", "REG_SZ", 0},
    {"sz_empty", REG_SZ, Text(""), "", "REG_SZ", 0},
    {"none_as_bytes", REG_NONE, Text("raw"), "72617700", "REG_NONE", 0, "",
     "00000000  72 61 77 00" + std::string(37, ' ') + "  raw.\r\n"},
    {"unknown_type_by_number", 0x55, {1, 2}, "0102", "85", 0, "", "*"},
};

class AttributeTest : public WindowTest {
protected:
    AttributeTest() : WindowTest(Mode::Batch) {}
    void List(const char* dsn) {
        ASSERT_EQ(0, window->ConnectOdbcIni(FALSE));
        window->FillSubTree(window->m_hOdbcIniKey, dsn);
        ASSERT_EQ((int)window->m_aAttributeRows.size(), window->m_nAttributeRows);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const AttributeRow& row : window->m_aAttributeRows) names.push_back(row.name);
        return names;
    }
};

// Every case is one value of one source; each row shows its formatting and
// keeps the data exactly as stored.
TEST_F(AttributeTest, FormatsEachTypeAndKeepsTheData) {
    for (const ValueCase& c : kValueCases) PutRaw(HKEY_CURRENT_USER, OdbcPath("Values"), c.name, c.type, c.data);
    List("Values");
    ASSERT_EQ(sizeof(kValueCases) / sizeof(kValueCases[0]), window->m_aAttributeRows.size());
    for (const ValueCase& c : kValueCases) {
        SCOPED_TRACE(c.name);
        const AttributeRow* found = nullptr;
        for (const AttributeRow& row : window->m_aAttributeRows) {
            if (row.name == c.name) found = &row;
        }
        ASSERT_NE(nullptr, found);
        EXPECT_EQ(c.valueText, found->valueText);
        EXPECT_EQ(c.typeText, found->typeText);
        EXPECT_EQ((int)c.type, found->typeCode);
        if (c.type == REG_DWORD) {
            EXPECT_EQ(c.dwordValue, found->dwordValue);
        }
        // The data as the platform's ANSI calls read it, every byte.
        std::vector<unsigned char> stored;
        ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, OdbcPath("Values"), c.name, nullptr, &stored));
        EXPECT_EQ(stored, found->data);
        EXPECT_GE(found->data.size(), c.data.size());
    }
    EXPECT_TRUE(prompts->calls.empty());
}

struct OrderCase {
    const char* name;
    std::function<void(const std::string&)> build;  // given the source's path
    std::vector<std::string> rows;
};

const OrderCase kOrderCases[] = {
    {"empty_source", [](const std::string&) {}, {}},
    {"nested_keys_first_depth_first",
     [](const std::string& dsn) {
         PutString(HKEY_CURRENT_USER, dsn, "Description", "d");
         PutString(HKEY_CURRENT_USER, dsn, "Driver", "x.dll");
         PutDword(HKEY_CURRENT_USER, dsn + "\\Engines\\Jet", "Threads", 3);
     },
     {"Engines", "Engines\\Jet", "Engines\\Jet\\Threads", "Description", "Driver"}},
    {"sibling_keys_each_with_its_rows",
     [](const std::string& dsn) {
         PutString(HKEY_CURRENT_USER, dsn, "Own", "1");
         PutString(HKEY_CURRENT_USER, dsn + "\\A", "a1", "1");
         PutString(HKEY_CURRENT_USER, dsn + "\\A\\Deep", "d1", "1");
         PutString(HKEY_CURRENT_USER, dsn + "\\B", "b1", "1");
         PutKey(HKEY_CURRENT_USER, dsn + "\\C");
     },
     {"A", "A\\Deep", "A\\Deep\\d1", "A\\a1", "B", "B\\b1", "C", "Own"}},
    {"default_values_have_empty_names",
     [](const std::string& dsn) {
         PutString(HKEY_CURRENT_USER, dsn, "", "top default");
         PutString(HKEY_CURRENT_USER, dsn + "\\Sub", "", "sub default");
     },
     {"Sub", "Sub\\", ""}},
    // Long data does not end the values of its key.
    {"long_value_hides_nothing_after_it",
     [](const std::string& dsn) {
         PutString(HKEY_CURRENT_USER, dsn, "A long", std::string(5000, 'L'));
         PutBinary(HKEY_CURRENT_USER, dsn, "B blob", Counting(4096));
         PutString(HKEY_CURRENT_USER, dsn, "C after", "c");
     },
     {"A long", "B blob", "C after"}},
    // Long nested key names do not end the nested keys of their key.
    {"long_nested_key_names",
     [](const std::string& dsn) {
         HKEY source = NULL;
         ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_CURRENT_USER, dsn.c_str(), &source));
         PutString(source, "A" + std::string(69, 'a'), "v", "1");
         PutString(source, "B" + std::string(254, 'b'), "w", "2");
         PutKey(source, "C");
         ::RegCloseKey(source);
     },
     {"A" + std::string(69, 'a'), "A" + std::string(69, 'a') + "\\v", "B" + std::string(254, 'b'),
      "B" + std::string(254, 'b') + "\\w", "C"}},
};

TEST_F(AttributeTest, RowsComeInWalkOrder) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.name);
        PutKey(HKEY_CURRENT_USER, OdbcPath(c.name));
        c.build(OdbcPath(c.name));
        List(c.name);
        EXPECT_EQ(c.rows, Names());
    }
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(AttributeTest, NestedKeyRowsAreMarked) {
    PutDword(HKEY_CURRENT_USER, OdbcPath("Jet") + "\\Engines\\Jet", "Threads", 3);
    List("Jet");
    ASSERT_EQ(3u, window->m_aAttributeRows.size());
    for (int i : {0, 1}) {
        EXPECT_EQ("<SUBKEY>", window->m_aAttributeRows[i].valueText);
        EXPECT_EQ("", window->m_aAttributeRows[i].typeText);
        EXPECT_EQ(-1, window->m_aAttributeRows[i].typeCode);
    }
    EXPECT_EQ("0x00000003 (3)", window->m_aAttributeRows[2].valueText);
}

// Past the old limit of 128 rows: nothing is dropped, from either loop.
TEST_F(AttributeTest, ManyAttributesAreListedWhole) {
    const std::string dsn = OdbcPath("Big");
    for (int i = 0; i < 200; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "Attr%03d", i);
        PutString(HKEY_CURRENT_USER, dsn, name, std::string(i, 'x'));
    }
    for (int i = 0; i < 140; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "Key%03d", i);
        PutDword(HKEY_CURRENT_USER, dsn + "\\" + name, "N", i);
    }
    List("Big");
    ASSERT_EQ(140u * 2 + 200u, window->m_aAttributeRows.size());
    EXPECT_EQ("Key139\\N", window->m_aAttributeRows[279].name);
    EXPECT_EQ("0x0000008B (139)", window->m_aAttributeRows[279].valueText);
    EXPECT_EQ("Attr000", window->m_aAttributeRows[280].name);
    EXPECT_EQ("Attr199", window->m_aAttributeRows[479].name);
    EXPECT_EQ(std::string(199, 'x'), window->m_aAttributeRows[479].valueText);
}

TEST_F(AttributeTest, EachListingStartsAfresh) {
    PutString(HKEY_CURRENT_USER, OdbcPath("First"), "One", "1");
    PutString(HKEY_CURRENT_USER, OdbcPath("First"), "Two", "2");
    PutString(HKEY_CURRENT_USER, OdbcPath("Second"), "Three", "3");
    List("First");
    List("Second");
    EXPECT_EQ((std::vector<std::string>{"Three"}), Names());
}

TEST_F(AttributeTest, MissingSourceIsReported) {
    PutString(HKEY_CURRENT_USER, OdbcPath("Present"), "One", "1");
    List("Present");
    prompts->messageAnswers = {IDOK};
    window->FillSubTree(window->m_hOdbcIniKey, "Absent");
    EXPECT_EQ(0, window->m_nAttributeRows);
    EXPECT_TRUE(window->m_aAttributeRows.empty());
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("FillSubTree", prompts->calls[0].caption);
    EXPECT_EQ("The data source 'Absent' could not be read:\n" + MainWindow::SystemErrorText(ERROR_FILE_NOT_FOUND),
              prompts->calls[0].text);
    EXPECT_EQ(UINT(MB_OK | MB_ICONSTOP), prompts->calls[0].type);
    EXPECT_EQ(NULL, prompts->calls[0].owner);
    EXPECT_FALSE(window->Succeeded());
}

// The attribute list of the window: the caption line, then one row per
// table row with its three columns.
class AttributeDisplayTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        StoreSetting("bDefSystem", "0");
        PutKey(HKEY_CURRENT_USER, OdbcPath("Empty"));
        const std::string jet = OdbcPath("Sales Access");
        PutString(HKEY_CURRENT_USER, jet, "Description", "Regional sales");
        PutString(HKEY_CURRENT_USER, jet, "Driver", "ace.dll");
        PutDword(HKEY_CURRENT_USER, jet + "\\Engines\\Jet", "Threads", 3);
        PutBinary(HKEY_CURRENT_USER, jet, "Flags", {0x0A, 0x01, 0xFF});
        Open();
        ASSERT_EQ((std::vector<std::string>{"Empty", "Sales Access"}), ListColumn(list, 0));
    }
};

TEST_F(AttributeDisplayTest, HighlightListsTheSource) {
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_STREQ("Sales Access", window->m_szCurrentDsn);
    EXPECT_EQ("'Sales Access' data source properties", ItemText(window->m_hWnd, IDC_CAPTION_LINE));
    const std::vector<std::vector<std::string>> expected = {
        {"Engines", "<SUBKEY>", ""},
        {"Engines\\Jet", "<SUBKEY>", ""},
        {"Engines\\Jet\\Threads", "0x00000003 (3)", "REG_DWORD"},
        {"Description", "Regional sales", "REG_SZ"},
        {"Driver", "ace.dll", "REG_SZ"},
        {"Flags", "0A01FF", "REG_BINARY"},
    };
    EXPECT_EQ(expected, ListRows(attributes, 3));
    EXPECT_EQ(6, window->m_nAttributeRows);

    // A source without attributes: an empty list under its caption.
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ("'Empty' data source properties", ItemText(window->m_hWnd, IDC_CAPTION_LINE));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
    EXPECT_EQ(0, window->m_nAttributeRows);
    EXPECT_TRUE(prompts->calls.empty());
}

TEST_F(AttributeDisplayTest, ManyAndLongAttributesAreShownWhole) {
    const std::string dsn = OdbcPath("Sales Access");
    for (int i = 0; i < 200; ++i) {
        char name[16];
        snprintf(name, sizeof(name), "X%03d", i);
        PutString(HKEY_CURRENT_USER, dsn, name, i == 150 ? kText300 : std::string("v") + name);
    }
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    const std::vector<std::vector<std::string>> rows = ListRows(attributes, 3);
    ASSERT_EQ(206u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"X150", kText300, "REG_SZ"}), rows[6 + 150]);
    EXPECT_EQ((std::vector<std::string>{"X199", "vX199", "REG_SZ"}), rows[205]);
}

// A source that vanished since the fill: reported, and nothing listed.
TEST_F(AttributeDisplayTest, VanishedSourceIsReported) {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, OdbcPath("Sales Access").c_str());
    prompts->messageAnswers = {IDOK};
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_EQ(1u, prompts->calls.size());
    EXPECT_EQ("FillSubTree", prompts->calls[0].caption);
    EXPECT_EQ(window->m_hWnd, prompts->calls[0].owner);
    EXPECT_EQ("'Sales Access' data source properties - incomplete: 'Sales Access' not read",
              ItemText(window->m_hWnd, IDC_CAPTION_LINE));
    EXPECT_EQ(0, ListView_GetItemCount(attributes));
}

// Each type as the list shows it, as Ctrl+C copies it and as the viewer
// shows it: bytes whole in the copy, a multi-string a line a string.
TEST_F(AttributeDisplayTest, EachTypeInTheListTheCopyAndTheViewer) {
    for (const ValueCase& c : kValueCases) PutRaw(HKEY_CURRENT_USER, OdbcPath("Values"), c.name, c.type, c.data);
    Open(1);
    Pick("Values");
    const std::vector<std::vector<std::string>> rows = ListRows(attributes, 3);
    ASSERT_EQ(sizeof(kValueCases) / sizeof(kValueCases[0]), rows.size());
    for (const ValueCase& c : kValueCases) {
        SCOPED_TRACE(c.name);
        int row = 0;
        while (row < (int)rows.size() && rows[row][0] != c.name) ++row;
        ASSERT_LT(row, (int)rows.size());
        EXPECT_EQ((std::vector<std::string>{c.name, c.valueText, c.typeText}), rows[row]);
        ListView_SetItemState(attributes, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(attributes, row, LVIS_SELECTED, LVIS_SELECTED);
        prompts->calls.clear();
        Command(ID_COPY_PROPERTIES);
        Command(ID_VIEW_VALUE);
        ASSERT_EQ(2u, prompts->calls.size());
        EXPECT_EQ("clipboard", prompts->calls[0].kind);
        EXPECT_EQ(std::string(c.name) + "\t" + (c.copied.empty() ? c.valueText : c.copied) + "\t" + c.typeText + "\r\n",
                  prompts->calls[0].text);
        EXPECT_EQ("viewer", prompts->calls[1].kind);
        EXPECT_EQ(c.name, prompts->calls[1].caption);
        if (c.viewed == "*") {
            EXPECT_EQ(0u, prompts->calls[1].text.find("00000000  "));
        } else {
            EXPECT_EQ(c.viewed.empty() ? c.valueText : c.viewed, prompts->calls[1].text);
        }
    }
}

// Planted secrets of every type: no cell, copy or viewer holds them until
// the administrator reveals one, or the setting turns masking off.
TEST_F(AttributeDisplayTest, SecretsAreShownAsTheMaskUnlessAsked) {
    const std::string path = OdbcPath("Values");
    PutRaw(HKEY_CURRENT_USER, path, "PWD", REG_SZ, Text("Pl4nted!1"));
    PutRaw(HKEY_CURRENT_USER, path, "Server", REG_SZ, Text("db01"));
    PutRaw(HKEY_CURRENT_USER, path + "\\Sub", "SSLKeyPassword", REG_BINARY, Text("Pl4nted!2"));
    PutRaw(HKEY_CURRENT_USER, path, "Token", REG_MULTI_SZ, Bytes(std::string("Pl4nted!3\0\0", 11)));
    PutRaw(HKEY_CURRENT_USER, path, "api_key", REG_DWORD, {0x0D, 0xF0, 0xAD, 0x0B});
    const char* const planted[] = {"Pl4nted", "506C346E746564", "0BADF00D", "195948557"};
    const std::string dsi = ScratchDir("secrets") + "\\compared.dsi";
    WriteWholeFile(dsi, "[General]\r\nItems=1\r\n[DSN0]\r\nDriver=D\r\nDSN=Values\r\nItems=1\r\n"
                        "Name0=PWD\r\nValue0=Pl4nted!9\r\nFormat0=1\r\n");
    struct Case {
        const char* what;
        const char* maskSetting;  // stored before the window opens; null: none
        UINT reveal;              // a command before the copy, or 0
        bool clear;               // the secrets appear as they are
    };
    const Case cases[] = {
        {"masked by default", nullptr, 0, false},
        {"revealed on request", nullptr, ID_REVEAL_SECRET, true},
        {"the setting turned off", "0", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.maskSetting) StoreSetting("bMaskSecrets", c.maskSetting);
        Open(1);
        Pick("Values");
        ListView_SetItemState(attributes, -1, LVIS_SELECTED, LVIS_SELECTED);
        prompts->calls.clear();
        if (c.reveal) Command(c.reveal);
        Command(ID_COPY_PROPERTIES);
        std::string shown = prompts->calls.back().text;
        for (const std::vector<std::string>& row : ListRows(attributes, 3)) shown += row[0] + "\t" + row[1] + "\n";
        for (int row = 0; row < ListView_GetItemCount(attributes); ++row) {
            ListView_SetItemState(attributes, -1, 0, LVIS_SELECTED);
            ListView_SetItemState(attributes, row, LVIS_SELECTED, LVIS_SELECTED);
            Command(ID_VIEW_VALUE);
            shown += prompts->calls.back().text + "\n";
        }
        std::vector<zentrel::SourceComparison> compared;
        EXPECT_EQ(kCompareDiffers, CompareScopeWithFile(*window, dsi.c_str(), FALSE, compared));
        for (const zentrel::EntryDifference& d : compared.at(0).differences)
            shown += d.path + "\t" + d.registry + "\t" + d.file + "\n";
        EXPECT_EQ(c.maskSetting == nullptr, shown.find("PWD\tREG_SZ ********\tREG_SZ ********\n") != std::string::npos);
        for (const char* form : planted) EXPECT_EQ(c.clear, shown.find(form) != std::string::npos) << form << "\n" << shown;
        EXPECT_NE(std::string::npos, shown.find("Server\tdb01\n")) << shown;
        EXPECT_EQ(!c.clear, shown.find("PWD\t********\n") != std::string::npos) << shown;
    }
    // The menu's export choice: the file names what it left out.
    Command(ID_WITHHOLD_SECRETS);
    EXPECT_EQ(UINT(MF_CHECKED), ::GetMenuState(::GetMenu(Hwnd()), ID_WITHHOLD_SECRETS, MF_BYCOMMAND) & MF_CHECKED);
    const std::string file = ScratchDir("secrets") + "\\user.dsi";
    window->ExportScopeToFile(file.c_str(), FALSE);
    const std::string written = ReadWholeFile(file);
    for (const char* form : planted) EXPECT_EQ(std::string::npos, written.find(form)) << form << "\n" << written;
    EXPECT_NE(std::string::npos, written.find(";Left out (secret): Sub\\SSLKeyPassword\r\n")) << written;
    EXPECT_NE(std::string::npos, written.find("db01")) << written;
}

// The viewer, created for real, shows the text whole, a row at a time (a
// line too long for a row goes on in the next, never inside a character),
// copies the rows as the text they hold, and fits the screen.
TEST_F(AttributeDisplayTest, ViewerShowsTheWholeTextWithinTheScreen) {
    struct Case {
        const char* label;
        std::string text;
        bool fixedPitch;
        int rows;
    };
    const std::vector<unsigned char> megabyte = Counting(1 << 20);
    const Case cases[] = {
        {"long_line", std::string(3000, 'w') + "\r\nend", false, 16},
        {"character_kept_whole", std::string(199, 'a') + "\xC3\xA9" + std::string(300, 'b'), false, 3},
        {"line_breaks_of_both_kinds", "a\r\nb\nc\r\n", false, 4},
        {"empty", "", false, 1},
        {"megabyte_dump", zentrel::HexDump(megabyte.data(), megabyte.size()), true, 65537},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ValueViewer viewer(window.get(), "Long", c.text, c.fixedPitch);
        ASSERT_TRUE(viewer.Create(window.get()));
        HWND rows = ::GetDlgItem(viewer.m_hWnd, IDC_VALUE_TEXT);
        ASSERT_EQ(c.rows, ListView_GetItemCount(rows));
        std::string joined;
        for (int i = 0; i < c.rows; i += std::max(1, c.rows / 50)) {
            char shown[300] = "";
            ListView_GetItemText(rows, i, 0, shown, sizeof(shown));
            EXPECT_EQ(viewer.RowText(i), shown) << i;
            EXPECT_LE(strlen(shown), 200u) << i;
        }
        for (int i = 0; i < c.rows; ++i) joined += viewer.RowText(i);
        std::string unbroken;
        for (char ch : c.text)
            if (ch != '\r' && ch != '\n') unbroken += ch;
        EXPECT_EQ(unbroken, joined);
        // Ctrl+A, Ctrl+C: the text as it is, line breaks and all.
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        ::SendMessageA(rows, WM_KEYDOWN, 'A', 0);
        ::SendMessageA(rows, WM_KEYDOWN, 'C', 0);
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
        EXPECT_EQ(c.text, viewer.SelectedText());
        if (!c.text.empty()) {
            ASSERT_FALSE(prompts->calls.empty());
            EXPECT_EQ("clipboard", prompts->calls.back().kind);
            EXPECT_EQ(c.text, prompts->calls.back().text);
        }
        EXPECT_EQ(WS_THICKFRAME, ::GetWindowLongA(viewer.m_hWnd, GWL_STYLE) & WS_THICKFRAME);
        RECT placed, work;
        ::GetWindowRect(viewer.m_hWnd, &placed);
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_GE(placed.left, work.left);
        EXPECT_GE(placed.top, work.top);
        EXPECT_LE(placed.right, work.right);
        EXPECT_LE(placed.bottom, work.bottom);
        viewer.DestroyWindow();
        prompts->calls.clear();
    }
}

// A change reported for all rows at once names no row: nothing is listed.
TEST_F(AttributeDisplayTest, ChangeOfNoParticularRowListsNothing) {
    ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ASSERT_EQ(6, ListView_GetItemCount(attributes));
    NMLISTVIEW change = {};
    change.hdr.hwndFrom = list;
    change.hdr.idFrom = IDC_DSN_LIST;
    change.hdr.code = LVN_ITEMCHANGED;
    change.iItem = -1;
    change.uChanged = LVIF_STATE;
    ::SendMessageA(window->m_hWnd, WM_NOTIFY, IDC_DSN_LIST, (LPARAM)&change);
    EXPECT_STREQ("Sales Access", window->m_szCurrentDsn);
    EXPECT_EQ(6, ListView_GetItemCount(attributes));
    EXPECT_TRUE(prompts->calls.empty());
}

}  // namespace
