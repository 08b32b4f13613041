// Association suggestions: for a device, the EID records ranked by how much
// of the device's value, footprint and names they share, with a score from
// 0 (nothing) to 100 (every word of the device found).
//
// Words are compared in lower case; a number with an engineering multiplier
// ("4k7", "4.7K", "4700", "100nF", "0.1uF") also counts as its value, so
// differently written equal values meet. Value words weigh 3, footprint
// words 2, name words 1, each times how rare the word is among the records.
#pragma once

#include "integrity_data.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace rav::integrity
{

struct Suggestion {
    std::size_t record = 0; // index into EidRecords::eics
    double score = 0; // 0..100
};

// The words of a text as the suggestions see them: lower case, plus (with
// `values`) the canonical value of every number ("=4700"). A device's name
// and footprint give no values, so that "Jumper_1" never asks for 1 ohm.
std::vector<std::string> suggestionWords(const std::string& text, bool values = true);

class SuggestionIndex
{
public:
    explicit SuggestionIndex(const EidRecords& records);

    // The best `top` records for `device`, best first (of equal scores the
    // record with fewer words first, then record order); records sharing
    // nothing are never suggested.
    std::vector<Suggestion> suggest(const ProjectDevice& device, std::size_t top) const;

private:
    std::size_t recordCount_ = 0;
    std::unordered_map<std::string, std::uint32_t> wordIds_;
    std::vector<std::vector<std::uint32_t>> postings_; // word id -> records
    std::vector<std::vector<std::uint32_t>> recordWords_; // record -> sorted word ids
};

} // namespace rav::integrity
