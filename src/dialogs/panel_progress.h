// A ProgressSink that shows progress on one of the suite's framed panels
// (ZerOvize): the caption, the range and the value, painted without
// waiting for the event loop; and
// yield() lets the window's pending events run, which is how a Cancel click
// reaches the cancel flag while a build loops. Loops call yield() once per
// record; letting events run that often costs more than the records, so it
// happens only when kYieldInterval has passed since the last time (a click
// waits at most that long, plus one record). Paints, too, come at most
// every kPaintInterval.
#pragma once

#include "sinks.h"

#include <chrono>

namespace rav
{
class ZerOvize;
}

namespace rav::dialogs
{

class PanelProgress final : public ProgressSink
{
public:
    // The panel must outlive this object.
    explicit PanelProgress(ZerOvize* panel);
    void setCaption(const std::string& caption) override;
    void setRange(std::int64_t minimum, std::int64_t maximum) override;
    void setValue(std::int64_t value) override;
    void yield() override;

    static constexpr std::chrono::milliseconds kYieldInterval { 25 };
    static constexpr std::chrono::milliseconds kPaintInterval { 20 };

private:
    ZerOvize* panel_;
    std::chrono::steady_clock::time_point lastYield_;
    std::chrono::steady_clock::time_point lastPaint_ {};
    int lastPermille_ = -1; // repaint only when the drawing would change
};

} // namespace rav::dialogs
