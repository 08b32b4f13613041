// Colour values of the host suite: 0x00BBGGRR (red in the low byte), so
// 0xFFFFFF is white and 0xEFFFFF a light yellow.
#pragma once

#include <QColor>
#include <cstdint>

namespace rav
{

QColor colorFromValue(std::uint32_t value);

} // namespace rav
