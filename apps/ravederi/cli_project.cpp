// ravederi project: project files from readable JSON sources and back, the
// project's part collections, and the write-back of one EIC.
#include "cli.h"
#include "eic_writeback.h"
#include "kicad_netlist.h"
#include "project_model.h"
#include "project_parts.h"
#include "textcodec.h"
#include "zareza2v.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace rav::cli
{
namespace
{

const char* const kUsage
    = "ravederi project build SOURCE.json OUT.dpz   write a project file from its JSON source\n"
      "ravederi project dump FILE.dpz               print a project file as JSON\n"
      "ravederi project parts FILE.dpz [--devices]  list the placed parts (or the devices), tab-separated\n"
      "ravederi project set-eic FILE.dpz PART CODE [--dry-run]\n"
      "                                             store CODE as the EIC of device PART (prints old -> "
      "new)\n"
      "ravederi project undo FILE.dpz               take back the last EIC write-back\n"
      "ravederi project from-kicad NETLIST.xml OUT.dpz [--eic-field NAME] [--normalise-values] [--json]\n"
      "                                             a project from a KiCad netlist (--json: OUT is JSON;\n"
      "                                             --normalise-values: 10K and 10000 are one 10k)\n";

// One record per line: tabs and line ends inside a field become blanks.
std::string field(std::string s)
{
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return s;
}

int build(const std::vector<std::string>& args)
{
    const auto words = positionals(args, 2, "SOURCE.json OUT.dpz");
    std::ifstream in(words[0], std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + words[0]);
    std::ostringstream source;
    source << in.rdbuf();
    try {
        project::writeDpz(project::parseJson(source.str()), words[1]);
    } catch (const project::ProjectError& e) {
        throw std::runtime_error(words[0] + ": " + e.what());
    }
    return Ok;
}

int dump(const std::vector<std::string>& args)
{
    const auto words = positionals(args, 1, "FILE.dpz");
    std::cout << project::toJson(project::readDpz(words[0]));
    return Ok;
}

int parts(std::vector<std::string> args)
{
    const bool devices = takeFlag(args, "--devices");
    const auto words = positionals(args, 1, "FILE.dpz");
    OpenProject open(words[0]);
    auto& kernel = kernel::ProjectParts::instance();
    if (devices) {
        kernel.CollectProjectDevices();
    } else {
        kernel.CollectLayoutComponents();
        for (std::size_t i = 1; i <= kernel.PartList().Count(); ++i)
            kernel.ReadPartDetails(i);
    }
    std::cout << "CompName\tPartName\tFullName\tEic\tSimRef\tPackage\tDescription\tValue\tHandle\n";
    for (const auto& p : kernel.PartList())
        std::cout << field(p.CompName) << '\t' << field(p.PartName) << '\t' << field(p.FullName) << '\t'
                  << field(p.Eic) << '\t' << field(p.SimRef) << '\t' << field(p.Package) << '\t'
                  << field(p.Description) << '\t' << field(p.Value) << '\t' << p.Handle << '\n';
    return Ok;
}

int setEic(std::vector<std::string> args)
{
    const bool dryRun = takeFlag(args, "--dry-run");
    const auto words = positionals(args, 3, "FILE.dpz PART CODE");
    const std::string code = text::trimBlanks(words[2]);
    if (code.empty())
        throw UsageError { "CODE must not be empty" };
    OpenProject open(words[0]);
    // What will change is printed before anything is written.
    const auto plan = kernel::planEicChanges({ { words[1], code } });
    std::cout << kernel::describeChanges(plan);
    if (dryRun && !plan.empty() && !plan.front().known)
        throw std::runtime_error("the project has no device \"" + words[1] + "\"");
    if (dryRun || plan.empty()) {
        std::cout << (plan.empty() ? "Nothing to write.\n" : "Dry run: nothing written.\n");
        return Ok;
    }
    StderrMessageSink messages;
    kernel::applyEicChanges(plan, messages);
    return messages.shown > 0 ? Failed : Ok;
}

int undo(const std::vector<std::string>& args)
{
    const auto words = positionals(args, 1, "FILE.dpz");
    OpenProject open(words[0]);
    const auto changes = kernel::undoLastWriteBack();
    std::cout << "Undone:\n" << kernel::describeChanges(changes);
    return Ok;
}

int fromKicad(std::vector<std::string> args)
{
    project::KicadNetlistOptions options;
    if (auto field = takeOption(args, "--eic-field")) {
        if (field->empty())
            throw UsageError { "--eic-field needs a field name" };
        options.eicField = *field;
    }
    options.normaliseValues = takeFlag(args, "--normalise-values");
    const bool json = takeFlag(args, "--json");
    const auto words = positionals(args, 2, "NETLIST.xml OUT.dpz");
    const auto imported = project::importKicadNetlist(words[0], options);
    for (const auto& warning : imported.warnings)
        std::cerr << "warning: " << words[0] << ": " << warning << "\n";
    const auto& model = imported.project;
    if (!json) {
        project::writeDpz(model, words[1]);
        return Ok;
    }
    // Written beside OUT and renamed over it, so a failed write leaves an
    // earlier OUT as it was.
    const std::string temp = words[1] + ".part";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << project::toJson(model);
    out.close();
    std::error_code ec;
    if (out)
        std::filesystem::rename(temp, words[1], ec);
    if (!out || ec) {
        std::filesystem::remove(temp, ec);
        throw std::runtime_error("cannot write " + words[1]);
    }
    return Ok;
}

int run(std::vector<std::string> args)
{
    if (args.empty())
        throw UsageError { "project needs a command" };
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "build")
        return build(args);
    if (command == "dump")
        return dump(args);
    if (command == "parts")
        return parts(std::move(args));
    if (command == "set-eic")
        return setEic(std::move(args));
    if (command == "undo")
        return undo(args);
    if (command == "from-kicad")
        return fromKicad(std::move(args));
    throw UsageError { "unknown project command '" + command + "'" };
}

const Registrar registrar({ "project", kUsage, run });

} // namespace
} // namespace rav::cli
