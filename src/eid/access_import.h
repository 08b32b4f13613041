// A legacy EID kept as an Access table becomes an EID file: the table's
// columns become the EID's fields in their order and with their names, its
// rows the records.
//
// - Text(n) becomes a field of size n; Memo a field of size 255. Other
//   types become text fields as wide as their longest text form: Yes/No 3
//   ("Yes", "No"), Byte 3, Integer 6, Long Integer 11, Currency 21 (four
//   decimals, "3.5000"), Single 15 and Double 24 (the shortest form that
//   reads back), Date/Time 19 ("2024-03-02 10:15:00", the date alone when
//   the time is midnight), Replication ID 38 ("{8-4-4-4-12}"), Decimal its
//   precision + 2. Null is the empty text.
// - The EIC field is the column named by the caller, else the table's
//   one-column primary key, else its first Text or Memo column.
// - Refused, with one line and before any file is written: Binary, OLE and
//   other columns that have no text form, a column wider than 255
//   characters, a value longer than its field, a column name an EID field
//   cannot have (a blank in it, or a name twice), more columns than an EID
//   holds, an empty EIC or an EIC that two rows share (compared without
//   regard to ASCII letter case, as the EID's index does).
#pragma once

#include "access_reader.h"
#include "eid_format.h"
#include "sinks.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rav::eid
{

struct AccessImportPlan {
    std::vector<EidField> fields;
    std::string eicField;
};

// The EID that holds `table`, after checking that it can hold every value.
// Throws AccessError with the reason.
AccessImportPlan PlanAccessImport(const AccessTable& table, const std::string& eicColumn = {});

struct AccessImportResult {
    AccessImportPlan plan;
    std::int64_t records = 0;
};

// Reads the table, checks it, and writes `eidFile`: built under a temporary
// name beside it and renamed over it only when complete, so a failure
// leaves no new file and an earlier `eidFile` as it was. Throws AccessError.
AccessImportResult ImportAccessTable(const std::string& accessFile, const std::string& table,
    const std::string& eidFile, const std::string& eicColumn, ProgressSink& progress);

} // namespace rav::eid
