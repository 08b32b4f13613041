#include "zerovize.h"

#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>

namespace rav
{

double progressFraction(std::int64_t minimum, std::int64_t maximum, std::int64_t value)
{
    if (maximum <= minimum)
        return 0.0;
    const std::int64_t clamped = std::clamp(value, minimum, maximum);
    // Differences of 64-bit values can exceed the range of int64 only for
    // absurd ranges; long double keeps them exact enough for a bar.
    return static_cast<double>(
        static_cast<long double>(clamped - minimum) / static_cast<long double>(maximum - minimum));
}

ZerOvize::ZerOvize(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    floodColor_ = palette().color(QPalette::Highlight);
}

void ZerOvize::setCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    updateGeometry();
    changed();
}

void ZerOvize::setAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    changed();
}

void ZerOvize::setMinimum(std::int64_t minimum)
{
    minimum_ = minimum;
    changed();
}

void ZerOvize::setMaximum(std::int64_t maximum)
{
    maximum_ = maximum;
    changed();
}

void ZerOvize::setValue(std::int64_t value)
{
    value_ = value;
    changed();
}

void ZerOvize::setStyle(FloodStyle style)
{
    style_ = style;
    changed();
}

void ZerOvize::setFloodColor(const QColor& color)
{
    floodColor_ = color;
    changed();
}

void ZerOvize::setRedraw(bool redraw)
{
    redraw_ = redraw;
    if (redraw_)
        update();
}

void ZerOvize::refresh()
{
    repaint();
}

void ZerOvize::changed()
{
    if (redraw_)
        update();
}

QSize ZerOvize::sizeHint() const
{
    // A panel that frames other controls is as large as their layout asks.
    if (layout())
        return QFrame::sizeHint();
    const QFontMetrics metrics(font());
    const int margin = 2 * (frameWidth() + 4);
    return { std::max(metrics.horizontalAdvance(caption_) + margin, 60), metrics.height() + margin };
}

QSize ZerOvize::minimumSizeHint() const
{
    if (layout())
        return QFrame::minimumSizeHint();
    const QFontMetrics metrics(font());
    const int margin = 2 * (frameWidth() + 2);
    return { margin + 8, metrics.height() + margin };
}

void ZerOvize::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inner = contentsRect();

    QRect filled;
    if (style_ != FloodStyle::None) {
        const double fraction = progressFraction(minimum_, maximum_, value_);
        const int w = static_cast<int>(inner.width() * fraction + 0.5);
        const int h = static_cast<int>(inner.height() * fraction + 0.5);
        switch (style_) {
        case FloodStyle::LeftToRight:
            filled = QRect(inner.left(), inner.top(), w, inner.height());
            break;
        case FloodStyle::RightToLeft:
            filled = QRect(inner.right() - w + 1, inner.top(), w, inner.height());
            break;
        case FloodStyle::TopToBottom:
            filled = QRect(inner.left(), inner.top(), inner.width(), h);
            break;
        case FloodStyle::BottomToTop:
            filled = QRect(inner.left(), inner.bottom() - h + 1, inner.width(), h);
            break;
        case FloodStyle::None:
            break;
        }
        painter.fillRect(filled, floodColor_);
    }

    if (caption_.isEmpty())
        return;
    const QRect textRect = inner.adjusted(4, 0, -4, 0);
    const int flags = static_cast<int>(alignment_) | Qt::TextSingleLine;
    const QString text = painter.fontMetrics().elidedText(caption_, Qt::ElideMiddle, textRect.width());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect, flags, text);
    if (!filled.isEmpty()) {
        // The part of the caption over the fill is drawn in the highlight's
        // text colour so that it stays readable.
        painter.setClipRect(filled);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(textRect, flags, text);
    }
}

} // namespace rav
