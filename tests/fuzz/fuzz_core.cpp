// libFuzzer target for the portable core: profile file parsing and writing,
// and the value codecs. Besides memory and UB errors (sanitizers), it aborts
// when an invariant that export/import rely on does not hold.
#include "core/DsiCodec.h"
#include "core/DsiSource.h"
#include "core/ImportPlan.h"
#include "core/ProfileFile.h"
#include "core/ValueFormat.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using zentrel::ProfileFile;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_core invariant failed: %s\n", what);
        std::abort();
    }
}

// The harness's own idea of name equality, kept apart from the code under test.
bool Blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A'; }

std::string Canonical(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && Blank(s[b])) ++b;
    while (e > b && Blank(s[e - 1])) --e;
    std::string out = s.substr(b, e - b);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

bool Representable(const std::string& section, const std::string& key, const std::string& value) {
    for (const std::string* s : {&section, &key, &value})
        for (char c : *s)
            if (c == '\r' || c == '\n' || c == '\0') return false;
    const std::string sec = Canonical(section), k = Canonical(key);
    return !sec.empty() && !k.empty() && k.find('=') == std::string::npos && k[0] != ';' && k[0] != '[';
}

struct Pair {
    std::string section, key;
};

// Names that exist in the input, so lookups hit as well as miss.
std::vector<Pair> DerivePairs(const std::string& text) {
    std::vector<std::string> sections{"S"}, keys{"k"};
    size_t pos = 0;
    for (int line = 0; line < 16 && pos < text.size(); ++line) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string l = text.substr(pos, end - pos);
        const size_t open = l.find('['), close = l.rfind(']');
        if (open != std::string::npos && close != std::string::npos && close > open)
            sections.push_back(l.substr(open + 1, close - open - 1));
        const size_t eq = l.find('=');
        if (eq != std::string::npos) keys.push_back(l.substr(0, eq));
        pos = end + 1;
    }
    std::vector<Pair> pairs;
    for (size_t s = 0; s < sections.size() && s < 6; ++s)
        for (size_t k = 0; k < keys.size() && k < 6; ++k) pairs.push_back({sections[s], keys[k]});
    return pairs;
}

std::pair<bool, std::string> Read(const ProfileFile& f, const Pair& p) {
    std::string v;
    const bool found = f.Get(p.section, p.key, v);
    const std::string missing = "\x01<missing>";
    Check(f.GetString(p.section, p.key, missing) == (found ? v : missing), "GetString agrees with Get");
    return {found, found ? v : std::string()};
}

void FuzzProfile(const std::string& input) {
    ProfileFile f;
    f.Parse(input);
    const std::vector<Pair> pairs = DerivePairs(input);

    const std::string once = f.Serialize();
    ProfileFile g;
    g.Parse(once);
    Check(g.Serialize() == once, "Serialize is a fixed point");
    for (const Pair& p : pairs) Check(Read(f, p) == Read(g, p), "reload reads the same");

    // The write: names and value from the end of the input.
    const size_t tail = input.size() < 24 ? input.size() : 24;
    const std::string t = input.substr(input.size() - tail);
    Pair target = pairs[t.empty() ? 0 : static_cast<unsigned char>(t[0]) % pairs.size()];
    if (t.size() > 1 && (t[1] & 1)) target.key = t.substr(2, t.size() / 3);
    const std::string value = t.size() > 2 ? t.substr(t.size() / 2) : std::string();

    const bool ok = f.Set(target.section, target.key, value);
    Check(ok == Representable(target.section, target.key, value), "Set refuses exactly what cannot be held");
    const std::string after = f.Serialize();
    if (!ok) {
        Check(after == once, "refused Set changes nothing");
        return;
    }
    std::string v;
    Check(f.Get(target.section, target.key, v) && v == value, "Set reads back");
    ProfileFile h;
    h.Parse(after);
    Check(h.Get(target.section, target.key, v) && v == value, "Set reads back after reload");
    Check(h.Serialize() == after, "Serialize is a fixed point after Set");
    const std::string ts = Canonical(target.section), tk = Canonical(target.key);
    for (const Pair& p : pairs)
        if (!(Canonical(p.section) == ts && Canonical(p.key) == tk))
            Check(Read(g, p) == Read(h, p), "Set leaves other keys alone");
}

