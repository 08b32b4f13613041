#include "zezovovuv.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace rav
{

namespace
{

const std::uint32_t kWhite = 0xFFFFFF;

// Keeps a flag set for one scope, so every way out restores it.
class FlagGuard
{
public:
    explicit FlagGuard(bool& flag)
        : flag_(flag)
        , old_(flag)
    {
        flag_ = true;
    }
    ~FlagGuard() { flag_ = old_; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
    bool old_;
};

} // namespace

QColor colorFromValue(std::uint32_t value)
{
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
        static_cast<int>((value >> 16) & 0xFF));
}

std::uint32_t valueFromColor(const QColor& color)
{
    return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8)
        | (static_cast<std::uint32_t>(color.blue()) << 16);
}

ZezOvovuv::ZezOvovuv(QWidget* parent)
    : QWidget(parent)
    , table_(new QTableWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    setFocusProxy(table_);

    table_->horizontalHeader()->hide();
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setColumnCount(2);
    table_->setRowCount(2);
    styleRow(0);
    styleRow(1);

    connect(table_, &QTableWidget::currentCellChanged, this,
        [this](int row, int col, int, int) { onCurrentCellChanged(row, col); });
    connect(table_, &QTableWidget::itemChanged, this, &ZezOvovuv::onItemChanged);
    updateCurrent(1, 0);
}

int ZezOvovuv::rows() const
{
    return table_->rowCount();
}

void ZezOvovuv::setRows(int rows)
{
    rows = std::max(rows, fixedRows_);
    const int old = table_->rowCount();
    {
        FlagGuard guard(programChange_);
        table_->setRowCount(rows);
        for (int r = old; r < rows; ++r)
            styleRow(r);
    }
    if (row_ >= rows || (row_ < 0 && rows > fixedRows_))
        updateCurrent(rows > fixedRows_ ? std::min(std::max(row_, fixedRows_), rows - 1) : -1, col_);
}

int ZezOvovuv::cols() const
{
    return table_->columnCount();
}

void ZezOvovuv::setCols(int cols)
{
    cols = std::max(cols, 1);
    const int old = table_->columnCount();
    {
        FlagGuard guard(programChange_);
        table_->setColumnCount(cols);
        for (int c = old; c < cols; ++c)
            table_->setColumnWidth(c, defaultColWidth());
        for (int r = 0; r < table_->rowCount(); ++r)
            styleRow(r);
    }
    if (col_ >= cols)
        updateCurrent(row_, cols - 1);
}

void ZezOvovuv::setFixedRows(int fixedRows)
{
    fixedRows_ = std::max(fixedRows, 0);
    if (table_->rowCount() < fixedRows_)
        setRows(fixedRows_);
    for (int r = 0; r < table_->rowCount(); ++r)
        styleRow(r);
    if (row_ >= 0 && row_ < fixedRows_)
        updateCurrent(table_->rowCount() > fixedRows_ ? fixedRows_ : -1, col_);
}

int ZezOvovuv::colWidth(int col) const
{
    if (col < 0 || col >= cols())
        return 0;
    return table_->isColumnHidden(col) ? 0 : table_->columnWidth(col);
}

void ZezOvovuv::setColWidth(int col, int width)
{
    if (col < 0 || col >= cols())
        return;
    if (width <= 0) {
        table_->setColumnHidden(col, true);
        return;
    }
    table_->setColumnHidden(col, false);
    table_->setColumnWidth(col, width);
}

int ZezOvovuv::defaultColWidth() const
{
    return table_->horizontalHeader()->defaultSectionSize();
}

QTableWidgetItem* ZezOvovuv::itemAt(int row, int col) const
{
    if (row < 0 || col < 0 || row >= rows() || col >= cols())
        return nullptr;
    return table_->item(row, col);
}

QTableWidgetItem* ZezOvovuv::ensureItem(int row, int col)
{
    if (row < 0 || col < 0 || row >= rows() || col >= cols())
        return nullptr;
    QTableWidgetItem* item = table_->item(row, col);
    if (!item) {
        FlagGuard guard(programChange_);
        item = new QTableWidgetItem();
        table_->setItem(row, col, item);
        styleRow(row);
    }
    return item;
}

