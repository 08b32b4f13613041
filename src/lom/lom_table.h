// The List of Materials as a table for people: one line per placed part, or
// one line per group of equal parts with a quantity and the part names as
// ranges ("C1-C4, C7, R10"), do-not-place parts left out or listed apart,
// and the checks a buyer would otherwise make by hand. It reads the
// temporary database that BuildLomDatabase wrote; the classic LOM file
// (CreateLomFile) does not go through here and stays as it is.
#pragma once

#include "lom_catalogue.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rav::lom
{

// Catalogue numbers of the project attributes the table needs by meaning.
inline constexpr int kFieldDevice = 1; // "Part-P"
inline constexpr int kFieldEic = 3;
inline constexpr int kFieldPackage = 5;
inline constexpr int kFieldPartName = 6; // "Component Name-P", the placed part's name
inline constexpr int kFieldValue = 8;

// Natural order of part names: digit runs compare as numbers (R2 < R10),
// letters without regard to ASCII case; equal texts by bytes at last, so
// the order is total.
bool naturalLess(std::string_view a, std::string_view b);

// The names sorted naturally, runs of one prefix with consecutive numbers
// joined ("C1-C4, C7, R10"); a run of two stays two names ("R1, R2").
std::string partRanges(std::vector<std::string> names);

enum class DnpMode { Include, Exclude, Separate };

// Where a column's values come from.
struct ColumnSource {
    enum class Kind { Field, Quantity, Parts, Empty } kind = Kind::Field;
    int field = 0; // catalogue number, for Kind::Field
};

struct TableColumn {
    std::string header;
    ColumnSource source;
    bool required = false; // the checks report lines where it is empty
    // Tried in turn, per line, where the value is empty: a profile's
    // "LCSC-D | Supplier Part Number-D | External Index Code-P" takes the
    // code each line has.
    std::vector<ColumnSource> orElse;
    // Written as a number where the text is one (XLSX); besides quantities,
    // only columns a profile declares numeric are: codes, part numbers and
    // names stay texts ("0805", "860020474012").
    bool number = false;
};

struct TableOptions {
    std::vector<TableColumn> columns;
    bool group = false;
    // Catalogue numbers whose values make parts equal; empty: EIC, value and
    // package (a placeholder code such as "_" or "n/a" counts as none).
    std::vector<int> groupFields;
    long multiplier = 1; // boards: quantities are multiplied by it
    DnpMode dnp = DnpMode::Include;
    int sortField = 0; // catalogue number; 0: by part name
    bool sortDescending = false; // the whole order reversed
};

struct LomTable {
    std::vector<std::string> headers;
    std::vector<bool> numeric; // the column holds numbers (quantities, declared numeric columns)
    std::vector<std::vector<std::string>> rows;
    // Rows from here on are the do-not-place parts (DnpMode::Separate);
    // rows.size() when there are none apart.
    std::size_t separateFrom = 0;
    std::vector<std::string> rowParts; // per row: its part names as ranges
    std::vector<std::string> rowEic; // per row: the EIC of its first part
    std::vector<char> rowWithoutRecord; // per row: its parts have no EID record
    long parts = 0; // placed parts counted in the quantities
};

// One part as the table sees it: its values by catalogue number (index 0
// unused; Null reads as "") and whether it was marked do-not-place.
// The values of one part's fields by catalogue number (0 unused), packed in
// one buffer: a large design has 100k parts of a dozen fields each, and a
// string object per field would be most of the memory a grouped LOM takes.
// A value past the end reads as "".
class PartValues
{
public:
    std::size_t size() const { return count(); }
    std::string_view operator[](std::size_t k) const;
    // Grows to k + 1 values when needed.
    void set(std::size_t k, std::string_view text);
    // Values past n are dropped; new ones are "".
    void resize(std::size_t n);
    // n values, all "" but those of `values` (catalogue number, text), given
    // in ascending order, in one allocation of the exact size.
    void assign(std::size_t n, const std::vector<std::pair<std::size_t, std::string_view>>& values);

private:
    std::size_t count() const;
    std::size_t width() const;
    std::size_t number(std::size_t i) const; // the header's i-th: 0 the count, k the end of value k - 1
    // [width w][count, then the end of each value, w bytes each][the values' bytes]
    std::string data_;
};

struct PartRow {
    PartValues values;
    bool hasEidRecord = false;
    bool marked = false;
};

// The rows of table Device of the temporary database in build order;
// `marked` (by build order, may be shorter) flags do-not-place parts,
// `eicColumn` is the catalogue number of the EID's EIC column (0: unknown,
// every part counts as without record). Only the fields `options` uses are
// read (the others stay ""), with all of them when `options` is null.
// Throws db::Error.
std::vector<PartRow> ReadPartRows(const std::string& tempDbName, int fieldCount,
    const std::vector<char>& marked, int eicColumn, const TableOptions* options = nullptr);

LomTable MakeLomTable(const std::vector<PartRow>& parts, const TableOptions& options);

// One line of a table as it is made: its cells, and what LomTable keeps
// beside them.
struct LomLine {
    std::vector<std::string> cells;
    std::string parts; // its part names as ranges
    std::string_view eic; // of its first part
    bool withoutRecord = false;
    bool apart = false; // a do-not-place line (DnpMode::Separate)
    long quantity = 0; // placed parts (before the multiplier)
};

// Takes a table's lines one at a time, in their order.
class LineSink
{
public:
    virtual ~LineSink() = default;
    // Before the first line: whether lines set apart will follow the others.
    virtual void start(const std::vector<std::string>& headers, const std::vector<bool>& numeric, bool apart) = 0;
    virtual void line(LomLine&& line) = 0;
};

// MakeLomTable(ReadPartRows(...), options) line by line into `sink`,
// without holding every row: each group keeps its count, part names and
// first part only, and no line is kept here. What CheckLom needs is not
// kept either.
void ReadLomLines(const std::string& tempDbName, int fieldCount, const std::vector<char>& marked, int eicColumn,
    const TableOptions& options, LineSink& sink);
LomTable ReadLomTable(const std::string& tempDbName, int fieldCount, const std::vector<char>& marked,
    int eicColumn, const TableOptions& options);

// What a careful buyer checks before ordering, one line of text each:
// parts without an EID record, placeholder codes, required columns left
// empty, and one EIC given different values or packages. Parts set apart or left out as do-not-place are
// not checked.
std::vector<std::string> CheckLom(
    const std::vector<PartRow>& parts, const LomTable& table, const TableOptions& options);

} // namespace rav::lom
