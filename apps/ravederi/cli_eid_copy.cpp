// ravederi eid copy: a whole EID from a file to a server or back (either
// side a file or a postgresql:// name).
#include "cli.h"
#include "eid_copy.h"

#include <iostream>

namespace rav::cli
{

int eidCopy(std::vector<std::string> args)
{
    const auto words = positionals(args, 2, "SRC DST");
    const std::int64_t n = eid::CopyEid(words[0], words[1]);
    // The target is not echoed: a server name may carry a password.
    std::cout << n << " records copied\n";
    return Ok;
}

} // namespace rav::cli
