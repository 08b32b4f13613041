#include "associate_tab.h"

#include "textcodec.h"

namespace rav::recedit
{

bool AssociateTab::selectDevice(const std::string& part, bool bothSelected)
{
    bothSelected_ = bothSelected;
    if (part == device_)
        return false;
    device_ = part;
    eic_.clear();
    suggestions_.clear();
    return true;
}

void AssociateTab::selectRecord(const std::optional<std::string>& eic, bool bothSelected)
{
    bothSelected_ = bothSelected;
    eic_ = eic.value_or(std::string());
}

bool AssociateTab::canAssociate(AssociateMode mode) const
{
    if (mode != mode_ || !bothSelected_)
        return false;
    if (mode == AssociateMode::Automatic)
        return searchedFor_ == device_;
    return !text::trimBlanks(eic_).empty();
}

int AssociateTab::preselected() const
{
    return !suggestions_.empty() && suggestions_.front().score >= kWeakScore ? 0 : -1;
}

bool AssociateTab::onlyWeakSuggestions() const
{
    return !suggestions_.empty() && preselected() < 0;
}

} // namespace rav::recedit
