// The cell grid, driven as the field grid of the EID wizard drives it and by
// the mouse and keyboard through the real widget.
#include "zezovovuv.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

void clickCell(rav::ZezOvovuv& grid, int row, int col, bool twice = false)
{
    const QRect rect = grid.cellRect(row, col);
    ASSERT_FALSE(rect.isEmpty());
    QWidget* target = grid.childAt(rect.center());
    ASSERT_NE(target, nullptr);
    const QPoint at = target->mapFrom(&grid, rect.center());
    if (twice)
        QTest::mouseDClick(target, Qt::LeftButton, Qt::NoModifier, at);
    else
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
}

// A shown grid of `rows` rows and two columns.
void showGrid(rav::ZezOvovuv& grid, int rows)
{
    grid.resize(300, 200);
    grid.setCols(2);
    grid.setRows(rows);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
}

} // namespace

TEST(ZezOvovuvTest, HiddenColumnsGrowthColoursAndOutOfRangeCells)
{
    rav::ZezOvovuv grid;
    grid.setCols(3);
    grid.setColWidth(2, 0);
    grid.setRows(2);
    grid.setTextMatrix(1, 2, "Y");
    EXPECT_EQ(grid.textMatrix(1, 2), "Y"); // a hidden column keeps its text
    EXPECT_TRUE(grid.cellRect(1, 2).isEmpty());
    grid.setCellBackColor(1, 0, 0xEFFFFF);
    EXPECT_EQ(rav::colorFromValue(0xEFFFFF), QColor(255, 255, 239)); // values are BGR

    grid.setRows(3);
    EXPECT_EQ(grid.textMatrix(2, 0), "");
    EXPECT_EQ(grid.cellBackColor(2, 1), 0xFFFFFFu);
    EXPECT_EQ(grid.cellBackColor(1, 0), 0xEFFFFFu);
    EXPECT_EQ(grid.textMatrix(1, 2), "Y");

    grid.setTextMatrix(7, 0, "lost"); // out of range: harmless
    EXPECT_EQ(grid.textMatrix(7, 0), "");
    EXPECT_EQ(grid.textMatrix(-1, 0), "");
}

TEST(ZezOvovuvTest, CurrentRowMovesByCodeMouseAndKeyboardButNeverToTheHeader)
{
    rav::ZezOvovuv grid;
    showGrid(grid, 4);
    QSignalSpy spy(&grid, &rav::ZezOvovuv::rowColChanged);
    EXPECT_EQ(grid.row(), 1);
    grid.setRow(3);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 3);
    grid.setRow(0);
    grid.setRow(9);
    EXPECT_EQ(grid.row(), 3);
    EXPECT_EQ(spy.count(), 0);

    clickCell(grid, 2, 1);
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.col(), 1);
    EXPECT_EQ(spy.count(), 1);
    clickCell(grid, 0, 0); // header: ignored
    EXPECT_EQ(grid.row(), 2);
    grid.setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(grid.row(), 3);

    // Shrinking below the current row moves it to the last row.
    grid.setRows(3);
    EXPECT_EQ(grid.row(), 2);
}

TEST(ZezOvovuvTest, AddAndRemoveRowsKeepTheCurrentRowOnItsData)
{
    rav::ZezOvovuv grid;
    grid.setCols(2);
    grid.setRows(1);
    EXPECT_EQ(grid.row(), -1);
    grid.addItem("a\t1");
    grid.addItem("c\t3");
    EXPECT_EQ(grid.row(), 1);
    grid.setRow(2);
    grid.addItem("b\t2", 2);
    EXPECT_EQ(grid.textMatrix(2, 0), "b");
    EXPECT_EQ(grid.textMatrix(3, 1), "3");
    EXPECT_EQ(grid.row(), 3); // still on "c"

    grid.removeItem(1);
    EXPECT_EQ(grid.textMatrix(1, 0), "b");
    EXPECT_EQ(grid.textMatrix(grid.row(), 0), "c");
    grid.removeItem(0); // the header stays
    EXPECT_EQ(grid.rows(), 3);
}

TEST(ZezOvovuvTest, EditableModeLetsTheUserTypeIntoCells)
{
    rav::ZezOvovuv grid;
    showGrid(grid, 3);
    grid.setTextMatrix(0, 0, "Head");
    QSignalSpy edits(&grid, &rav::ZezOvovuv::cellEdited);
    clickCell(grid, 1, 0, true);
    EXPECT_EQ(grid.findChild<QLineEdit*>(), nullptr); // not editable yet

    grid.setEditable(true);
    clickCell(grid, 1, 0, true);
    auto* editor = grid.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "Code");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the delegate commits through a queued call
    EXPECT_EQ(grid.textMatrix(1, 0), "Code");
    ASSERT_EQ(edits.count(), 1);
    EXPECT_EQ(edits.at(0).at(0).toInt(), 1);
    EXPECT_EQ(edits.at(0).at(2).toString(), "Code");

    // Program writes are not user edits, and the header is never editable.
    grid.setTextMatrix(2, 1, "20");
    EXPECT_EQ(edits.count(), 1);
    clickCell(grid, 0, 0, true);
    QLineEdit* headerEditor = grid.findChild<QLineEdit*>();
    EXPECT_TRUE(headerEditor == nullptr || !headerEditor->isVisible());
    EXPECT_EQ(grid.textMatrix(0, 0), "Head");
}
