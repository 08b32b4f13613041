// Plain types shared by the database engine's classes: values, errors and
// the table definitions that the engine creates and reads back.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rav::db
{

// A field value. std::nullopt is Null, which is distinct from the empty
// text "". Texts are UTF-8; sizes and lengths count characters.
using Value = std::optional<std::string>;

// The one exception type of the engine. The message names what failed: the
// column and its size for a value that is too long, the offending token for
// a refused query, the file for an open that failed.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A save or a deletion refused because someone else changed or deleted the
// record since this connection read it (server databases keep a version per
// record). The message names each differing field with its three values.
class ConflictError : public Error
{
public:
    struct Field {
        std::string name;
        std::optional<std::string> mine, theirs, original;
    };
    ConflictError(std::string message, std::vector<Field> fields, bool deleted)
        : Error(std::move(message))
        , fields_(std::move(fields))
        , deleted_(deleted)
    {
    }
    // The fields where mine, theirs and the original are not all equal.
    const std::vector<Field>& fields() const { return fields_; }
    bool deletedByOthers() const { return deleted_; }

private:
    std::vector<Field> fields_;
    bool deleted_ = false;
};

// The refusal of a save (`mine` given) or a deletion (`mine` null) that met
// someone else's change: `theirs` is what the record holds now (null when it
// was deleted), `original` what was read. The message names each field
// whose three values are not all equal, in the order of `names`.
ConflictError makeConflict(const std::vector<std::string>& names, const std::vector<Value>* mine,
    const std::vector<Value>* theirs, const std::vector<Value>& original);

// Where a database lives: a SQLite file, or a table on a PostgreSQL server
// named by a connection URI (see isServerName).
enum class Backend { File, Server };

// Largest size of a text field, in characters.
inline constexpr int kMaxFieldSize = 255;

struct FieldDef {
    std::string name;
    int size = kMaxFieldSize; // maximum length in characters, 1..255
    bool allowZeroLength = true; // false: "" is refused (Null stays allowed)
    bool required = false; // true: Null is refused (primary-key fields always are)
};

struct IndexDef {
    std::string name;
    // Field names in key order. A leading '-' makes that key descending, a
    // leading '+' (or none) ascending.
    std::vector<std::string> fields;
    bool unique = false;
    bool primary = false; // at most one per table; implies unique and required fields

    // The field list as text: each key as its sign and its name, keys
    // separated by ';' ("+Code", "+Code;-Price").
    std::string fieldListText() const;
};

struct TableDef {
    std::string name;
    std::vector<FieldDef> fields; // in ordinal order
    std::vector<IndexDef> indexes; // primary index first when read back

    // Position of a field (names compared without regard to case), or -1.
    int fieldIndex(const std::string& fieldName) const;
    // Index by name (compared without regard to case), or nullptr.
    const IndexDef* findIndex(const std::string& indexName) const;
};

// Checks a table or field name against what the engine and its query
// dialect can address: 1..64 characters, no leading blank, none of
// . ! ` [ and no control characters. Throws Error naming the problem.
void checkObjectName(const std::string& name, const char* what);

// The one way a name goes into SQL, SQLite's and PostgreSQL's alike: in
// double quotes, inner double quotes doubled (Pri"ce -> "Pri""ce"). Every
// statement built from a table or field name uses it.
std::string quoteIdent(const std::string& name);

// The one way a name goes into the editor's query dialect: in brackets,
// inner closing brackets doubled (a]b -> [a]]b]), as the dialect reads them.
std::string quoteBracketName(const std::string& name);

} // namespace rav::db
