// The history a server EID keeps of itself: every insert, update and
// deletion of a record, by whom, when, its old and new values and its change
// number (recorded by the server's own triggers, so edits made with other
// tools are there too), and the restoring of a record to an earlier change.
// File EIDs keep no history; these functions refuse them.
#pragma once

#include "database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rav::eid
{

struct FieldChange {
    std::string field;
    db::Value before, after; // Null where the record did not exist
};

struct HistoryEntry {
    std::int64_t change = 0;
    std::string at; // UTC, 2026-12-07T03:04:05Z
    std::string who; // the database role
    char op = 'U'; // 'I' insert, 'U' update, 'D' deletion
    std::string code; // the record's EIC (its new one, or the old one of a deletion)
    std::vector<FieldChange> fields; // the fields whose value changed, in column order
};

// The changes of the EID in change order; with `code`, only those of the
// record that has or had that EIC (letter case ignored). Throws db::Error.
std::vector<HistoryEntry> ReadHistory(const std::string& eidName, const std::string& code = {});

// Restores the record with EIC `code` to what it was after change `change`
// (deleting it when it did not exist then); the restoring is a change of its
// own. Returns the newest change number after it, 0 when nothing was written
// (the record was absent then and is absent now). Throws db::Error.
std::int64_t RevertRecord(const std::string& eidName, const std::string& code, std::int64_t change);

// The newest change number the connection sees (0 for none), or -1 for an
// EID that keeps no history (a file).
std::int64_t LatestChange(db::Database& db);

// Starts, in `read`, the read of an EID whose list states the change it
// saw, and returns that change (-1 for a file or an EID without history;
// a file gets a plain read transaction). On a server the read is one
// snapshot (repeatable read, read only) in which no writer was between
// taking a change number and committing it: change numbers are taken when
// a change is made, not when it is committed, so a snapshot taken while
// one was in flight could miss a change below the newest it sees, and
// --as-of that change would not read the same. Such a snapshot is let go
// and taken again once the writer has ended.
std::int64_t BeginStampedRead(db::Database& db, std::optional<db::Transaction>& read);

// When change `change` was made, in Unix time (0 when there is no such change).
std::int64_t ChangeTime(db::Database& db, std::int64_t change);

} // namespace rav::eid
