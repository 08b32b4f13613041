#include "preview_placement.h"

#include <cstdlib>

namespace rav::dialogs
{

PreviewRect DefaultPreviewRect(long workLeft, long workWidth, long workHeight, long mainWidth)
{
    PreviewRect r;
    r.left = workLeft + mainWidth;
    r.top = 0;
    r.width = std::labs(workWidth - mainWidth);
    r.height = std::labs(workHeight);
    if (r.left >= workWidth)
        r.left = workWidth / 2;
    return r;
}

PreviewRect PreviewGridRect(long innerWidth, long innerHeight)
{
    constexpr long kMargin = 50;
    return { kMargin, kMargin, innerWidth - 2 * kMargin, innerHeight - 2 * kMargin };
}

} // namespace rav::dialogs
