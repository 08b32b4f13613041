// Reading tables of Access (Jet 3 and Jet 4) databases through mdbtools'
// library, for importing legacy EIDs kept in Access files.
//
// The library is not hardened against damaged files, so every read runs in
// a child process that hands the table back through a pipe: a file that
// makes the library crash or spin ends the child, never the caller, and
// is reported as damaged.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace rav::eid
{

// A file that cannot be read as an Access database, or a table that is not
// in it; the message is one line naming the file.
class AccessError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One column as the table defines it. Text columns keep their size in
// characters; every other type becomes text of the width its values need
// (see access_reader.cpp) and is marked `converted`.
struct AccessColumn {
    std::string name;
    std::string typeName; // "Text", "Memo", "Long Integer", ...
    int size = 0; // characters its values can take as text; 0: cannot be held as text
    bool converted = false;
    bool memo = false; // long text: values are checked against the size
};

struct AccessTable {
    std::string name;
    int jetVersion = 3; // 3 or 4
    std::vector<AccessColumn> columns;
    int primaryKey = -1; // ordinal of the column of a one-column primary key
    std::vector<std::vector<std::string>> rows; // values as text, Null as ""
};

// The user tables of the file, in catalogue order.
std::vector<std::string> AccessTableNames(const std::string& file);

// The whole table, its values as UTF-8 text. The table is named without
// regard to ASCII letter case.
AccessTable ReadAccessTable(const std::string& file, const std::string& table);

} // namespace rav::eid
