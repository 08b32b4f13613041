// The state of the tool box's "Project View" and "EID View" tabs without
// widgets: the field lists, the filter (field, comparison, value) and sort
// field chosen, the query they make, the EID file in use and what the tabs'
// buttons allow. The tabs show this state and pass the user's choices in.
#pragma once

#include "toolbox_queries.h"

#include <string>
#include <vector>

namespace rav::lom
{
class FieldCatalogue;
}

namespace rav::recedit
{

// A filter row: a field of `items`, an operator of Operators(), a value,
// and a sort field of `items`. Indices count from 0, -1 for none.
class FilterChoice
{
public:
    // New lists: the first field and "Like" "*" (every record) again.
    void setItems(std::vector<ListItem> items);
    const std::vector<ListItem>& items() const { return items_; }

    void setWhere(int index) { where_ = valid(index) ? index : -1; }
    void setOperator(int index)
    {
        op_ = index >= 0 && index < static_cast<int>(Operators().size()) ? index : 0;
    }
    void setValue(std::string value) { value_ = std::move(value); }
    void setSort(int index) { sort_ = valid(index) ? index : -1; }

    int where() const { return where_; }
    int op() const { return op_; }
    const std::string& operatorText() const { return Operators()[static_cast<std::size_t>(op_)]; }
    const std::string& value() const { return value_; }
    int sort() const { return sort_; }
    // The catalogue numbers of the chosen fields; 0 for none.
    int whereNumber() const { return where_ >= 0 ? items_[static_cast<std::size_t>(where_)].number : 0; }
    int sortNumber() const { return sort_ >= 0 ? items_[static_cast<std::size_t>(sort_)].number : 0; }
    // Both fields are chosen.
    bool complete() const { return where_ >= 0 && sort_ >= 0; }

private:
    bool valid(int index) const { return index >= 0 && index < static_cast<int>(items_.size()); }

    std::vector<ListItem> items_;
    int where_ = -1;
    int op_ = 0;
    std::string value_ = kAnyValue;
    int sort_ = -1;
};

// "Project View": the project view database's filter.
class ProjectViewTab
{
public:
    void setLists(const FieldLists& lists) { filter_.setItems(lists.projectItems); }
    FilterChoice& filter() { return filter_; }
    const FilterChoice& filter() const { return filter_; }
    bool canRefresh() const { return !filter_.items().empty(); }
    // The query over the project view database.
    std::string query() const;

private:
    FilterChoice filter_;
};

// "EID View": the EID in use and the edit grid's filter.
class EidViewTab
{
public:
    // The EID in use (empty: none that could be read) and its field lists.
    void open(const std::string& eidFile, const FieldLists& lists);
    const std::string& eidFile() const { return eidFile_; }
    FilterChoice& filter() { return filter_; }
    const FilterChoice& filter() const { return filter_; }

    // Another EID chosen by the user: what becomes of it.
    enum class Choice {
        Unchanged, // nothing chosen, or the EID already in use
        Refused, // not an EID: message 5457, the EID in use stays
        Accepted, // the caller opens it
    };
    Choice judge(const std::string& chosen, bool isEid) const;

    // While the grid's record is being edited or added, neither the filter
    // nor another EID may take the grid away from it.
    void setEditPending(bool pending) { editPending_ = pending; }
    bool canFilter() const { return !editPending_ && !eidFile_.empty() && !filter_.items().empty(); }
    bool canChooseFile() const { return !editPending_; }

    // The grid's query, and what the grid shows of it (the filter's text and
    // the sort column's field name). Need a complete filter.
    std::string query(const lom::FieldCatalogue& catalogue) const;
    std::string filterText(const lom::FieldCatalogue& catalogue) const;
    std::string sortField(const lom::FieldCatalogue& catalogue) const;
    // The grid now shows this tab's filter; another EID shows every record.
    void filterShown(const lom::FieldCatalogue& catalogue) { shownFilter_ = filterText(catalogue); }
    // The line under the grid: how many records it shows (`records`, from
    // the Browse tab's state) and the filter that chose them, so that a
    // filtered grid is never taken for the whole file.
    std::string status(long records) const;
    // The grid was sorted by a header click on `field`: the sort field
    // follows when the list has it. True when it did.
    bool followSort(const lom::FieldCatalogue& catalogue, const std::string& field);

private:
    std::string eidFile_;
    FilterChoice filter_;
    std::string shownFilter_;
    bool editPending_ = false;
};

} // namespace rav::recedit
