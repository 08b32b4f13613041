// ravederi project: project files from readable JSON sources and back, the
// project's part collections, and the write-back of one EIC.
#include "cli.h"
#include "eic_writeback.h"
#include "kicad_netlist.h"
#include "kicad_sch.h"
#include "kicad_writeback.h"
#include "project_model.h"
#include "project_parts.h"
#include "textcodec.h"
#include "zareza2v.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
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
      "                                             store CODE as the EIC of device PART (prints old -> new)\n"
      "ravederi project undo FILE.dpz               take back the last EIC write-back\n"
      "ravederi project from-kicad NETLIST.xml OUT.dpz [--eic-field NAME] [--normalise-values] [--json]\n"
      "                                             a project from a KiCad netlist (--json: OUT is JSON;\n"
      "                                             --normalise-values: 10K and 10000 are one 10k)\n"
      "ravederi project from-kicad ROOT.kicad_sch OUT.dpz [--eic-field NAME] [--normalise-values]\n"
      "                                             a project from KiCad schematics (the whole hierarchy)\n"
      "ravederi project to-kicad FILE.dpz [--field NAME] [--dry-run]\n"
      "                                             write the devices' EICs into the schematics (prints old -> new)\n";

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
    if (project::recoverDesignWrite(words[0]), project::lastChangeIsDesignWrite(words[0])) {
        std::cout << "Undone:\n" << project::undoDesignWrite(words[0]);
        return Ok;
    }
    OpenProject open(words[0]);
    const auto changes = kernel::undoLastWriteBack();
    std::cout << "Undone:\n" << kernel::describeChanges(changes);
    return Ok;
}

// A project from schematics, linked to them for to-kicad: the project file is
// built under a temporary name, linked, and only then renamed over OUT.
int fromKicadSchematic(
    const std::filesystem::path& root, const std::string& out, const project::KicadNetlistOptions& options)
{
    const auto design = project::readSchematicDesign(root);
    const auto imported = project::projectFromKicadParts(project::kicadDesignOf(design), root, options);
    for (const auto& warning : imported.warnings)
        std::cerr << "warning: " << root.string() << ": " << warning << "\n";
    auto model = imported.project;
    const std::filesystem::path target = std::filesystem::absolute(out);
    const std::filesystem::path temp = target.parent_path() / ("." + target.filename().string() + ".new");
    // Over an existing project: the codes assigned there since the last
    // import and its undo journals stay, unless the design's own code changed.
    const bool again = std::filesystem::exists(target);
    std::map<std::string, std::string> designCodes;
    std::vector<std::string> designWins;
    if (again) {
        project::recoverDesignWrite(target);
        designWins = project::keepAssignedCodes(target, model, designCodes);
    } else {
        for (const auto& d : model.devices)
            designCodes[d.name] = d.tokens && d.tokens->size() > 1 ? (*d.tokens)[1] : std::string();
    }
    std::error_code ec;
    try {
        project::writeDpz(model, temp);
        project::storeDesignLink(temp, project::linkOf(design, root, options.eicField));
        project::storeDesignCodes(temp, designCodes);
        if (again)
            project::carryJournals(target, temp);
        std::filesystem::rename(temp, target);
        for (const auto& line : designWins)
            std::cout << "from the design: " << line << "\n";
    } catch (...) {
        std::filesystem::remove(temp, ec);
        throw;
    }
    return Ok;
}

int toKicad(std::vector<std::string> args)
{
    const bool dryRun = takeFlag(args, "--dry-run");
    std::string requested;
    if (auto field = takeOption(args, "--field")) {
        if (field->empty())
            throw UsageError { "--field needs a field name" };
        requested = *field;
    }
    const auto words = positionals(args, 1, "FILE.dpz");
    project::recoverDesignWrite(words[0]);
    const auto link = project::loadDesignLink(words[0]);
    if (!link)
        throw std::runtime_error(words[0] + " was not made from a KiCad schematic");
    const auto plan = project::planDesignWrite(words[0], project::writeBackField(*link, requested));
    std::cout << project::describeDesignWrite(plan);
    if (dryRun || plan.files.empty()) {
        std::cout << (plan.files.empty() ? "Nothing to write.\n" : "Dry run: nothing written.\n");
        return Ok;
    }
    project::applyDesignWrite(words[0], plan);
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
    const std::filesystem::path source(words[0]);
    const bool schematic = source.extension() == ".kicad_sch" || source.extension() == ".sch";
    if (schematic && !json)
        return fromKicadSchematic(source, words[1], options);
    // A schematic's readable form has no link back to it: it is only looked at.
    const auto imported = schematic
        ? project::projectFromKicadParts(project::kicadDesignOf(project::readSchematicDesign(source)), source, options)
        : project::importKicadNetlist(words[0], options);
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
    if (command == "to-kicad")
        return toKicad(std::move(args));
    throw UsageError { "unknown project command '" + command + "'" };
}

const Registrar registrar({ "project", kUsage, run });

} // namespace
} // namespace rav::cli
