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

PreviewRect PreviewGridRect(long windowWidth, long windowHeight)
{
    return { 50, 50, windowWidth - 200, windowHeight - 450 };
}

} // namespace rav::dialogs
