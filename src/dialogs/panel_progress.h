// A ProgressSink that shows progress on one of the suite's framed panels
// (ZerOvize): the caption, the range and the value, painted at once; and
// yield() lets the window's pending events run, which is how a Cancel click
// reaches the cancel flag while a build loops.
#pragma once

#include "sinks.h"

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

private:
    ZerOvize* panel_;
    int lastPermille_ = -1; // repaint only when the drawing would change
};

} // namespace rav::dialogs
