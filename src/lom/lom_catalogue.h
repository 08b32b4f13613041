// The field catalogue: every field a List of Materials (or the tool box's
// project view) can show, first the project's attributes ("-P"), then every
// column of the chosen EID ("-D"), then, where asked for, the fields the
// parts carry from their design ("-A": Manufacturer, MPN, LCSC, ...). An entry's number is also the name of
// its column in the temporary database ("field" + number).
#pragma once

#include <string>
#include <vector>

namespace rav::db
{
class Database;
}

namespace rav::lom
{

struct CatalogueEntry {
    std::string fieldName; // the EID column name; empty for a project attribute
    std::string caption; // what the user sees
    int number = 0; // equal to the entry's position (1-based)
    std::string attribute; // the design field (part attribute) name; empty for the others
};

// Which project attributes lead the catalogue: eight for a List of
// Materials, five for the tool box's project view.
enum class CatalogueKind { Lom, ToolBox };

inline constexpr int kLomProjectFields = 8;
inline constexpr int kToolBoxProjectFields = 5;
int projectFieldCount(CatalogueKind kind);

// A 1-based list of entries. Invariant: entry(k).number == k for every
// 1 <= k <= size(); position 0 exists and stays empty.
class FieldCatalogue
{
public:
    FieldCatalogue();

    // The last position (0 for an empty catalogue).
    int size() const { return static_cast<int>(entries_.size()) - 1; }
    bool empty() const { return size() == 0; }
    // Entry k, 0 <= k <= size(); throws std::out_of_range otherwise.
    const CatalogueEntry& entry(int k) const;
    // Captions of entries 1..size(), in order.
    std::vector<std::string> captions() const;
    // The number of the entry with this caption (exact match), 0 if none.
    int numberOfCaption(const std::string& caption) const;

    // Replaces the content: the project entries of `kind` (captions looked
    // up in the user's language), then one entry per EID column.
    void reset(CatalogueKind kind, const std::vector<std::string>& eidColumns);
    // Appends one entry per design field, captioned NAME + "-A".
    void addDesignFields(const std::vector<std::string>& names);

private:
    std::vector<CatalogueEntry> entries_;
};

// Fills `catalogue` from the columns of table Device of the EID `eidFile`,
// in the table's order. A blank name leaves the catalogue as it was and
// returns false; so does an EID that cannot be opened or has no table
// Device. Never throws, shows nothing.
bool BuildLomCatalogue(FieldCatalogue& catalogue, const std::string& eidFile);
// The same from an EID already open, which the build can then use too: a
// server's connection (and its authentication) serves both.
bool BuildLomCatalogue(FieldCatalogue& catalogue, db::Database& eid);
bool BuildToolBoxCatalogue(FieldCatalogue& catalogue, const std::string& eidFile);

// The captions of the chosen entries in their order, followed by one empty
// text (positions 0..n for n chosen fields). A number outside the catalogue
// gives an empty caption.
std::vector<std::string> SelectedCaptions(const FieldCatalogue& catalogue, const std::vector<int>& numbers);

// The process-wide catalogue shared by the LOM wizard, the preview and the
// tool box; building either kind replaces the other.
FieldCatalogue& fieldCatalogue();

} // namespace rav::lom
