#include "rozerazu_layout.h"

#include <cmath>

namespace rav::dialogs
{

int CountCrLfLines(std::string_view text)
{
    int lines = 1;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2))
        ++lines;
    return lines;
}

QueryLayout LayOutQuery(const QueryLayoutInput& in)
{
    const long usable = in.labelWidth - 120;
    // Rounded half to even, as the platform's whole-number conversion does.
    const long wrapped = usable > 0
        ? static_cast<long>(std::nearbyint(static_cast<double>(in.promptWidth) / static_cast<double>(usable)))
        : 0;
    QueryLayout out;
    out.lines = in.promptLines + static_cast<int>(wrapped) + 3;
    out.height = out.lines * in.textHeight + in.inputHeight;
    if (out.height < 2000)
        out.height = 2000;
    if (in.screenHeight < out.height)
        out.height = in.screenHeight - 1200;
    return out;
}

} // namespace rav::dialogs
