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
#include "lom_purchase.h"
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
      "ravederi lom --project A.dpz[:BOARDS] --project B.dpz[:BOARDS] ... --eid E.eid (--field CAPTION ... | "
      "--profile NAME)\n"
      "    [--spares PERCENT] [--spares-min N] [the options above]\n"
      "    one purchase list: quantities x boards added across projects, spares per line on top\n"
      "ravederi lom --list-fields [--eid E.eid] [--project P.dpz]   (design fields of P end in -A)\n"
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

// A server EID opened once, for the catalogue and the build: every
// connection costs an authentication. A file is opened where it is needed.
// Nothing when it cannot be opened; catalogueOf then says why.
std::optional<db::Database> openServerEid(const std::string& eidFile)
{
    if (!db::isServerName(eidFile))
        return std::nullopt;
    try {
        return db::Database::open(eidFile, db::OpenMode::Shared);
    } catch (const db::Error&) {
        return std::nullopt;
    }
}

lom::FieldCatalogue catalogueOf(const std::string& eidFile, std::optional<db::Database>& open)
{
    lom::FieldCatalogue catalogue;
    std::error_code ec;
    if (!db::isServerName(eidFile) && !std::filesystem::exists(eidFile, ec))
        throw std::runtime_error("the EID file " + eidFile + " was not found");
    if (!(open ? lom::BuildLomCatalogue(catalogue, *open) : lom::BuildLomCatalogue(catalogue, eidFile)))
        throw std::runtime_error(eidFile + " is not an External Info Database");
    return catalogue;
}

// Opens a project for the rest of the command (closed at its end).
struct ProjectOpener {
    explicit ProjectOpener(const std::string& file)
    {
        if (Z_OpenProject(file.c_str()) == 0)
            throw std::runtime_error("cannot open project " + file + ": " + Z_LastError());
    }
    ~ProjectOpener() { Z_CloseProject(); }
    ProjectOpener(const ProjectOpener&) = delete;
    ProjectOpener& operator=(const ProjectOpener&) = delete;
};

int listFields(std::vector<std::string> args)
{
    const auto eidFile = takeOption(args, "--eid");
    const auto projectFile = takeOption(args, "--project");
    positionals(args, 0, "no further arguments");
    if (!eidFile && !projectFile)
        throw UsageError { "--list-fields needs --eid, --project or both" };
    lom::FieldCatalogue catalogue;
    if (eidFile) {
        std::optional<db::Database> open = openServerEid(*eidFile);
        catalogue = catalogueOf(*eidFile, open);
    }
    else
        catalogue.reset(lom::CatalogueKind::Lom, {});
    std::optional<ProjectOpener> open;
    if (projectFile) {
        open.emplace(*projectFile);
        catalogue.addDesignFields(lom::ListDesignFields());
    }
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
            + " --project P.dpz lists them)" };
    return number;
}

std::vector<std::string> takeAll(std::vector<std::string>& args, const std::string& option)
{
    std::vector<std::string> values;
    while (auto v = takeOption(args, option))
        values.push_back(*v);
    return values;
}

// A whole number option from `minimum` to `maximum`, or refused.
long countOption(const std::optional<std::string>& text, const std::string& option, long minimum, long maximum)
{
    long n = minimum;
    if (!text)
        return n;
    const auto* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, n);
    if (ec != std::errc() || ptr != end || n < minimum || n > maximum)
        throw UsageError { option + " takes a whole number from " + std::to_string(minimum) + " to "
            + std::to_string(maximum) };
    return n;
}

// The fields a list names by caption; each board's catalogue numbers them.
struct FieldCaptions {
    std::vector<std::string> fields;
    std::vector<std::string> groupBy;
    std::optional<std::string> sort;
};

void resolveFields(const lom::FieldCatalogue& catalogue, const FieldCaptions& captions, lom::LomJobOptions& job)
{
    job.fields.clear();
    job.groupFields.clear();
    for (const auto& caption : captions.fields)
        job.fields.push_back(fieldNumber(catalogue, caption, job.eidFile));
    for (const auto& caption : captions.groupBy)
        job.groupFields.push_back(fieldNumber(catalogue, caption, job.eidFile));
    job.sortField = captions.sort ? fieldNumber(catalogue, *captions.sort, job.eidFile) : 0;
}

