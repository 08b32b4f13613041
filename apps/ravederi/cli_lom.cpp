// ravederi lom: the List of Materials without a window. The same build and
// the same file as the wizard: the project's parts joined with the EID, the
// chosen fields (named by their catalogue captions) sorted by one of them.
#include "cli.h"

#include "eid_format.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_diff.h"
#include "lom_job.h"
#include "lom_output.h"
#include "lom_profile.h"
#include "lom_query.h"
#include "lom_settings.h"
#include "project_parts.h"
#include "textcodec.h"
#include "zareza2v.h"

#include "database.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace rav::cli
{
namespace
{

const char* const kUsage
    = "ravederi lom --project P.dpz --eid E.eid --field CAPTION ... [--sort CAPTION] [--delimiter D] --out "
      "LOM.txt\n"
      "ravederi lom --project P.dpz --eid E.eid (--field CAPTION ... | --profile NAME) [--format "
      "text|csv|xlsx|html]\n"
      "    [--group] [--group-by CAPTION ...] [--multiplier N] [--dnp include|exclude|separate] "
      "[--dnp-attribute NAME]\n"
      "    [--sort CAPTION] [--delimiter D] [--check [--strict]] [--include-excluded] [--as-of CHANGE] [--out FILE]\n"
      "    a server EID's list states the change it saw; --as-of CHANGE rebuilds the list of that change\n"
      "ravederi lom --list-fields --eid E.eid\n"
      "ravederi lom --list-profiles\n"
      "ravederi lom diff OLD NEW      (text or CSV LOM files of two revisions)\n";

std::string required(std::vector<std::string>& args, const std::string& option)
{
    auto value = takeOption(args, option);
    if (!value || value->empty())
        throw UsageError { option + " is required" };
    return *value;
}

// A server EID as it was after a change: its name with as_of added.
std::string asOfName(const std::string& eidFile, const std::string& change)
{
    if (!db::isServerName(eidFile))
        throw UsageError { "--as-of needs an EID on a server (a postgresql:// name)" };
    if (change.empty() || change.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError { "--as-of needs a change number, got '" + change + "'" };
    return eidFile + (eidFile.find('?') == std::string::npos ? "?" : "&") + "as_of=" + change;
}

lom::FieldCatalogue catalogueOf(const std::string& eidFile)
{
    lom::FieldCatalogue catalogue;
    std::error_code ec;
    if (!std::filesystem::exists(eidFile, ec))
        throw std::runtime_error("the EID file " + eidFile + " was not found");
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

int listProfiles(std::vector<std::string> args)
{
    positionals(args, 0, "no further arguments");
    for (const auto& p : lom::ListProfiles())
        std::cout << p.name << '\t' << p.description << '\t' << p.origin << '\n';
    std::cout << "(user profiles: " << lom::UserProfileDir() << "/NAME.profile)\n";
    return Ok;
}

int fieldNumber(const lom::FieldCatalogue& catalogue, const std::string& caption, const std::string& eidFile)
{
    const int number = catalogue.numberOfCaption(caption);
    if (number == 0)
        throw UsageError { "unknown field \"" + caption + "\" (ravederi lom --list-fields --eid " + eidFile
            + " lists them)" };
    return number;
}

std::vector<std::string> takeAll(std::vector<std::string>& args, const std::string& option)
{
    std::vector<std::string> values;
    while (auto v = takeOption(args, option))
        values.push_back(*v);
    return values;
}

int makeLom(std::vector<std::string> args)
{
    const std::string projectFile = required(args, "--project");
    std::string eidFile = required(args, "--eid");
    if (const auto asOf = takeOption(args, "--as-of"))
        eidFile = asOfName(eidFile, *asOf);
    const std::string out = takeOption(args, "--out").value_or("");
    const std::vector<std::string> fields = takeAll(args, "--field");
    const auto sort = takeOption(args, "--sort");
    // The wizard's delimiter box starts with the vertical bar.
    const std::string delimiter = takeDelimiter(args, "|", false);
    const auto formatName = takeOption(args, "--format");
    const auto profileName = takeOption(args, "--profile");
    const std::vector<std::string> groupBy = takeAll(args, "--group-by");
    const bool group = takeFlag(args, "--group") || !groupBy.empty();
    const auto multiplierText = takeOption(args, "--multiplier");
    const auto dnpText = takeOption(args, "--dnp");
    const std::string dnpAttribute = takeOption(args, "--dnp-attribute").value_or("DNP");
    const bool check = takeFlag(args, "--check");
    const bool strict = takeFlag(args, "--strict");
    const bool includeExcluded = takeFlag(args, "--include-excluded");
    positionals(args, 0, "no further arguments");

    // Without --format, a table file's extension names its format; any
    // other name (LOM.txt) gets the classic text.
    lom::LomFormat format = lom::FormatOfFileName(out);
    if (formatName) {
        const auto f = lom::ParseLomFormat(*formatName);
        if (!f)
            throw UsageError { "unknown format \"" + *formatName + "\" (text, csv, xlsx or html)" };
        format = *f;
    }
    lom::DnpMode dnp = lom::DnpMode::Include;
    if (dnpText) {
        if (*dnpText == "exclude")
            dnp = lom::DnpMode::Exclude;
        else if (*dnpText == "separate")
            dnp = lom::DnpMode::Separate;
        else if (*dnpText != "include")
            throw UsageError { "--dnp is include, exclude or separate, not \"" + *dnpText + "\"" };
    }
    long multiplier = 1;
    if (multiplierText) {
        const auto* end = multiplierText->data() + multiplierText->size();
        const auto [ptr, ec] = std::from_chars(multiplierText->data(), end, multiplier);
        if (ec != std::errc() || ptr != end || multiplier < 1 || multiplier > 1000000)
            throw UsageError { "--multiplier takes a whole number from 1 to 1000000" };
    }
    if (strict && !check)
        throw UsageError { "--strict goes with --check" };
    if (profileName && !fields.empty())
        throw UsageError { "--profile sets the columns: leave out --field" };
    if (!profileName && fields.empty())
        throw UsageError { "at least one --field (or a --profile) is required" };
    if (out.empty() && !check)
        throw UsageError { "--out is required" };
    std::optional<lom::Profile> profile;
    if (profileName) {
        profile = lom::FindProfile(*profileName);
        if (!profile)
            throw UsageError { "unknown profile \"" + *profileName
                + "\" (ravederi lom --list-profiles lists them)" };
    }

    const lom::FieldCatalogue catalogue = catalogueOf(eidFile);
    lom::LomJobOptions job;
    job.eidFile = eidFile;
    job.outputFile = out;
    job.format = format;
    job.delimiterText = delimiter;
    job.group = group;
    job.multiplier = multiplier;
    job.dnp = dnp;
    job.dnpAttribute = dnpAttribute;
    job.profile = profile;
    job.check = check;
    job.strict = strict;
    job.includeExcluded = includeExcluded;
    for (const auto& caption : fields)
        job.fields.push_back(fieldNumber(catalogue, caption, eidFile));
    for (const auto& caption : groupBy)
        job.groupFields.push_back(fieldNumber(catalogue, caption, eidFile));
    if (sort)
        job.sortField = fieldNumber(catalogue, *sort, eidFile);

    lom::TableOptions table;
    try {
        table = lom::MakeTableOptions(catalogue, job);
    } catch (const std::invalid_argument& e) {
        throw UsageError { e.what() };
    }
    const bool hasQuantity = std::any_of(table.columns.begin(), table.columns.end(),
        [](const lom::TableColumn& c) { return c.source.kind == lom::ColumnSource::Kind::Quantity; });
    if (multiplier != 1 && !hasQuantity)
        throw UsageError { "--multiplier needs a quantity column (--group, or a profile with @quantity)" };
    // The classic file keeps its sort rule: one of the chosen fields, the
    // first by default. The other outputs sort by any field, else by part
    // name, in natural order.
    const bool classic = lom::IsClassicLom(job);
    if (sort && classic && std::find(job.fields.begin(), job.fields.end(), job.sortField) == job.fields.end())
        throw UsageError { "--sort must name one of the --field captions" };

    if (Z_OpenProject(projectFile.c_str()) == 0)
        throw std::runtime_error("cannot open project " + projectFile + ": " + Z_LastError());
    struct ProjectCloser {
        ~ProjectCloser() { Z_CloseProject(); }
    } closer;

    // The temporary database goes where the editor puts its own.
    shell::ShellState folders;
    shell::EnsureTempDir(folders, HostUtility::instance());
    job.tempDir = folders.TempDir;

    StderrMessageSink messages;
    TerminalProgress progress;
    const lom::LomJobResult result = lom::RunLomJob(catalogue, job, progress, messages);
    if (result.excluded > 0)
        std::cerr << "ravederi: " << result.excluded << (result.excluded == 1 ? " part" : " parts")
                  << " excluded from lists by the design left out (--include-excluded lists them)\n";
    progress.finish();
    if (result.eidChange >= 0)
        std::cerr << "ravederi: EID change " << result.eidChange << " (rebuild with --as-of " << result.eidChange
                  << ")\n";
    if (result.noParts)
        return Failed; // the message is out already
    if (!result.built)
        throw std::runtime_error(result.error);
    // "--out -": the file goes to standard output, reports to stderr.
    std::ostream& summary = out == "-" ? std::cerr : std::cout;
    if (check) {
        for (const auto& p : result.problems)
            summary << "check: " << p << '\n';
        summary << result.problems.size() << (result.problems.size() == 1 ? " problem" : " problems")
                  << " found\n";
        if (result.stoppedByCheck) {
            std::cerr << "ravederi: the checks found problems" << (out.empty() ? "" : "; nothing written") << '\n';
            return Failed;
        }
    }
    if (out.empty())
        return Ok;
    if (!result.written) {
        if (result.errorShown)
            return Failed; // the write failure has been reported
        throw std::runtime_error(result.error);
    }
    if (classic)
        summary << result.lines << " lines written to " << out << '\n';
    else
        summary << result.lines << " lines (" << result.parts << " parts) written to " << out << " as "
                  << lom::FormatName(format) << '\n';
    return Ok;
}

// Like diff(1): 0 when the files are equal, 1 when they differ, 2 when
// they cannot be compared.
int diff(std::vector<std::string> args)
{
    const auto files = positionals(args, 2, "OLD and NEW LOM files");
    std::vector<std::string> lines;
    try {
        lines = lom::DiffLomFiles(lom::ReadLomFile(files[0]), lom::ReadLomFile(files[1]));
    } catch (const std::exception& e) {
        std::cerr << "ravederi: " << e.what() << '\n';
        return Usage;
    }
    for (const auto& line : lines)
        std::cout << line << '\n';
    return lines.size() > 1 ? Failed : Ok;
}

int run(std::vector<std::string> args)
{
    if (!args.empty() && args.front() == "diff")
        return diff({ args.begin() + 1, args.end() });
    if (takeFlag(args, "--list-fields"))
        return listFields(std::move(args));
    if (takeFlag(args, "--list-profiles"))
        return listProfiles(std::move(args));
    return makeLom(std::move(args));
}

const Registrar registrar({ "lom", kUsage, run });

} // namespace
} // namespace rav::cli
