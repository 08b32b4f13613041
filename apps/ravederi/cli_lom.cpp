// ravederi lom: the List of Materials without a window. The same build and
// the same file as the wizard: the project's parts joined with the EID, the
// chosen fields (named by their catalogue captions) sorted by one of them.
#include "cli.h"

#include "eid_format.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_query.h"
#include "lom_settings.h"
#include "zareza2v.h"

#include <algorithm>
#include <iostream>
#include <stdexcept>

namespace rav::cli
{
namespace
{

const char* const kUsage
    = "ravederi lom --project P.dpz --eid E.eid --field CAPTION ... [--sort CAPTION] [--delimiter D] --out "
      "LOM.txt\n"
      "ravederi lom --list-fields --eid E.eid\n";

std::string required(std::vector<std::string>& args, const std::string& option)
{
    auto value = takeOption(args, option);
    if (!value || value->empty())
        throw UsageError { option + " is required" };
    return *value;
}

lom::FieldCatalogue catalogueOf(const std::string& eidFile)
{
    lom::FieldCatalogue catalogue;
    if (!lom::BuildLomCatalogue(catalogue, eidFile))
        throw std::runtime_error(eidFile + " is not an External Info Database");
    return catalogue;
}

int listFields(std::vector<std::string> args)
{
    const std::string eidFile = required(args, "--eid");
    positionals(args, 0, "no further arguments");
    const lom::FieldCatalogue catalogue = catalogueOf(eidFile);
    for (int k = 1; k <= catalogue.size(); ++k) {
        const auto& e = catalogue.entry(k);
        std::cout << e.number << '\t' << e.caption << '\t' << e.fieldName << '\n';
    }
    return Ok;
}

int makeLom(std::vector<std::string> args)
{
    const std::string projectFile = required(args, "--project");
    const std::string eidFile = required(args, "--eid");
    const std::string out = required(args, "--out");
    std::vector<std::string> fields;
    while (auto f = takeOption(args, "--field"))
        fields.push_back(*f);
    const auto sort = takeOption(args, "--sort");
    // The wizard's delimiter box starts with the vertical bar.
    const std::string delimiter = takeOption(args, "--delimiter").value_or("|");
    positionals(args, 0, "no further arguments");
    if (fields.empty())
        throw UsageError { "at least one --field is required" };

    const lom::FieldCatalogue catalogue = catalogueOf(eidFile);
    lom::QueryChoice choice;
    choice.delimiterText = delimiter;
    for (const auto& caption : fields) {
        const int number = catalogue.numberOfCaption(caption);
        if (number == 0)
            throw UsageError { "unknown field \"" + caption + "\" (ravederi lom --list-fields --eid "
                + eidFile + " lists them)" };
        choice.selected.push_back(number);
    }
    // As in the wizard, the sort field is one of the chosen fields, the first by default.
    choice.sortNumber = choice.selected.front();
    if (sort) {
        const int number = catalogue.numberOfCaption(*sort);
        if (std::find(choice.selected.begin(), choice.selected.end(), number) == choice.selected.end())
            throw UsageError { "--sort must name one of the --field captions" };
        choice.sortNumber = number;
    }

    if (Z_OpenProject(projectFile.c_str()) == 0)
        throw std::runtime_error("cannot open project " + projectFile + ": " + Z_LastError());
    struct ProjectCloser {
        ~ProjectCloser() { Z_CloseProject(); }
    } closer;

    // The temporary database goes where the editor puts its own.
    shell::ShellState folders;
    shell::EnsureTempDir(folders, HostUtility::instance());

    StderrMessageSink messages;
    TerminalProgress progress;
    const lom::BuildResult built
        = lom::BuildLomDatabase({ eidFile, folders.TempDir, catalogue.size() }, progress, messages);
    struct TempRemover {
        std::string name;
        ~TempRemover() { lom::DeleteTempDatabase(name); }
    } remover { built.tempDbName };
    if (!built.built) {
        progress.finish();
        if (built.noParts)
            return Failed; // the message is out already
        throw std::runtime_error("cannot build the List of Materials: " + built.error);
    }
    const lom::LomQuery query = lom::makeQueryString(catalogue, choice);
    const lom::LomFileResult written
        = lom::CreateLomFile({ built.tempDbName, query.sql, query.delimiter, out }, progress, messages);
    progress.finish();
    if (!written.fileCreated)
        throw std::runtime_error(written.error.empty() ? "cannot create " + out : written.error);
    if (!written.complete)
        return Failed; // the write failure has been reported
    std::cout << written.lines << " lines written to " << out << '\n';
    return Ok;
}

int run(std::vector<std::string> args)
{
    if (takeFlag(args, "--list-fields"))
        return listFields(std::move(args));
    return makeLom(std::move(args));
}

const Registrar registrar({ "lom", kUsage, run });

} // namespace
} // namespace rav::cli
