// Window placement in the per-user settings store and its correction
// against the desktop work area. Every length here is in twips (1/1440
// inch); pixels become twips at 1440 / logical DPI twips per pixel.
#pragma once

#include <filesystem>
#include <string>

namespace rav::shell
{

// Twips per pixel on a screen of the given logical DPI.
double TwipsPerPixel(double logicalDpi);
// Pixels -> twips and back, rounded to whole numbers.
long PixelsToTwips(int pixels, double twipsPerPixel);
int TwipsToPixels(long twips, double twipsPerPixel);

struct FormPlacement {
    long top = 0;
    long left = 0;
    long width = 0;
    long height = 0;
};

// The values as stored: "-1" for every key that is missing.
struct StoredPlacement {
    std::string top = "-1";
    std::string left = "-1";
    std::string height = "-1";
    std::string width = "-1";
};

// The correction of a stored placement: a top that would leave less than a
// fortieth of the work height visible, or a negative top, becomes 0 and the
// placement unusable; likewise left against the work width. A height or
// width below 1 is replaced by the window's current one. `usable` is false
// when either position had to be replaced.
struct CorrectedPlacement {
    FormPlacement placement;
    bool usable = true;
};
CorrectedPlacement CorrectPlacement(
    const StoredPlacement& stored, long workWidth, long workHeight, long currentWidth, long currentHeight);

// The per-user store: application "Vavuv2000", section "RAVEDERI", keys
// <window>_TOP, _LEFT, _HEIGHT, _WIDTH holding whole twips as text. It is an
// INI file, $XDG_CONFIG_HOME/Vavuv2000.conf (or ~/.config/Vavuv2000.conf),
// located anew at every call.
//
// Beside those keys each window keeps one placement per screen size, under
// <window>@<width>x<height>_TOP and so on (the work area in pixels), so that
// a laptop's small screen and a desk's large one each get the window back
// where the user left it there. Reading prefers the screen's own keys and
// falls back to the plain ones.
std::filesystem::path PlacementStoreFile();
std::string ScreenSizeKey(int workWidthPixels, int workHeightPixels);
void StorePlacement(
    const std::string& windowName, const FormPlacement& placement, const std::string& screen = {});
StoredPlacement ReadStoredPlacement(const std::string& windowName, const std::string& screen = {});

// Moves, and if need be shrinks, a placement so that the whole window -
// its frame (`frameWidth`, `frameHeight` beyond the placement's size)
// included - lies inside the work area. A window larger than the work area
// takes all of it.
FormPlacement FitToWorkArea(FormPlacement placement, long workLeft, long workTop, long workWidth,
    long workHeight, long frameWidth, long frameHeight);

} // namespace rav::shell
