// The state of the tool box's "Associate" tab, without widgets: the mode,
// the device and the record the grids have selected, the EIC box, and the
// suggestions for the selected device. The tab only shows what this holds
// and forwards the user's actions to it.
//
// Invariants, kept by every operation:
// - The EIC box and the suggestions belong to the selected device: selecting
//   another device empties both, so one click can never give a device the
//   code chosen for the one before.
// - Automatic association uses the search result, which is made for one
//   device: it is offered only while that device is still the one selected.
// - Manual association needs a code in the EIC box.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rav::recedit
{

enum class AssociateMode { Automatic, Manual };

struct SuggestedRecord {
    std::string code; // the record's EIC
    std::string text; // what the list shows beside the code
    double score = 0; // 0..100, see the suggestion index
};

class AssociateTab
{
public:
    // Below this score a suggestion shares too little with the device to be
    // chosen for the user: the list then shows a warning and no choice.
    static constexpr double kWeakScore = 50.0;

    AssociateMode mode() const { return mode_; }
    void setMode(AssociateMode mode) { mode_ = mode; }
    // The automatic search's field lists have items.
    void setFindReady(bool ready) { findReady_ = ready; }

    // The project view's current device (its part name, empty: none) and
    // whether both grids have a current row. True when the device changed.
    bool selectDevice(const std::string& part, bool bothSelected);
    // The search result's current row: its EIC (none without a row or a
    // Null code), and whether both grids have a current row. Fills the EIC box.
    void selectRecord(const std::optional<std::string>& eic, bool bothSelected);
    // An automatic search has just been made for the selected device.
    void searched() { searchedFor_ = device_; }
    // The user typed into the EIC box, or chose a suggestion.
    void setEic(const std::string& eic) { eic_ = eic; }

    const std::string& device() const { return device_; }
    const std::string& eic() const { return eic_; }
    bool bothSelected() const { return bothSelected_; }

    // What the tab enables.
    bool canAssociate(AssociateMode mode) const;
    bool canFind() const { return mode_ == AssociateMode::Automatic && findReady_; }
    bool eicBoxEnabled() const { return mode_ == AssociateMode::Manual; }
    // The automatic search result was made for another device: Find again.
    bool searchIsStale() const { return mode_ == AssociateMode::Automatic && searchedFor_ != device_; }

    // Suggestions for the selected device, best first.
    void setSuggestions(std::vector<SuggestedRecord> suggestions) { suggestions_ = std::move(suggestions); }
    const std::vector<SuggestedRecord>& suggestions() const { return suggestions_; }
    // The suggestion chosen for the user at once: the best, when it is not
    // weak; -1 otherwise.
    int preselected() const;
    // Suggestions exist, and all are weak: the list says so.
    bool onlyWeakSuggestions() const;

private:
    AssociateMode mode_ = AssociateMode::Manual;
    bool findReady_ = false;
    bool bothSelected_ = false;
    std::string device_;
    std::optional<std::string> searchedFor_; // the device of the last automatic search
    std::string eic_;
    std::vector<SuggestedRecord> suggestions_;
};

} // namespace rav::recedit
