#include "placement.h"

#include "lom_settings.h"

#include <QSettings>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace fs = std::filesystem;

namespace rav::shell
{

namespace
{

const char* const kSection = "RAVEDERI";

QString key(const std::string& windowName, const char* suffix)
{
    return QString::fromStdString(std::string(kSection) + "/" + windowName + suffix);
}

} // namespace

double TwipsPerPixel(double logicalDpi)
{
    return logicalDpi > 0 ? 1440.0 / logicalDpi : 15.0;
}

long PixelsToTwips(int pixels, double twipsPerPixel)
{
    return std::lround(pixels * twipsPerPixel);
}

int TwipsToPixels(long twips, double twipsPerPixel)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / twipsPerPixel));
}

CorrectedPlacement CorrectPlacement(
    const StoredPlacement& stored, long workWidth, long workHeight, long currentWidth, long currentHeight)
{
    CorrectedPlacement result;
    FormPlacement& p = result.placement;
    p.top = ParseWholeNumber(stored.top);
    p.left = ParseWholeNumber(stored.left);
    p.height = ParseWholeNumber(stored.height);
    p.width = ParseWholeNumber(stored.width);

    // Integer division, as the work-area margin is a whole number of twips.
    if (p.top + workHeight / 40 > workHeight || p.top < 0) {
        p.top = 0;
        result.usable = false;
    }
    if (p.left + workWidth / 40 > workWidth || p.left < 0) {
        p.left = 0;
        result.usable = false;
    }
    if (p.height < 1)
        p.height = currentHeight;
    if (p.width < 1)
        p.width = currentWidth;
    return result;
}

fs::path PlacementStoreFile()
{
    fs::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".config";
    else
        base = fs::temp_directory_path();
    return base / "Vavuv2000.conf";
}

std::string ScreenSizeKey(int workWidthPixels, int workHeightPixels)
{
    return "@" + std::to_string(workWidthPixels) + "x" + std::to_string(workHeightPixels);
}

void StorePlacement(const std::string& windowName, const FormPlacement& placement, const std::string& screen)
{
    QSettings store(QString::fromStdString(PlacementStoreFile().string()), QSettings::IniFormat);
    // Written in the order top, left, height, width: the plain keys, then
    // the screen's own.
    for (const std::string& name : { windowName, windowName + screen }) {
        store.setValue(key(name, "_TOP"), QString::number(placement.top));
        store.setValue(key(name, "_LEFT"), QString::number(placement.left));
        store.setValue(key(name, "_HEIGHT"), QString::number(placement.height));
        store.setValue(key(name, "_WIDTH"), QString::number(placement.width));
        if (screen.empty())
            break;
    }
    store.sync();
}

StoredPlacement ReadStoredPlacement(const std::string& windowName, const std::string& screen)
{
    QSettings store(QString::fromStdString(PlacementStoreFile().string()), QSettings::IniFormat);
    const std::string name = !screen.empty() && store.contains(key(windowName + screen, "_TOP"))
        ? windowName + screen
        : windowName;
    StoredPlacement stored;
    stored.top = store.value(key(name, "_TOP"), "-1").toString().toStdString();
    stored.left = store.value(key(name, "_LEFT"), "-1").toString().toStdString();
    stored.height = store.value(key(name, "_HEIGHT"), "-1").toString().toStdString();
    stored.width = store.value(key(name, "_WIDTH"), "-1").toString().toStdString();
    return stored;
}

FormPlacement FitToWorkArea(FormPlacement p, long workLeft, long workTop, long workWidth, long workHeight,
    long frameWidth, long frameHeight)
{
    p.width = std::max(1L, std::min(p.width, workWidth - frameWidth));
    p.height = std::max(1L, std::min(p.height, workHeight - frameHeight));
    p.left = std::clamp(p.left, workLeft, std::max(workLeft, workLeft + workWidth - frameWidth - p.width));
    p.top = std::clamp(p.top, workTop, std::max(workTop, workTop + workHeight - frameHeight - p.height));
    return p;
}

} // namespace rav::shell
