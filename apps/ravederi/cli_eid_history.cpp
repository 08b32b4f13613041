// ravederi eid history / revert: the changes a server EID recorded of
// itself, and restoring a record to an earlier change.
#include "cli.h"
#include "eid_history.h"

#include <cstdlib>
#include <iostream>

namespace rav::cli
{

namespace
{

std::string shown(const db::Value& v)
{
    if (!v)
        return "Null";
    std::string s = "\"" + *v + "\"";
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return s;
}

} // namespace

// One line per change: number, time (UTC), who, what, the EIC, then each
// changed field as NAME: OLD -> NEW.
int eidHistory(std::vector<std::string> args)
{
    const auto words = positionals(args, args.size() == 2 ? 2 : 1, "EID [CODE]");
    for (const eid::HistoryEntry& e : eid::ReadHistory(words[0], words.size() > 1 ? words[1] : std::string())) {
        const char* what = e.op == 'I' ? "insert" : e.op == 'D' ? "delete" : "update";
        std::cout << e.change << '\t' << e.at << '\t' << e.who << '\t' << what << '\t' << e.code << '\t';
        for (std::size_t i = 0; i < e.fields.size(); ++i)
            std::cout << (i ? "; " : "") << e.fields[i].field << ": " << shown(e.fields[i].before) << " -> "
                      << shown(e.fields[i].after);
        std::cout << '\n';
    }
    return Ok;
}

int eidRevert(std::vector<std::string> args)
{
    const auto to = takeOption(args, "--to");
    const auto words = positionals(args, 2, "EID CODE --to CHANGE");
    if (!to)
        throw UsageError { "--to CHANGE is needed" };
    char* end = nullptr;
    const long long change = std::strtoll(to->c_str(), &end, 10);
    if (to->empty() || *end != '\0' || change < 1)
        throw UsageError { "--to needs a change number, got '" + *to + "'" };
    const std::int64_t done = eid::RevertRecord(words[0], words[1], change);
    if (done == 0)
        std::cout << words[1] << " was already as of change " << change << '\n';
    else
        std::cout << words[1] << " restored to change " << change << " (change " << done << ")\n";
    return Ok;
}

} // namespace rav::cli
