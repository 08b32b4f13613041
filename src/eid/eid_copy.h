// Copying a whole EID between a file and a server (either side may be a
// file or a server name): the table Device with its fields, sizes, rules and
// EIC index, and every record in row order, so that the copy exports the
// same text as the original.
#pragma once

#include <cstdint>
#include <string>

namespace rav::eid
{

// Copies EID `source` to `target`, which must not exist yet. A file target
// is built under a name of its own and renamed at the end; a server target
// is filled in one transaction. Either way a failure leaves no half copy.
// Returns the number of records copied; throws rav::db::Error.
std::int64_t CopyEid(const std::string& source, const std::string& target);

} // namespace rav::eid
