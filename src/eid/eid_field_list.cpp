#include "eid_field_list.h"

#include "values.h"

#include <cmath>

namespace rav::eid
{

std::vector<std::string> EidFieldList::names() const
{
    std::vector<std::string> out;
    out.reserve(fields_.size());
    for (const EidField& f : fields_)
        out.push_back(f.name);
    return out;
}

bool EidFieldList::setCurrent(int row)
{
    if (row < 0 || row > count())
        return false;
    current_ = row;
    return true;
}

FieldEntryError EidFieldList::commit(const std::string& name, const std::string& sizeText)
{
    const double number = NumericValue(sizeText);
    // A size far out of range is refused as one, without overflowing.
    const int size
        = std::isfinite(number) && std::fabs(number) < 1e9 ? static_cast<int>(std::lround(number)) : 0;
    std::vector<std::string> others;
    for (int row = 0; row < count(); ++row)
        if (row != current_)
            others.push_back(fields_[static_cast<std::size_t>(row)].name);
    const FieldEntryError error = ValidateFieldEntry(name, size, others);
    if (error != FieldEntryError::None)
        return error;
    if (isEntryRow(current_))
        fields_.push_back({ name, size });
    else
        fields_[static_cast<std::size_t>(current_)] = { name, size };
    current_ = count();
    return FieldEntryError::None;
}

bool EidFieldList::removeCurrent()
{
    if (isEntryRow(current_))
        return false;
    fields_.erase(fields_.begin() + current_);
    if (eic_ == current_)
        eic_ = -1;
    else if (eic_ > current_)
        --eic_;
    current_ = count();
    return true;
}

void EidFieldList::setEicField(int index)
{
    eic_ = index >= 0 && index < count() ? index : -1;
}

std::string EidFieldList::eicName() const
{
    return eic_ >= 0 ? fields_[static_cast<std::size_t>(eic_)].name : std::string();
}

std::optional<FieldRefusal> RefusalOf(FieldEntryError error)
{
    switch (error) {
    case FieldEntryError::InvalidSize:
        return FieldRefusal { "5416", "Invalid Field Size (Range : 1 to 255)!", true };
    case FieldEntryError::DuplicateName:
        return FieldRefusal { "5417", "Duplicate Field Name!", false };
    case FieldEntryError::BlankInName:
        return FieldRefusal { "5418", "Spaces not allowed in Field Name!", false };
    case FieldEntryError::None:
        break;
    }
    return std::nullopt;
}

int PageCount(WizardPath path)
{
    switch (path) {
    case WizardPath::Create:
        return kCreatePages;
    case WizardPath::Edit:
        return kEditPages;
    case WizardPath::None:
        break;
    }
    return 0;
}

bool NextAllowed(const WizardChoices& c)
{
    if (c.step < 0 || c.path == WizardPath::None)
        return c.createNew ? !c.newFile.empty() : c.existingIsEid;
    if (c.path == WizardPath::Create)
        return c.fieldCount >= 1;
    // The edit path: import and export need their text file first.
    if (c.step == 0 && c.operation != Operation::Remove)
        return !c.textFile.empty();
    return true;
}

NextAction ActionOfNext(WizardPath path, int step)
{
    if (step >= 0 && step == PageCount(path) - 1)
        return path == WizardPath::Create ? NextAction::CreateFile : NextAction::RunOperation;
    return NextAction::ShowPage;
}

long HelpSubMenu(WizardPath path, int step)
{
    if (step < 0 || path == WizardPath::None)
        return 1;
    return (path == WizardPath::Create ? 2 : 4) + step;
}

} // namespace rav::eid
