#include "db_types.h"

#include "textcodec.h"

namespace rav::db
{

std::string IndexDef::fieldListText() const
{
    std::string out;
    for (const auto& f : fields) {
        if (!out.empty())
            out += ';';
        if (!f.empty() && (f[0] == '+' || f[0] == '-'))
            out += f;
        else
            out += '+' + f;
    }
    return out;
}

int TableDef::fieldIndex(const std::string& fieldName) const
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (text::equalsIgnoreCase(fields[i].name, fieldName))
            return static_cast<int>(i);
    return -1;
}

const IndexDef* TableDef::findIndex(const std::string& indexName) const
{
    for (const auto& ix : indexes)
        if (text::equalsIgnoreCase(ix.name, indexName))
            return &ix;
    return nullptr;
}

std::string quoteBracketName(const std::string& name)
{
    std::string out = "[";
    for (const char c : name) {
        out += c;
        if (c == ']')
            out += ']';
    }
    return out + "]";
}

void checkObjectName(const std::string& name, const char* what)
{
    const std::string quoted = "\"" + name + "\"";
    if (name.empty())
        throw Error(std::string("a ") + what + " name cannot be empty");
    if (!text::isValidUtf8(name))
        throw Error(std::string(what) + " name " + quoted + " is not valid UTF-8");
    if (text::utf8Length(name) > 64)
        throw Error(std::string(what) + " name " + quoted + " is longer than 64 characters");
    if (name[0] == ' ')
        throw Error(std::string(what) + " name " + quoted + " starts with a blank");
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        // These characters delimit names in the query dialect, so a name
        // holding one could not be addressed (a ']' is written doubled).
        if (c == '.' || c == '!' || c == '`' || c == '[' || u < 0x20 || u == 0x7F)
            throw Error(
                std::string(what) + " name " + quoted + " contains a character that names cannot hold");
    }
}

ConflictError makeConflict(const std::vector<std::string>& names, const std::vector<Value>* mine,
    const std::vector<Value>* theirs, const std::vector<Value>& original)
{
    auto show = [](const Value& v) { return v ? "\"" + *v + "\"" : std::string("Null"); };
    std::vector<ConflictError::Field> fields;
    std::string detail;
    for (std::size_t i = 0; i < names.size(); ++i) {
        ConflictError::Field f { names[i], mine ? (*mine)[i] : std::nullopt, theirs ? (*theirs)[i] : std::nullopt,
            i < original.size() ? original[i] : std::nullopt };
        if (theirs && f.theirs == f.original && (!mine || f.mine == f.original))
            continue;
        detail += (detail.empty() ? "" : "; ") + f.name + ": " + (mine ? "mine " + show(f.mine) + ", " : "")
            + "theirs " + (theirs ? show(f.theirs) : std::string("(deleted)")) + ", original " + show(f.original);
        fields.push_back(std::move(f));
    }
    const std::string what = mine ? "save" : "deletion";
    return ConflictError(what + " refused: someone else " + (theirs ? "changed" : "deleted")
            + " the record since it was read" + (detail.empty() ? "" : " (" + detail + ")"),
        std::move(fields), theirs == nullptr);
}

} // namespace rav::db
