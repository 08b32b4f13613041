#include "recedit_view.h"

#include "database.h"
#include "host_utility.h"
#include "lom_catalogue.h"
#include "show_message.h"
#include "textcodec.h"
#include "values.h"

#include <cstdlib>

namespace rav::recedit
{

std::string FilterDescription(const std::string& field, const std::string& op, const std::string& value)
{
    if (text::asciiLower(op) == "like" && value == "*")
        return {};
    return field + " " + op + " \"" + value + "\"";
}

std::string RecEdStatus(long records, const std::string& filter)
{
    const std::string count = FormatMessage("Records: %1", "61640", { GroupedCount(records) });
    if (filter.empty())
        return count + "  " + FormatMessage("(no filter)", "61641", {});
    return count + "  " + FormatMessage("Filter: %1", "61642", { filter });
}

// A server EID's URI may carry a password; a caption never shows it.
std::string RecEdCaption(const std::string& eidFile)
{
    return HostUtility::instance().GetLocalMessage("Edit EID file : ", "5440") + db::nameWithoutPassword(eidFile);
}

std::string SearchResultCaption(const std::string& eidFile)
{
    return HostUtility::instance().GetLocalMessage("Database Search Result for EID file : ", "5421")
        + db::nameWithoutPassword(eidFile);
}

std::string ProjectViewCaption(const std::string& projectName, const std::string& projectDirectory)
{
    return HostUtility::instance().GetLocalMessage("Project : ", "10124") + projectName + "("
        + projectDirectory + ")";
}

std::vector<std::string> ProjectViewColumnCaptions(
    const lom::FieldCatalogue& catalogue, const std::vector<std::string>& columnNames)
{
    constexpr std::size_t prefix = 5; // "field"
    std::vector<std::string> captions;
    for (const std::string& name : columnNames) {
        const int number = name.size() > prefix ? static_cast<int>(NumericValue(name.substr(prefix))) : 0;
        if (number >= 1 && number <= catalogue.size()
            && text::equalsIgnoreCase(name.substr(0, prefix), "field"))
            captions.push_back(catalogue.entry(number).caption);
        else
            captions.push_back(name);
    }
    return captions;
}

TwipsRect DefaultRecEditRect(long workLeft, long workRight, long workBottom, long mainWidth)
{
    TwipsRect r;
    r.left = workLeft + mainWidth;
    if (r.left >= workRight)
        r.left = workRight / 2;
    r.top = 0;
    r.width = std::labs(workRight - mainWidth);
    r.height = std::labs(workBottom);
    return r;
}

TwipsRect DefaultToolBoxRect(long workWidth, long workHeight, long width, long height)
{
    return { workWidth - width, workHeight - height, width, height };
}

AssociateLayout LayOutAssociateTab(long clientWidth, long clientHeight, long splitterTop, long splitterHeight)
{
    const long w = clientWidth - 100;
    const long h = clientHeight - 200;
    AssociateLayout out;
    out.splitterTop = splitterTop > h ? h - 1000 : splitterTop;
    out.wholeView = { 50, 50, w, out.splitterTop - 50 };
    out.searchResult
        = { 50, out.splitterTop + splitterHeight, w, std::labs(h - splitterHeight - out.splitterTop + 100) };
    return out;
}

} // namespace rav::recedit
