#include "view_tabs.h"

#include "lom_catalogue.h"
#include "recedit_view.h"

namespace rav::recedit
{

void FilterChoice::setItems(std::vector<ListItem> items)
{
    items_ = std::move(items);
    where_ = items_.empty() ? -1 : 0;
    sort_ = where_;
    op_ = 0;
    value_ = kAnyValue;
}

std::string ProjectViewTab::query() const
{
    return makeMyQuerySTr(
        filter_.whereNumber(), filter_.operatorText(), filter_.value(), filter_.sortNumber());
}

void EidViewTab::open(const std::string& eidFile, const FieldLists& lists)
{
    eidFile_ = eidFile;
    filter_.setItems(lists.eidItems);
    shownFilter_.clear();
}

std::string EidViewTab::status(long records) const
{
    return RecEdStatus(records, shownFilter_);
}

EidViewTab::Choice EidViewTab::judge(const std::string& chosen, bool isEid) const
{
    if (chosen.empty() || chosen == eidFile_)
        return Choice::Unchanged;
    return isEid ? Choice::Accepted : Choice::Refused;
}

std::string EidViewTab::query(const lom::FieldCatalogue& catalogue) const
{
    return makeFindQuerySTr(
        catalogue, filter_.whereNumber(), filter_.operatorText(), filter_.value(), filter_.sortNumber());
}

std::string EidViewTab::filterText(const lom::FieldCatalogue& catalogue) const
{
    return FilterDescription(
        catalogue.entry(filter_.whereNumber()).fieldName, filter_.operatorText(), filter_.value());
}

std::string EidViewTab::sortField(const lom::FieldCatalogue& catalogue) const
{
    return catalogue.entry(filter_.sortNumber()).fieldName;
}

bool EidViewTab::followSort(const lom::FieldCatalogue& catalogue, const std::string& field)
{
    const std::vector<ListItem>& items = filter_.items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int number = items[i].number;
        if (number > 0 && number <= catalogue.size() && catalogue.entry(number).fieldName == field) {
            filter_.setSort(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

} // namespace rav::recedit
