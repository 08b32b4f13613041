// Association suggestions: for a device, the EID records ranked by how much
// of the device's value, footprint and names they share, with a score from
// 0 (nothing) to 100 (every word of the device found).
//
// Words are compared in lower case; a number with an engineering multiplier
// ("4k7", "4.7K", "4700", "100nF", "0.1uF") also counts as its value, read
// by the program's one value parser (component_value.h), so differently
// written equal values meet. Value words weigh 3, footprint words 2, name
// words 1, each times how rare the word is among the records.
//
// A record is never suggested for a device when the two name different
// packages (chip sizes however written: "R0402", "SM0805", "0805W",
// "C_0603_1608Metric"; "SOT-23-6", "SOIC-16", "SMB" = "DO-214AA", ...) or
// different kinds of part (resistor, thermistor, capacitor, inductor,
// ferrite bead, LED, diode, crystal, fuse): the device's kind comes from
// its symbol name ("R", "C_Small", "LED"), else its footprint and value;
// a record's from its words ("thermistor", "MLCC", "R_0805", ...).
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

// The packages a text names, one word each ("0402", "sot23-6", "do214aa").
std::vector<std::string> packageWords(const std::string& text);

// What `suggest --apply` writes without a score of its own: the best
// record when it scores at least kDefaultApplyScore and leads the next by
// at least kDefaultApplyMargin points. Measured on real designs (see
// tests/data/suggest/README.md).
constexpr double kDefaultApplyScore = 60;
constexpr double kDefaultApplyMargin = 10;

// True when the best of `ranked` (best first, at least the best two asked
// for) is to be written: it scores at least `minScore` and leads the next
// by at least `margin` (so ties are never written).
bool leadsClearly(const std::vector<Suggestion>& ranked, double minScore, double margin);

class SuggestionIndex
{
public:
    explicit SuggestionIndex(const EidRecords& records);

    // The best `top` records for `device`, best first (of equal scores the
    // record with fewer words first, then record order); records sharing
    // nothing, or of another package or kind, are never suggested.
    std::vector<Suggestion> suggest(const ProjectDevice& device, std::size_t top) const;

private:
    std::size_t recordCount_ = 0;
    std::unordered_map<std::string, std::uint32_t> wordIds_;
    std::vector<std::vector<std::uint32_t>> postings_; // word id -> records
    std::vector<std::vector<std::uint32_t>> recordWords_; // record -> sorted word ids
    std::vector<unsigned> recordKinds_; // record -> kinds it names (bits)
    std::vector<std::vector<std::string>> recordPackages_; // record -> packages it names
    std::vector<std::vector<std::string>> recordValues_; // record -> "=4.7k", "=100n": its plain values
};

} // namespace rav::integrity
