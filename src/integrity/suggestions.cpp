#include "suggestions.h"

#include "component_value.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string_view>

namespace rav::integrity
{

namespace
{

bool isWordChar(unsigned char c)
{
    return std::isalnum(c) || c == '.' || c >= 0x80;
}

// The value words of a word that is a number, read by the one value parser
// the whole program uses: "=4.7k" for "4k7", "4.7K", "4700" or "4700R";
// "=100n" for "100n", "100nF" or "0.1uF", and also "=100nf" so that a
// capacitor's and an inductor's equal numbers are told apart. Other units
// keep their unit ("=50v"), so that "50V" never meets a 50 ohm resistor.
void valueWords(const std::string& word, std::vector<std::string>& out)
{
    const auto q = project::readQuantity(word);
    if (!q)
        return;
    if (q->unit.empty() || q->unit == "f" || q->unit == "h")
        out.push_back("=" + q->number);
    if (!q->unit.empty())
        out.push_back("=" + q->number + q->unit);
}

// Lower-case runs of ASCII letters and digits: "C_0603_1608Metric" gives
// "c", "0603", "1608metric".
std::vector<std::string> tokens(const std::string& text)
{
    std::vector<std::string> out;
    std::string current;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!current.empty()) {
            out.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty())
        out.push_back(std::move(current));
    return out;
}

// Chip sizes in inches (as parts are sold) and the metric names footprints
// also use, mapped to the inch name.
const std::map<std::string, std::string, std::less<>>& chipSizes()
{
    static const std::map<std::string, std::string, std::less<>> sizes {
        { "0201", "0201" }, { "0402", "0402" }, { "0603", "0603" }, { "0805", "0805" }, { "1206", "1206" },
        { "1210", "1210" }, { "1812", "1812" }, { "2010", "2010" }, { "2512", "2512" }, { "1008", "1008" },
        { "2220", "2220" }, { "1005", "0402" }, { "1608", "0603" }, { "2012", "0805" }, { "3216", "1206" },
        { "3225", "1210" }, { "4532", "1812" }, { "5025", "2010" }, { "6332", "2512" } };
    return sizes;
}

// Package families whose number names the package ("SOT-23", "SOIC16"),
// and names that mean the same package.
bool isFamily(std::string_view s)
{
    static const std::set<std::string, std::less<>> families { "sot", "sod", "soic", "so", "tssop", "ssop",
        "msop", "qfn", "dfn", "tqfp", "lqfp", "qfp", "dip", "pdip", "to", "do", "sc", "eia" };
    return families.count(s) > 0;
}

std::string samePackage(std::string key)
{
    static const std::map<std::string, std::string, std::less<>> aliases { { "smb", "do214aa" },
        { "sma", "do214ac" }, { "smc", "do214ab" }, { "dpak", "to252" }, { "d2pak", "to263" },
        { "pdip", "dip" }, { "sc70", "sot323" }, { "sc88", "sot363" } };
    for (const auto& [alias, name] : aliases)
        if (key.compare(0, alias.size(), alias) == 0
            && (key.size() == alias.size() || !std::isalpha(static_cast<unsigned char>(key[alias.size()]))))
            return name + key.substr(alias.size());
    if (key.compare(0, 2, "so") == 0 && key.size() > 2 && std::isdigit(static_cast<unsigned char>(key[2])))
        return "soic" + key.substr(2);
    return key;
}

// The digits of `token` when they are one run of four bounded by letters or
// the token's ends ("r0402", "sm0805", "0805w", "1608metric", "rc1206fr").
std::string fourDigits(const std::string& token)
{
    const std::size_t first = token.find_first_of("0123456789");
    if (first == std::string::npos)
        return {};
    std::size_t end = first;
    while (end < token.size() && std::isdigit(static_cast<unsigned char>(token[end])))
        ++end;
    if (end - first != 4 || token.find_first_of("0123456789", end) != std::string::npos)
        return {};
    return token.substr(first, 4);
}

// Kinds of part, as bits, told apart where a record of one is never right
// for a device of another.
enum Kind : unsigned {
    Resistor = 1,
    Thermistor = 2,
    Capacitor = 4,
    Inductor = 8,
    Ferrite = 16,
    Led = 32,
    Diode = 64,
    Crystal = 128,
    Fuse = 256,
};

unsigned kindOfWord(std::string_view w)
{
    static const std::map<std::string, unsigned, std::less<>> words { { "resistor", Resistor },
        { "resistors", Resistor }, { "res", Resistor }, { "thermistor", Thermistor }, { "ntc", Thermistor },
        { "ptc", Thermistor | Fuse }, { "varistor", Thermistor }, { "capacitor", Capacitor },
        { "capacitors", Capacitor }, { "cap", Capacitor }, { "mlcc", Capacitor }, { "inductor", Inductor },
        { "inductors", Inductor }, { "ind", Inductor }, { "choke", Inductor }, { "ferrite", Ferrite },
        { "bead", Ferrite }, { "led", Led }, { "leds", Led }, { "diode", Diode }, { "diodes", Diode },
        { "schottky", Diode }, { "zener", Diode }, { "tvs", Diode }, { "crystal", Crystal },
        { "crystals", Crystal }, { "xtal", Crystal }, { "resonator", Crystal }, { "fuse", Fuse },
        { "fuses", Fuse }, { "polyfuse", Fuse } };
    auto it = words.find(w);
    return it == words.end() ? 0u : it->second;
}

// A one- or two-letter footprint prefix counts only before a package:
// "R_0805", "C_0603_1608Metric", "D_SOD-123", "CP_Radial".
unsigned kindOfPrefix(std::string_view w, std::string_view next)
{
    const bool package = !fourDigits(std::string(next)).empty() || isFamily(next) || next == "axial"
        || next == "radial" || next == "disc" || next == "sma" || next == "smb" || next == "smc"
        || next == "minimelf" || next == "melf" || next == "elec";
    if (!package)
        return 0;
    if (w == "r")
        return Resistor;
    if (w == "c" || w == "cp")
        return Capacitor;
    if (w == "l")
        return Inductor;
    if (w == "d")
        return Diode;
    return 0;
}

// The kinds a text names; the narrower kind wins where a text names both
// ("NTC thermistor resistor" is a thermistor, "LED diode" a LED).
unsigned kindsOf(const std::string& text)
{
    const auto t = tokens(text);
    unsigned kinds = 0;
    for (std::size_t i = 0; i < t.size(); ++i)
        kinds |= kindOfWord(t[i]) | (i + 1 < t.size() ? kindOfPrefix(t[i], t[i + 1]) : 0u);
    if (kinds & Thermistor)
        kinds &= ~static_cast<unsigned>(Resistor);
    if (kinds & Led)
        kinds &= ~static_cast<unsigned>(Diode);
    if (kinds & Ferrite)
        kinds &= ~static_cast<unsigned>(Inductor);
    return kinds;
}

// The kind a schematic symbol name says ("R", "C_Small", "LED", "D_Zener").
unsigned kindOfSymbol(std::string symbol)
{
    for (char& c : symbol)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string head = symbol.substr(0, symbol.find('_'));
    if (head == "r" || head == "res" || head == "resistor")
        return symbol.find("ntc") != std::string::npos ? Thermistor : Resistor;
    if (head == "c" || head == "cp" || head == "csmall" || head == "cap" || head == "capacitor" || head == "cp1")
        return Capacitor;
    if (head == "l" || head == "inductor")
        return Inductor;
    if (head.compare(0, 3, "led") == 0)
        return Led;
    if (head == "d" || head == "diode" || head == "zener" || head == "schottky")
        return Diode;
    return kindOfWord(head);
}

double idf(std::size_t records, std::size_t df)
{
    return std::log(1.0 + static_cast<double>(records) / static_cast<double>(std::max<std::size_t>(df, 1)));
}

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The footprints a record names in KiCad's "Library:Name" form, as
// "fp:name" (alternatives may be separated by ';' or blanks).
std::vector<std::string> footprintNames(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = std::min(text.find_first_of(" \t;", i), text.size());
        const std::size_t colon = text.find(':', i);
        if (colon < end && colon + 1 < end)
            out.push_back("fp:" + lowerCase(text.substr(colon + 1, end - colon - 1)));
        i = end + 1;
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

std::vector<std::string> packageWords(const std::string& text)
{
    const auto t = tokens(text);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string digits = fourDigits(t[i]);
        if (!digits.empty()) {
            // "0603Metric" is the inch 0201; a bare 0603 the inch 0603.
            static const std::map<std::string, std::string, std::less<>> metric { { "0603", "0201" },
                { "1005", "0402" }, { "1608", "0603" }, { "2012", "0805" }, { "3216", "1206" },
                { "3225", "1210" }, { "4532", "1812" }, { "5025", "2010" }, { "6332", "2512" } };
            const bool isMetric = t[i].size() >= 10 && t[i].compare(t[i].size() - 6, 6, "metric") == 0;
            const auto& table = isMetric ? metric : chipSizes();
            if (auto it = table.find(digits); it != table.end()) {
                out.push_back(it->second);
                continue;
            }
        }
        // "SOT-23-6", "SOT23-6", "SOIC-16", "DO-214AA", "SMB".
        std::string key;
        std::size_t used = 0;
        if (isFamily(t[i]) && i + 1 < t.size() && std::isdigit(static_cast<unsigned char>(t[i + 1][0]))) {
            key = t[i] + t[i + 1];
            used = 2;
        } else {
            const std::size_t d = t[i].find_first_of("0123456789");
            if (d != std::string::npos && d > 0 && isFamily(t[i].substr(0, d)))
                key = t[i], used = 1;
            else if (t[i] == "led" && i + 1 < t.size() && t[i + 1].size() > 1 && t[i + 1][0] == 'd'
                && std::isdigit(static_cast<unsigned char>(t[i + 1][1])))
                key = "led" + t[i + 1], used = 2;
            else if (t[i] == "sma" || t[i] == "smb" || t[i] == "smc" || t[i] == "dpak" || t[i] == "d2pak"
                || t[i] == "axial" || t[i] == "radial")
                key = t[i], used = 1;
        }
        if (key.empty())
            continue;
        key = samePackage(key);
        // Leaded parts by body: "R_Axial_DIN0207", "CP_Radial_D8.0mm",
        // "LED_D5.0mm".
        const std::size_t n = i + used;
        if ((key == "axial" || key == "radial") && n < t.size()
            && (t[n].compare(0, 3, "din") == 0 || (t[n][0] == 'd' && t[n].size() > 1 && std::isdigit(static_cast<unsigned char>(t[n][1])))))
            key += t[n];
        // SOT-23 comes with 3, 5, 6 or 8 leads; "SOT-23" alone has 3.
        if (key == "sot23") {
            if (n < t.size() && (t[n] == "5" || t[n] == "6" || t[n] == "8"))
                key += "-" + t[n];
        }
        out.push_back(key);
        i += used - 1;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<std::string> suggestionWords(const std::string& text, bool values)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && !isWordChar(static_cast<unsigned char>(text[i])))
            ++i;
        std::size_t end = i;
        while (end < text.size() && isWordChar(static_cast<unsigned char>(text[end])))
            ++end;
        std::string word = text.substr(i, end - i);
        i = end;
        while (!word.empty() && word.back() == '.')
            word.pop_back();
        if (word.empty())
            continue;
        if (values)
            valueWords(word, words);
        for (char& c : word)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        words.push_back(std::move(word));
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

SuggestionIndex::SuggestionIndex(const EidRecords& records)
    : recordCount_(records.eics.size())
{
    recordWords_.resize(recordCount_);
    for (std::size_t r = 0; r < recordCount_; ++r) {
        const std::string text = records.eics[r] + (r < records.texts.size() ? " " + records.texts[r] : "");
        auto& ids = recordWords_[r];
        // Plain values ("=4.7k", "=100n"; not "=50v" or "=100nf") for the
        // value rule of resistors, capacitors and inductors.
        std::vector<std::string> values;
        for (auto& word : suggestionWords(text)) {
            if (word[0] == '=' && word.find_first_of("abcdefghijlorstvwxyz", 1) == std::string::npos)
                values.push_back(word);
            auto [it, added] = wordIds_.emplace(std::move(word), static_cast<std::uint32_t>(postings_.size()));
            if (added)
                postings_.emplace_back();
            postings_[it->second].push_back(static_cast<std::uint32_t>(r));
            ids.push_back(it->second);
        }
        std::sort(ids.begin(), ids.end());
        recordKinds_.push_back(kindsOf(text));
        recordValues_.push_back(std::move(values));
        recordPackages_.push_back(packageWords(text));
        if (recordPackages_.back().empty())
            recordPackages_.back() = footprintNames(text);
    }
}

bool leadsClearly(const std::vector<Suggestion>& ranked, double minScore, double margin)
{
    if (ranked.empty() || ranked[0].score < minScore)
        return false;
    const double next = ranked.size() > 1 ? ranked[1].score : 0;
    return ranked[0].score - next >= margin && ranked[0].score > next;
}

std::vector<Suggestion> SuggestionIndex::suggest(const ProjectDevice& device, std::size_t top) const
{
    // Each word once, with the highest weight of the fields it appears in.
    std::map<std::string, double> weights;
    auto add = [&](const std::string& text, double weight, bool values) {
        for (auto& word : suggestionWords(text, values))
            weights[word] = std::max(weights[word], weight);
    };
    add(device.name + " " + device.fullName, 1, false);
    add(device.footprint, 2, false);
    add(device.value, 3, true);

    struct Term {
        std::uint32_t id;
        double weight;
    };
    std::vector<Term> rare, common;
    double possible = 0;
    // A word on more than this many records is checked on the candidates the
    // rarer words found, not walked: it says little and would cost much.
    const std::size_t walkLimit = std::max<std::size_t>(1000, recordCount_ / 50);
    for (const auto& [word, weight] : weights) {
        auto it = wordIds_.find(word);
        const std::size_t df = it == wordIds_.end() ? 0 : postings_[it->second].size();
        const double w = weight * idf(recordCount_, df);
        possible += w;
        if (df == 0)
            continue;
        (df <= walkLimit ? rare : common).push_back({ it->second, w });
    }
    if (rare.empty() && !common.empty()) {
        auto smallest = std::min_element(common.begin(), common.end(),
            [&](const Term& a, const Term& b) { return postings_[a.id].size() < postings_[b.id].size(); });
        rare.push_back(*smallest);
        common.erase(smallest);
    }
    if (possible <= 0)
        return {};

    // The device's kind and packages: a record naming others is ruled out.
    const std::string symbol = device.name.substr(0, device.name.find('-'));
    unsigned kinds = kindOfSymbol(symbol);
    if (kinds == 0)
        kinds = kindsOf(device.footprint + " " + device.value);
    const auto packages = packageWords(device.footprint + " " + device.value);
    // A footprint no package can be read from must be the record's own.
    std::vector<std::string> footprint;
    if (packages.empty() && !device.footprint.empty())
        footprint.push_back("fp:" + lowerCase(device.footprint));
    // A resistor's, capacitor's or inductor's value must be among the
    // record's values when the record has any: "10K" never gets "100R".
    // The value is the first plain number of the device's value that is not
    // a chip size: "10k", "2.2uF_0805_50V" gives 2.2u.
    std::string value;
    if (kinds == Resistor || kinds == Capacitor || kinds == Inductor) {
        // Words as written: "1M05" is mega, "1m05" milli.
        std::vector<std::string> words { std::string() };
        for (char c : device.value) {
            if (isWordChar(static_cast<unsigned char>(c)))
                words.back() += c;
            else if (!words.back().empty())
                words.emplace_back();
        }
        for (const auto& word : words) {
            const auto q = project::readQuantity(word);
            if (q && (q->unit.empty() || q->unit == "f" || q->unit == "h") && packageWords(word).empty()) {
                value = "=" + q->number;
                break;
            }
        }
    }
    auto ruledOut = [&](std::uint32_t r) {
        if (kinds != 0 && recordKinds_[r] != 0 && (kinds & recordKinds_[r]) == 0)
            return true;
        const auto& values = recordValues_[r];
        if (!value.empty() && !values.empty() && !std::binary_search(values.begin(), values.end(), value))
            return true;
        // Where one side names a package the other must name it too: a
        // record for an 0805 is not right for a device whose package cannot
        // be read, nor a record of unknown package for a SOT-23 device.
        const auto& theirs = recordPackages_[r];
        if (theirs.empty())
            return !packages.empty();
        const auto& mine = packages.empty() ? footprint : packages;
        return std::none_of(mine.begin(), mine.end(),
            [&](const std::string& p) { return std::binary_search(theirs.begin(), theirs.end(), p); });
    };

    std::unordered_map<std::uint32_t, double> scores;
    for (const Term& t : rare)
        for (std::uint32_t r : postings_[t.id])
            scores[r] += t.weight;
    for (auto it = scores.begin(); it != scores.end();)
        it = ruledOut(it->first) ? scores.erase(it) : std::next(it);
    std::vector<Suggestion> ranked;
    ranked.reserve(scores.size());
    for (auto& [r, score] : scores) {
        const auto& ids = recordWords_[r];
        for (const Term& t : common)
            if (std::binary_search(ids.begin(), ids.end(), t.id))
                score += t.weight;
        ranked.push_back({ r, 100.0 * score / possible });
    }
    // Of equal scores, the record with fewer words of its own matched more
    // of itself: "10K 0402 resistor" before "thermistor IRT10K 0402 ...".
    auto better = [this](const Suggestion& a, const Suggestion& b) {
        if (a.score != b.score)
            return a.score > b.score;
        const std::size_t wa = recordWords_[a.record].size(), wb = recordWords_[b.record].size();
        return wa != wb ? wa < wb : a.record < b.record;
    };
    const std::size_t n = std::min(top, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(n), ranked.end(), better);
    ranked.resize(n);
    return ranked;
}

} // namespace rav::integrity
