// ZerOvize, the host suite's framed panel: a bevelled frame that shows a
// caption and, in a progress style, fills a part of itself in proportion to
// a value between a minimum and a maximum. Windows use it as a page frame,
// as a read-only text field (a file name) and as a progress bar.
#pragma once

#include <QFrame>
#include <QString>
#include <cstdint>

namespace rav
{

// How much of the panel a progress value fills, from 0.0 to 1.0. Values
// outside the range are clamped; an empty or reversed range fills nothing.
double progressFraction(std::int64_t minimum, std::int64_t maximum, std::int64_t value);

class ZerOvize : public QFrame
{
    Q_OBJECT
public:
    // Which way the panel fills with progress; None shows the caption only.
    enum class FloodStyle { None, LeftToRight, RightToLeft, TopToBottom, BottomToTop };

    explicit ZerOvize(QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment);

    std::int64_t minimum() const { return minimum_; }
    std::int64_t maximum() const { return maximum_; }
    std::int64_t value() const { return value_; }
    void setMinimum(std::int64_t minimum);
    void setMaximum(std::int64_t maximum);
    // The value is kept as given; only the drawing clamps it to the range.
    void setValue(std::int64_t value);

    FloodStyle style() const { return style_; }
    void setStyle(FloodStyle style);

    // The fill colour of the progress part.
    QColor floodColor() const { return floodColor_; }
    void setFloodColor(const QColor& color);

    // While redraw is off, changes are kept but not painted; turning it on
    // again paints the current state. Long loops that set many values in a
    // row turn it off and call refresh() at their own pace.
    bool redraw() const { return redraw_; }
    void setRedraw(bool redraw);

    // Paints the panel now, without waiting for the event loop.
    void refresh();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changed();

    QString caption_;
    Qt::Alignment alignment_ = Qt::AlignCenter;
    std::int64_t minimum_ = 0;
    std::int64_t maximum_ = 100;
    std::int64_t value_ = 0;
    FloodStyle style_ = FloodStyle::None;
    QColor floodColor_;
    bool redraw_ = true;
};

} // namespace rav
