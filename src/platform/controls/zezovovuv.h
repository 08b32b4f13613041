// zezOvovuv, the host suite's cell grid (class Vavuv2000Grid): a table of
// text cells addressed by row and column, whose first rows are fixed header
// rows. Programs size it by rows and columns, read and write cell texts and
// background colours, move the current row and listen to its changes. In the
// editable mode the user can also type into the cells below the header.
//
// Colours are colour values of the suite: 0x00BBGGRR (red in the low byte),
// so 0xFFFFFF is white and 0xEFFFFF a light yellow.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>

class QTableWidget;
class QTableWidgetItem;

namespace rav
{

// Colour value of the suite <-> Qt colour.
QColor colorFromValue(std::uint32_t value);
std::uint32_t valueFromColor(const QColor& color);

class ZezOvovuv : public QWidget
{
    Q_OBJECT
public:
    explicit ZezOvovuv(QWidget* parent = nullptr);

    // Row and column counts. Growing adds empty cells with the default
    // background; shrinking drops the cells beyond the new size. The count of
    // rows never goes below the fixed rows.
    int rows() const;
    void setRows(int rows);
    int cols() const;
    void setCols(int cols);

    // Header rows at the top: not selectable, not editable, drawn as headers.
    int fixedRows() const { return fixedRows_; }
    void setFixedRows(int fixedRows);

    // Column width in pixels; 0 hides the column (its texts stay readable).
    int colWidth(int col) const;
    void setColWidth(int col, int width);
    // The width a fresh column gets.
    int defaultColWidth() const;

    // Cell texts; out-of-range reads give "", out-of-range writes are ignored.
    QString textMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);

    // Cell background as a colour value (see above); white by default for
    // ordinary cells.
    std::uint32_t cellBackColor(int row, int col) const;
    void setCellBackColor(int row, int col, std::uint32_t value);

    // Adds a row holding `tabbedTexts` split at tab characters, at `index`
    // or at the end when index is -1; removes one row. Both keep the current
    // row on the same data where it still exists.
    void addItem(const QString& tabbedTexts, int index = -1);
    void removeItem(int row);

    // The current cell. Row -1 while the grid has no row below its header.
    // Setting a row outside the non-fixed rows is ignored.
    int row() const { return row_; }
    void setRow(int row);
    int col() const { return col_; }
    void setCol(int col);

    // While editable, a double click, F2 or typing opens an editor on a
    // non-fixed cell; the committed text lands in the cell and cellEdited
    // is emitted.
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);

    // Where a cell is drawn, in this widget's coordinates (an empty rect for
    // cells that are hidden or outside the grid). Lets callers place pop-ups
    // and drive the grid with the mouse.
    QRect cellRect(int row, int col) const;

signals:
    // The current cell moved, by the user or by the program.
    void rowColChanged(int row, int col);
    // The user committed an edit of a cell.
    void cellEdited(int row, int col, const QString& text);

private:
    QTableWidgetItem* itemAt(int row, int col) const;
    QTableWidgetItem* ensureItem(int row, int col);
    void styleRow(int row);
    void onCurrentCellChanged(int row, int col);
    void onItemChanged(QTableWidgetItem* item);
    void updateCurrent(int row, int col);

    QTableWidget* table_;
    int fixedRows_ = 1;
    int row_ = -1;
    int col_ = 0;
    bool editable_ = false;
    bool programChange_ = false; // suppresses cellEdited while the program writes
};

} // namespace rav