// Several boards in one list: each project read as one board in turn
// (one project is open at a time), then the lines merged and written.
int makePurchaseList(const std::vector<lom::ProjectCount>& projects, lom::LomJobOptions job,
    const FieldCaptions& captions, const lom::SpareRule& spares)
{
    std::vector<std::string> paths;
    for (const auto& p : projects)
        paths.push_back(p.path);
    const std::vector<std::string> labels = lom::BoardLabels(paths);
    shell::ShellState folders;
    shell::EnsureTempDir(folders, HostUtility::instance());
    job.tempDir = folders.TempDir;
    StderrMessageSink messages;
    TerminalProgress progress;
    std::ostream& summary = job.outputFile == "-" ? std::cerr : std::cout;

    std::optional<db::Database> eid = openServerEid(job.eidFile);
    job.eid = eid ? &*eid : nullptr;
    std::vector<lom::BoardList> boards;
    lom::PurchaseLayout layout;
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        ProjectOpener open(projects[i].path);
        lom::FieldCatalogue catalogue = catalogueOf(job.eidFile, eid);
        catalogue.addDesignFields(lom::ListDesignFields());
        resolveFields(catalogue, captions, job);
        lom::PurchaseLayout columns;
        try {
            const lom::TableOptions table = lom::MakeTableOptions(catalogue, job);
            for (std::size_t c = 0; c < table.columns.size(); ++c)
                if (table.columns[c].source.kind == lom::ColumnSource::Kind::Quantity)
                    columns.quantityColumn = static_cast<int>(c);
        } catch (const std::invalid_argument& e) {
            throw UsageError { e.what() };
        }
        if (columns.quantityColumn < 0)
            throw UsageError { "a purchase list needs a quantity column (--field ..., or a profile with @quantity)" };
        if (i == 0)
            layout.sortColumn = lom::LomJobSortColumn(catalogue, job);
        lom::PurchaseBoard read = lom::ReadPurchaseBoard(catalogue, job, progress, messages);
        if (read.result.excluded > 0)
            std::cerr << "ravederi: " << labels[i] << ": " << read.result.excluded
                      << (read.result.excluded == 1 ? " part" : " parts")
                      << " excluded from lists by the design left out (--include-excluded lists them)\n";
        if (read.result.noParts) {
            progress.finish();
            return Failed; // the message is out already
        }
        if (!read.result.error.empty())
            throw std::runtime_error(projects[i].path + ": " + read.result.error);
        for (const auto& p : read.result.problems)
            problems.push_back(labels[i] + ": " + p);
        read.board.label = labels[i];
        read.board.count = projects[i].count;
        if (i == 0) {
            const int sortColumn = layout.sortColumn;
            layout = read.layout;
            layout.sortColumn = sortColumn;
        } else if (read.layout.headers != layout.headers) {
            throw std::runtime_error(projects[i].path + ": its columns differ from those of " + projects[0].path);
        }
        boards.push_back(std::move(read.board));
    }
    progress.finish();
    layout.multiplier = job.multiplier;
    layout.spares = spares;
    layout.descending = job.descending;

    if (job.check) {
        for (const auto& p : problems)
            summary << "check: " << p << '\n';
        summary << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found\n";
        if (job.strict && !problems.empty()) {
            std::cerr << "ravederi: the checks found problems" << (job.outputFile.empty() ? "" : "; nothing written")
                      << '\n';
            return Failed;
        }
    }
    std::string title = "Purchase list -";
    for (std::size_t i = 0; i < boards.size(); ++i)
        title += (i == 0 ? " " : ", ") + boards[i].label + " x" + std::to_string(boards[i].count);
    const lom::LomJobResult result = lom::WritePurchaseList(boards, layout, job, title, progress);
    if (!result.error.empty())
        throw std::runtime_error(result.error);
    if (job.outputFile.empty())
        return Ok;
    summary << result.lines << " lines (" << result.parts << " parts) written to " << job.outputFile << " as "
            << lom::FormatName(job.format) << '\n';
    return Ok;
}

int makeLom(std::vector<std::string> args)
{
    const std::vector<std::string> projectArgs = takeAll(args, "--project");
    if (projectArgs.empty())
        throw UsageError { "--project is required" };
    std::vector<lom::ProjectCount> projects;
    for (const auto& text : projectArgs) {
        try {
            projects.push_back(lom::ParseProjectCount(text, [](const std::string& path) {
                std::error_code ec;
                return std::filesystem::exists(path, ec);
            }));
        } catch (const std::invalid_argument& e) {
            // One line: the whole usage would bury which count was wrong.
            std::cerr << "ravederi: " << e.what() << '\n';
            return Usage;
        }
    }
    const std::string projectFile = projects.front().path;
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
    const auto sparesText = takeOption(args, "--spares");
    const auto sparesMinText = takeOption(args, "--spares-min");
    positionals(args, 0, "no further arguments");
    lom::SpareRule spares;
    spares.percent = countOption(sparesText, "--spares", 0, 1000);
    spares.minimum = countOption(sparesMinText, "--spares-min", 0, lom::kMaxBoards);
    // Several boards, a board count or spares make a purchase list: lines
    // added across boards, so grouped.
    const bool purchase = projects.size() > 1 || projects.front().count != 1 || sparesText || sparesMinText;

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
    const long multiplier = countOption(multiplierText, "--multiplier", 1, 1000000);
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

    lom::LomJobOptions job;
    job.eidFile = eidFile;
    job.outputFile = out;
    job.format = format;
    job.delimiterText = delimiter;
    job.group = group || purchase; // a purchase list is always grouped
    job.multiplier = multiplier;
    job.dnp = dnp;
    job.dnpAttribute = dnpAttribute;
    job.profile = profile;
    job.check = check;
    job.strict = strict;
    job.includeExcluded = includeExcluded;
    if (purchase)
        return makePurchaseList(projects, job, { fields, groupBy, sort }, spares);

    // The project first: its parts' design fields are columns too.
    ProjectOpener open(projectFile);
    std::optional<db::Database> eid = openServerEid(eidFile);
    job.eid = eid ? &*eid : nullptr;
    lom::FieldCatalogue catalogue = catalogueOf(eidFile, eid);
    catalogue.addDesignFields(lom::ListDesignFields());
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
