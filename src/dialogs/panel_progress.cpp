#include "panel_progress.h"

#include "zerovize.h"

#include <QCoreApplication>

namespace rav::dialogs
{

PanelProgress::PanelProgress(ZerOvize* panel)
    : panel_(panel)
    , lastYield_(std::chrono::steady_clock::now())
{
}

void PanelProgress::setCaption(const std::string& caption)
{
    panel_->setCaption(QString::fromStdString(caption));
    panel_->refresh();
}

void PanelProgress::setRange(std::int64_t minimum, std::int64_t maximum)
{
    panel_->setMinimum(minimum);
    panel_->setMaximum(maximum);
    panel_->setStyle(ZerOvize::FloodStyle::LeftToRight);
    lastPermille_ = -1;
}

void PanelProgress::setValue(std::int64_t value)
{
    panel_->setValue(value);
    const int permille
        = static_cast<int>(1000 * progressFraction(panel_->minimum(), panel_->maximum(), value));
    // Painted when the drawing changes, but not more often than the eye
    // can follow (a paint costs more than many records); the end always.
    const auto now = std::chrono::steady_clock::now();
    if (permille != lastPermille_ && (now - lastPaint_ >= kPaintInterval || value >= panel_->maximum())) {
        lastPermille_ = permille;
        lastPaint_ = now;
        panel_->refresh();
    }
}

void PanelProgress::yield()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - lastYield_ < kYieldInterval)
        return;
    lastYield_ = now;
    QCoreApplication::processEvents();
}

} // namespace rav::dialogs
