#include "suggestions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

namespace rav::integrity
{

namespace
{

bool isWordChar(unsigned char c)
{
    return std::isalnum(c) || c == '.' || c >= 0x80;
}

double multiplier(char c, bool& known)
{
    known = true;
    switch (c) {
    case 'p': return 1e-12;
    case 'n': return 1e-9;
    case 'u': return 1e-6;
    case 'm': return 1e-3;
    case 'k': case 'K': return 1e3;
    case 'M': return 1e6;
    case 'G': return 1e9;
    case 'R': case 'r': return 1; // "0R1", "560R"
    default: known = false; return 1;
    }
}

// The canonical forms of a word that is a number: "=4700" for "4k7",
// "4.7K", "4700" or "4700R"; "=1e-07" for "100n", "100nF" or "0.1uF".
// Voltages, powers and the like keep their unit ("=50v") so that "50V"
// never meets a 50 ohm resistor.
void valueWords(const std::string& word, std::vector<std::string>& out)
{
    std::size_t i = 0;
    std::string digits;
    while (i < word.size() && (std::isdigit(static_cast<unsigned char>(word[i])) || word[i] == '.'))
        digits += word[i++];
    if (digits.empty() || std::count(digits.begin(), digits.end(), '.') > 1 || digits == ".")
        return;
    double scale = 1;
    bool multiplied = false;
    if (i < word.size()) {
        bool known = false;
        const double m = multiplier(word[i], known);
        // "µ" is two bytes in UTF-8 and means micro.
        if (!known && word.compare(i, 2, "\xC2\xB5") == 0) {
            scale = 1e-6;
            i += 2;
            multiplied = true;
        } else if (known) {
            scale = m;
            ++i;
            multiplied = true;
            // "4k7": the multiplier stands for the decimal point.
            if (digits.find('.') == std::string::npos) {
                std::string fraction;
                while (i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])))
                    fraction += word[i++];
                if (!fraction.empty())
                    digits += "." + fraction;
            }
        }
    }
    std::string unit = word.substr(i);
    for (char& c : unit)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (unit == "ohm" || unit == "ohms" || unit == "\xCE\xA9" || unit == "r")
        unit.clear();
    const bool plainUnit = unit.empty() || unit == "f" || unit == "h";
    if (!plainUnit && unit.size() > 2)
        return; // "1608metric" and the like are names, not values
    const double value = std::strtod(digits.c_str(), nullptr) * scale;
    char buf[40];
    std::snprintf(buf, sizeof buf, "=%.6g", value);
    if (plainUnit)
        out.emplace_back(buf);
    if (!unit.empty() || !multiplied)
        out.emplace_back(std::string(buf) + unit);
}

double idf(std::size_t records, std::size_t df)
{
    return std::log(1.0 + static_cast<double>(records) / static_cast<double>(std::max<std::size_t>(df, 1)));
}

} // namespace

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
        for (auto& word : suggestionWords(text)) {
            auto [it, added] = wordIds_.emplace(std::move(word), static_cast<std::uint32_t>(postings_.size()));
            if (added)
                postings_.emplace_back();
            postings_[it->second].push_back(static_cast<std::uint32_t>(r));
            ids.push_back(it->second);
        }
        std::sort(ids.begin(), ids.end());
    }
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

    std::unordered_map<std::uint32_t, double> scores;
    for (const Term& t : rare)
        for (std::uint32_t r : postings_[t.id])
            scores[r] += t.weight;
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