void FuzzCodecs(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Independent reference for short numbers: strtoll has the same syntax.
    int32_t n = zentrel::LeadingDecimal(text.c_str());
    size_t digits = 0, p = 0;
    while (p < text.size() && (text[p] == ' ' || (text[p] >= '\t' && text[p] <= '\r'))) ++p;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    while (p + digits < text.size() && text[p + digits] >= '0' && text[p + digits] <= '9') ++digits;
    if (digits <= 18)
        Check(static_cast<uint32_t>(n) == static_cast<uint32_t>(std::strtoll(text.c_str(), nullptr, 10)),
              "LeadingDecimal matches strtoll modulo 2^32");

    std::vector<unsigned char> bytes;
    size_t bad = 0;
    if (zentrel::DecodeDsiBinary(text, bytes, &bad)) {
        const std::string again = zentrel::EncodeDsiValue(zentrel::kRegBinary, bytes.data(), bytes.size());
        Check(again.size() == bytes.size() * 2, "hex length");
        for (size_t i = 0; i < again.size(); ++i)
            Check((text[i] | 0x20) == (again[i] | 0x20), "decoded bytes re-encode to the input digits");
    } else {
        Check(bad < text.size(), "bad index inside the text");
    }

    // What reaches a console holds no control character, and where the text
    // holds no escape of its own, the escapes read back as the text.
    const std::string printed = zentrel::EscapeControls(text);
    for (size_t i = 0; i < printed.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(printed[i]);
        const unsigned char next = i + 1 < printed.size() ? static_cast<unsigned char>(printed[i + 1]) : 0;
        Check(c >= 0x20 && c != 0x7F && !(c == 0xC2 && next >= 0x80 && next <= 0x9F), "no control character is printed");
    }
    if (text.find("\\x") == std::string::npos) {
        std::string back;
        for (size_t i = 0; i < printed.size(); ++i) {
            if (printed.compare(i, 2, "\\x") == 0 && i + 3 < printed.size()) {
                back += static_cast<char>(std::strtol(printed.substr(i + 2, 2).c_str(), nullptr, 16));
                i += 3;
            } else {
                back += printed[i];
            }
        }
        Check(back == text, "escapes read back as the text");
    }

    if (size == 0) return;
    const int32_t type = static_cast<int32_t>(data[0] % 9) - 1;  // -1 .. 7
    // data + 1 spans exactly to the end of libFuzzer's buffer: any over-read is caught.
    const zentrel::FormattedValue shown = zentrel::FormatRegistryValue(type, data + 1, size - 1);
    const std::string encoded = zentrel::EncodeDsiValue(type, data + 1, size - 1);
    if (type == zentrel::kRegDword)
        Check(static_cast<uint32_t>(zentrel::LeadingDecimal(encoded.c_str())) == shown.dwordValue,
              "dword text reads back as the shown number");
    if (type == zentrel::kRegBinary) {
        Check(zentrel::DecodeDsiBinary(encoded, bytes, &bad) && bytes.size() == size - 1, "binary round trip size");
        for (size_t i = 0; i + 1 < size; ++i) Check(bytes[i] == data[i + 1], "binary round trip bytes");
        Check(shown.valueText == (size - 1 > 32 ? encoded.substr(0, 64) + "..." : encoded),
              "shown hex is the export text, cut after 32 bytes");
    }
    // Every value comes back whole: from its text where that carries it,
    // else from the exact bytes export adds.
    std::vector<unsigned char> back;
    std::string problem;
    const std::vector<unsigned char> original(data + 1, data + size);
    if (zentrel::DsiValueTextCarriesData(type, data + 1, size - 1))
        Check(zentrel::DecodeDsiRowData(type, encoded, false, "", back, &problem) && back == original,
              "a value text said to carry its data rebuilds it");
    Check(zentrel::DecodeDsiRowData(type, encoded, true, zentrel::DsiHex(data + 1, size - 1), back, &problem) &&
              back == original,
          "exact bytes rebuild the value");
    const std::vector<unsigned char> reg = zentrel::DsiTextToRegistryData(encoded, type);
    Check(reg.size() == encoded.size() + (type == zentrel::kRegMultiSz ? 2 : 1), "terminators");
}

