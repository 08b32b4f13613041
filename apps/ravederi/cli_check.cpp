// ravederi check and ravederi suggest: the project's devices against an EID.
// check lists where the two disagree; suggest ranks EID records for the
// devices without a code and can write the best ones back.
#include "cli.h"

#include "eic_writeback.h"
#include "integrity_report.h"
#include "suggestions.h"
#include "values.h"
#include "zareza2v.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace rav::cli
{
namespace
{

const char* const kCheckUsage
    = "ravederi check --project P.dpz --eid E.eid [--format text|csv|json] [--eic-field NAME]\n"
      "                                             devices, parts and records that disagree (--eic-field:\n"
      "                                             the part field holding each part's own code)\n";
const char* const kSuggestUsage
    = "ravederi suggest --project P.dpz --eid E.eid [--top N] [(--apply | --apply-above SCORE) [--margin POINTS]\n"
      "    [--dry-run]]\n"
      "                                             ranked records for devices without EIC\n";

std::string required(std::vector<std::string>& args, const std::string& option)
{
    auto value = takeOption(args, option);
    if (!value || value->empty())
        throw UsageError { option + " is required" };
    return *value;
}

double number(const std::string& text, const std::string& option, double low, double high)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < low || value > high)
        throw UsageError { option + " needs a number from " + std::to_string(static_cast<long>(low)) + " to "
            + std::to_string(static_cast<long>(high)) };
    return value;
}

int check(std::vector<std::string> args)
{
    const std::string projectFile = required(args, "--project");
    const std::string eidFile = required(args, "--eid");
    integrity::Format format = integrity::Format::Text;
    if (auto name = takeOption(args, "--format"))
        if (!integrity::parseFormat(*name, format))
            throw UsageError { "unknown format '" + *name + "' (text, csv or json)" };
    std::vector<std::string> codeFields;
    if (auto field = takeOption(args, "--eic-field")) {
        if (field->empty())
            throw UsageError { "--eic-field needs a field name" };
        codeFields.push_back(*field);
    }
    positionals(args, 0, "no further arguments");
    // The EID first: a bad one must fail before the project is opened.
    const integrity::EidRecords records = integrity::readEidRecords(eidFile, false);
    OpenProject open(projectFile);
    const auto devices = integrity::readProjectDevices(codeFields);
    std::cout << integrity::formatReport(integrity::checkIntegrity(devices, records), format);
    return Ok;
}

std::string clipped(const std::string& text, std::size_t length)
{
    return text.size() <= length ? text : text.substr(0, length) + "...";
}

std::string score(double value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%5.1f", value);
    return buf;
}

int suggest(std::vector<std::string> args)
{
    const std::string projectFile = required(args, "--project");
    const std::string eidFile = required(args, "--eid");
    std::size_t top = 3;
    if (auto n = takeOption(args, "--top"))
        top = static_cast<std::size_t>(number(*n, "--top", 1, 1000));
    std::optional<double> applyAbove;
    if (auto s = takeOption(args, "--apply-above"))
        applyAbove = number(*s, "--apply-above", 0, 100);
    if (takeFlag(args, "--apply")) {
        if (applyAbove)
            throw UsageError { "--apply and --apply-above exclude each other" };
        applyAbove = integrity::kDefaultApplyScore;
    }
    double margin = integrity::kDefaultApplyMargin;
    const auto marginText = takeOption(args, "--margin");
    if (marginText)
        margin = number(*marginText, "--margin", 0, 100);
    const bool dryRun = takeFlag(args, "--dry-run");
    positionals(args, 0, "no further arguments");
    if ((dryRun || marginText) && !applyAbove)
        throw UsageError { std::string(dryRun ? "--dry-run" : "--margin") + " goes with --apply or --apply-above" };

    const integrity::EidRecords records = integrity::readEidRecords(eidFile, true);
    OpenProject open(projectFile);
    const auto devices = integrity::readProjectDevices();
    const integrity::SuggestionIndex index(records);

    std::vector<kernel::WantedCode> wanted;
    std::string ties;
    std::size_t without = 0;
    for (const auto& d : devices) {
        if (!IsPlaceholderCode(d.eic))
            continue;
        ++without;
        const auto ranked = index.suggest(d, std::max<std::size_t>(top, 2));
        std::cout << d.name << "  [" << (d.value.empty() ? "-" : d.value) << " / "
                  << (d.footprint.empty() ? "-" : d.footprint) << "]\n";
        if (ranked.empty())
            std::cout << "      no record fits (none shares a word, or each is of another package, kind or value)\n";
        for (std::size_t k = 0; k < std::min(top, ranked.size()); ++k)
            std::cout << "  " << score(ranked[k].score) << "  " << records.eics[ranked[k].record] << "  "
                      << clipped(records.texts[ranked[k].record], 70) << '\n';
        // A best record that does not lead the next clearly (the same part
        // from several makers, or two near-equal guesses) is not written:
        // which one is right is the user's call.
        if (applyAbove && !ranked.empty() && ranked[0].score >= *applyAbove) {
            if (integrity::leadsClearly(ranked, *applyAbove, margin))
                wanted.push_back({ d.name, records.eics[ranked[0].record] });
            else
                ties += "  " + d.name + ": " + records.eics[ranked[0].record] + " " + score(ranked[0].score)
                    + (ranked.size() > 1
                            ? ", next " + records.eics[ranked[1].record] + " " + score(ranked[1].score)
                            : std::string())
                    + "\n";
        }
    }
    std::cout << without << " of " << devices.size() << " devices have no EIC\n";
    if (!applyAbove)
        return Ok;
    const auto plan = kernel::planEicChanges(wanted);
    if (!ties.empty())
        std::cout << "\nNot written, the best leads the next by less than " << margin << " points:\n" << ties;
    std::cout << "\nWrite-back (best score >= " << *applyAbove << "): " << plan.size() << " devices\n"
              << kernel::describeChanges(plan);
    if (dryRun || plan.empty()) {
        std::cout << (plan.empty() ? "Nothing to write.\n" : "Dry run: nothing written.\n");
        return Ok;
    }
    StderrMessageSink messages;
    const std::size_t written = kernel::applyEicChanges(plan, messages);
    std::cout << written << " codes written; ravederi project undo " << projectFile << " takes them back.\n";
    return messages.shown > 0 ? Failed : Ok;
}

const Registrar checkRegistrar({ "check", kCheckUsage, check });
const Registrar suggestRegistrar({ "suggest", kSuggestUsage, suggest });

} // namespace
} // namespace rav::cli