void ZezOvovuv::styleRow(int row)
{
    FlagGuard guard(programChange_);
    const bool fixed = row < fixedRows_;
    for (int c = 0; c < table_->columnCount(); ++c) {
        QTableWidgetItem* item = table_->item(row, c);
        if (!item) {
            item = new QTableWidgetItem();
            item->setBackground(fixed ? palette().color(QPalette::Button) : colorFromValue(kWhite));
            table_->setItem(row, c, item);
        }
        Qt::ItemFlags flags = Qt::ItemIsEnabled;
        if (!fixed) {
            flags |= Qt::ItemIsSelectable;
            if (editable_)
                flags |= Qt::ItemIsEditable;
        }
        item->setFlags(flags);
        if (fixed) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
    }
}

QString ZezOvovuv::textMatrix(int row, int col) const
{
    const QTableWidgetItem* item = itemAt(row, col);
    return item ? item->text() : QString();
}

void ZezOvovuv::setTextMatrix(int row, int col, const QString& text)
{
    QTableWidgetItem* item = ensureItem(row, col);
    if (!item)
        return;
    FlagGuard guard(programChange_);
    item->setText(text);
}

std::uint32_t ZezOvovuv::cellBackColor(int row, int col) const
{
    const QTableWidgetItem* item = itemAt(row, col);
    if (!item)
        return kWhite;
    return valueFromColor(item->background().color());
}

void ZezOvovuv::setCellBackColor(int row, int col, std::uint32_t value)
{
    QTableWidgetItem* item = ensureItem(row, col);
    if (!item)
        return;
    FlagGuard guard(programChange_);
    item->setBackground(colorFromValue(value));
}

void ZezOvovuv::addItem(const QString& tabbedTexts, int index)
{
    const int at = (index < 0 || index > rows()) ? rows() : index;
    {
        FlagGuard guard(programChange_);
        table_->insertRow(at);
        styleRow(at);
        const QStringList texts = tabbedTexts.split(QLatin1Char('\t'));
        for (int c = 0; c < texts.size() && c < cols(); ++c)
            table_->item(at, c)->setText(texts[c]);
    }
    if (row_ < 0)
        updateCurrent(std::max(at, fixedRows_), col_);
    else if (at <= row_)
        updateCurrent(row_ + 1, col_);
}

void ZezOvovuv::removeItem(int row)
{
    if (row < fixedRows_ || row >= rows())
        return;
    {
        FlagGuard guard(programChange_);
        table_->removeRow(row);
    }
    int next = row_;
    if (row < row_ || row_ >= rows())
        next = row_ - 1;
    updateCurrent(next >= fixedRows_ && next < rows() ? next : (rows() > fixedRows_ ? fixedRows_ : -1), col_);
}

void ZezOvovuv::setRow(int row)
{
    if (row < fixedRows_ || row >= rows())
        return;
    updateCurrent(row, col_);
}

void ZezOvovuv::setCol(int col)
{
    if (col < 0 || col >= cols())
        return;
    updateCurrent(row_, col);
}

void ZezOvovuv::setEditable(bool editable)
{
    editable_ = editable;
    table_->setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                | QAbstractItemView::AnyKeyPressed
                                     : QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < rows(); ++r)
        styleRow(r);
}

QRect ZezOvovuv::cellRect(int row, int col) const
{
    const QTableWidgetItem* item = itemAt(row, col);
    if (!item || table_->isColumnHidden(col))
        return {};
    const QRect inViewport = table_->visualItemRect(item);
    return QRect(table_->viewport()->mapTo(this, inViewport.topLeft()), inViewport.size());
}

void ZezOvovuv::onCurrentCellChanged(int row, int col)
{
    if (row < 0)
        return;
    if (row < fixedRows_) {
        // A click on a header cell keeps the current row where it was.
        FlagGuard guard(programChange_);
        if (row_ >= 0)
            table_->setCurrentCell(row_, col_);
        return;
    }
    if (row == row_ && col == col_)
        return;
    row_ = row;
    col_ = col;
    emit rowColChanged(row_, col_);
}

void ZezOvovuv::onItemChanged(QTableWidgetItem* item)
{
    if (programChange_ || !item)
        return;
    emit cellEdited(item->row(), item->column(), item->text());
}

void ZezOvovuv::updateCurrent(int row, int col)
{
    const bool moved = row != row_ || col != col_;
    row_ = row;
    col_ = col;
    {
        FlagGuard guard(programChange_);
        if (row_ >= 0)
            table_->setCurrentCell(row_, col_);
        else
            table_->setCurrentCell(-1, -1);
    }
    if (moved && row_ >= 0)
        emit rowColChanged(row_, col_);
}

} // namespace rav