// Whatever a file holds, what import would pass to the registry is a name
// the registry receives whole: no zero byte, no empty level, within the
// counted-string and nesting limits.
void CheckImportNames(const ProfileFile& f, const std::string& section) {
    std::string dsn;
    if (f.Get(section, "DSN", dsn)) {
        Check(dsn.find('\0') == std::string::npos, "texts end at the first zero");
        if (zentrel::DsnNameProblem(dsn).empty())
            Check(!dsn.empty() && dsn.size() <= zentrel::kMaxKeyNameLength && dsn.find('\\') == std::string::npos,
                  "an accepted source name fits one key level");
    }
    const zentrel::DsiSourceRows rows = zentrel::ReadDsiSourceRows(f, section, 1 << 20);
    if (!rows.countValid) Check(rows.rows.empty(), "no row of an uncounted source");
    Check(rows.rows.size() + rows.problems.size() + static_cast<size_t>(rows.missing) ==
              static_cast<size_t>(rows.announced),
          "every announced row is written, reported or counted missing");
    for (const zentrel::DsiImportRow& row : rows.rows) {
        Check(row.levels.size() <= zentrel::kMaxDsnDepth, "path depth bounded");
        for (const std::string& level : row.levels)
            Check(!level.empty() && level.size() <= zentrel::kMaxKeyNameLength && level.find('\0') == std::string::npos &&
                      level.find('\\') == std::string::npos,
                  "each level is one whole key name");
        if (!row.subkey)
            Check(row.valueName.size() <= zentrel::kMaxValueNameLength && row.valueName.find('\0') == std::string::npos,
                  "value names fit");
        Check(row.subkey || !zentrel::IsLinkTargetValue(row.valueName, static_cast<int32_t>(row.type)),
              "no row makes a key look like a registry link");
    }
}

// A source the plan accepts has a name the registry can hold and counted
// rows; one it refuses brings no rows to write.
void CheckImportPlan(const ProfileFile& f) {
    zentrel::DsiImportTarget target;
    target.systemScope = true;
    target.maxRows = 1 << 20;
    const std::vector<int> indices = zentrel::ReadDsiFileCount(f).indices;
    size_t sections = 0;
    f.ForEachSection([&](const std::string&) { ++sections; });
    Check(indices.size() <= 2 * sections + 1, "the sources read are bounded by the file's sections");
    for (size_t n = 0; n < indices.size() && n < 4; ++n) {
        zentrel::DsiSourcePlan plan = zentrel::PlanDsiSource(f, indices[n], target);
        if (plan.fileName.empty()) continue;
        zentrel::PlanDsiSourceRows(f, target, plan);
        if (plan.refusal == zentrel::DsiRefusal::None)
            Check(zentrel::DsnNameProblem(plan.name).empty() && plan.rows.countValid, "an accepted source is whole");
        else
            Check(plan.rows.rows.empty(), "a refused source writes nothing");
    }
}

// The input's start, grown past the registry's limits: names of exactly
// the lengths where counted strings wrap or limits begin.
void FuzzImportNames(const std::string& input) {
    ProfileFile f;
    f.Parse(input);
    for (const char* section : {"DSN0", "DSN#0", "DSN1"}) CheckImportNames(f, section);
    CheckImportPlan(f);
    // One input in four: the grown texts are slow to build.
    if (input.empty() || static_cast<unsigned char>(input[0]) % 4 != 0) return;
    static const size_t kLengths[] = {255, 256, 16383, 16384, 65535, 65536, 65536 + 17, 131072 + 3};
    const size_t length = kLengths[(static_cast<unsigned char>(input[0]) / 4) % 8];
    const std::string seed = input.substr(1, 16).empty() ? std::string("x") : input.substr(1, 16);
    std::string name;
    while (name.size() < length) name += seed;
    name.resize(length);
    const std::string grown = "[General]\nItems=1\n[DSN0]\nDSN=" + name + "\nItems=4\nName0=" + name +
                              "\nValue0=v\nFormat0=1\nName1=a\\" + name + "\\b\nFormat1=1\nName2=" + name +
                              "\\\nValue2=<SUBKEY>\nFormat2=-1\nName3=\\\\" + seed + "\\\\v\nFormat3=4\n";
    ProfileFile g;
    g.Parse(grown);
    CheckImportNames(g, "DSN0");
    CheckImportPlan(g);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzProfile(std::string(reinterpret_cast<const char*>(data), size));
    FuzzCodecs(data, size);
    FuzzImportNames(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
