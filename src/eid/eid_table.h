// Internal to the EID operations: the columns of an open EID's table
// `Device` as the bulk paths need them, and native SQL built from them.
// Column names come from the file's own schema and are quoted as SQL
// identifiers; values are always bound, never pasted.
#pragma once

#include "database.h"

#include <optional>
#include <string>
#include <vector>


namespace rav::eid::detail
{

struct DeviceColumns {
    std::vector<std::string> names; // in column order
    std::vector<int> sizes; // characters, same order
    int eicOrdinal = -1;

    int count() const { return static_cast<int>(names.size()); }
    // Ordinal of a column named without regard to letter case; throws
    // rav::db::Error naming the column when the table has none such.
    int ordinal(const std::string& name) const;
};

// Reads the columns and the EIC field of table `Device`; throws
// rav::db::Error when the file is not an EID.
DeviceColumns ReadDeviceColumns(const rav::db::Database& db);

// Gives the connection a page cache large enough that the EIC index of a
// million records stays in memory during a bulk operation; with the default
// cache every look-up of a random code reads its pages from the file again.
void UseBulkCache(rav::db::Database& db);

// After a bulk operation failed part-way: commits what it stored before the
// failure, because work done before a failing line stays done. A commit that
// fails too leaves nothing more to keep. Does nothing when `tx` is empty.
void KeepWorkDone(std::optional<rav::db::Transaction>& tx) noexcept;

// The statement's column as a view (empty for Null), valid until the next step.
std::string_view ColumnText(const db::Statement& stmt, int column);

} // namespace rav::eid::detail
