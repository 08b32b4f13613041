// ravederi: the editor's operations for batch users and pipelines.
#include "cli.h"

#include <exception>
#include <iostream>

namespace {

void printUsage(std::ostream& out, const rav::cli::CommandGroup* only = nullptr)
{
    out << "usage:\n";
    for (const auto& g : rav::cli::groups())
        if (!only || only == &g)
            out << g.usage;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? rav::cli::Usage : rav::cli::Ok;
    }
    const rav::cli::CommandGroup* group = nullptr;
    for (const auto& g : rav::cli::groups())
        if (g.name == args[0])
            group = &g;
    if (!group) {
        std::cerr << "ravederi: unknown command '" << args[0] << "'\n";
        printUsage(std::cerr);
        return rav::cli::Usage;
    }
    args.erase(args.begin());
    try {
        return group->run(std::move(args));
    } catch (const rav::cli::UsageError& e) {
        std::cerr << "ravederi: " << e.message << '\n';
        printUsage(std::cerr, group);
        return rav::cli::Usage;
    } catch (const std::exception& e) {
        std::cerr << "ravederi: " << e.what() << '\n';
        return rav::cli::Failed;
    }
}
