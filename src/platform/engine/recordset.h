// A dynaset record set: the rows the query has when it opens, in its order.
// It opens with a count; the keys (row ids) are read a page at a time when a
// position on the page is first needed, and rows by key when drawn, so a set
// over a million rows opens at once. Rows added elsewhere after it opened
// stay out; a row removed elsewhere before its page was read drops out of
// the set (and its count) when the page is read.
//
// Cursor states (DAO semantics):
//   BOF   before the first row   bof() true, absolutePosition() -1
//   ROW   on row p (0-based)     bof()/eof() false, absolutePosition() p
//   EOF   after the last row     eof() true, absolutePosition() -1
//   GONE  on a row just removed  no current record; moveNext goes to the
//                                row that followed it, movePrevious to the one before
// An empty set is BOF and EOF at once. Moving past an end stays there.
// Edit buffer: editMode() None, Edit (changing the current row) or AddNew
// (a new row). update() writes it, cancelUpdate() or any move drops it.
// After update() of an AddNew the current row stays what it was; the new row
// is appended to the end of the set (lastModifiedPosition()).
#pragma once

#include "db_types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rav::db
{

struct Connection;
class Recordset;

enum class EditMode { None, Edit, AddNew };

struct FieldInfo {
    std::string name;
    int size = 0; // maximum length in characters
};

// A field of the current row, by ordinal; valid while the record set lives.
class FieldRef
{
public:
    const std::string& name() const;
    int size() const;
    Value value() const;
    void setValue(Value v) const; // only in edit mode
    int ordinal() const { return ordinal_; }

private:
    friend class Recordset;
    FieldRef(Recordset* rs, int ordinal)
        : rs_(rs)
        , ordinal_(ordinal)
    {
    }
    Recordset* rs_;
    int ordinal_;
};

class Recordset
{
public:
    Recordset();
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool isOpen() const;
    void close();
    const std::string& tableName() const;

    // Navigation.
    bool bof() const;
    bool eof() const;
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    long recordCount() const;
    long absolutePosition() const; // 0-based; -1 when there is no current row
    // Out of range (or an empty set): nothing changes and false is returned.
    bool setAbsolutePosition(long position);

    // Find with a criteria text in the dialect (the WHERE part alone, as
    // `[Code] = "A1"`). findFirst searches from the first row, findNext from
    // the row after the current one. On no match the current row stays and
    // noMatch() is true. Returns !noMatch().
    bool findFirst(std::string_view criteria);
    bool findNext(std::string_view criteria);
    bool findPrevious(std::string_view criteria);
    bool findLast(std::string_view criteria);
    bool noMatch() const;

    // Changes.
    void addNew();
    void edit();
    void update();
    void cancelUpdate();
    void remove(); // deletes the current row
    EditMode editMode() const;
    long lastModifiedPosition() const; // position of the row last written, -1 if none

    // Fields of the set, in the query's column order.
    int fieldCount() const;
    const FieldInfo& fieldInfo(int ordinal) const;
    int fieldIndex(std::string_view name) const; // case-insensitive; -1 when absent
    FieldRef field(int ordinal);
    FieldRef field(std::string_view name); // throws when absent
    Value value(int ordinal) const;
    Value value(std::string_view name) const;
    void setValue(int ordinal, Value v);
    void setValue(std::string_view name, Value v);

    // The values of the row at a position without moving the cursor (for
    // grids that draw rows lazily). A removed row reads as all Null.
    std::vector<Value> rowAt(long position) const;
    // The same for `count` rows from a position on (fewer at the end of the
    // set), read in one statement: a grid draws a screenful at a time, and
    // on a server each statement is a round trip. At most 64 rows.
    std::vector<std::vector<Value>> rowsAt(long position, long count) const;

    // Takes the keys again with the same query; the cursor goes to the first row.
    void requery();

private:
    friend class Database;
    friend class FieldRef;
    struct Impl;
    Impl& impl() const; // throws when closed
    std::unique_ptr<Impl> d_;
};

} // namespace rav::db
