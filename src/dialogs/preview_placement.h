// Where the preview opens when no usable placement is stored: to the right
// of the host's main window, filling the rest of the work area. Lengths in
// twips.
#pragma once

namespace rav::dialogs
{

struct PreviewRect {
    long left = 0;
    long top = 0;
    long width = 0;
    long height = 0;
};

// workLeft, workWidth, workHeight: the desktop work area; mainWidth: the
// width of the host's main window (its "MAINWIDTH" value). A main window
// as wide as the work area or wider would push the preview off the screen,
// so it then starts at the middle of the work area.
PreviewRect DefaultPreviewRect(long workLeft, long workWidth, long workHeight, long mainWidth);

// The grid inside the preview, from the window's inner width and height:
// a margin of 50 on every side. The window's own rule (grid 200 narrower
// and 450 lower than the window) measures the outer window, of which the
// borders take 100 in width and borders and caption bar 350 in height;
// applied to the inner size it would leave an empty strip under the grid.
PreviewRect PreviewGridRect(long innerWidth, long innerHeight);

} // namespace rav::dialogs
