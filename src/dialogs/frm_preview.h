// frmPreview: the List of Materials built by the LOM wizard, shown in a
// bound grid over the temporary database, with the chosen fields' captions
// as column titles. A click on a column header asks the owner to re-sort
// (the wizard rebuilds its query and calls formUpdate again).
//
// The wizard shows the lines its chosen output will hold (showLines): a
// table of texts, grouped lines with quantity and parts when grouping, with
// a sort arrow on the sort column; formUpdate shows a query's rows instead.
//
// Lifecycle: created by the wizard, loaded (placed) at construction; the
// first formUpdate shows it modally and returns when the user closes it.
// A failing formUpdate shows "Unable to display Preview" and closes it.
#pragma once

#include <QDialog>

class QLabel;
class QTableView;

#include <functional>
#include <string>
#include <vector>

namespace rav
{
class ZerOvize;
}
namespace rav::grid
{
class DataSource;
class DataGridView;
} // namespace rav::grid

namespace rav::dialogs
{

class FrmPreview : public QDialog
{
    Q_OBJECT
public:
    explicit FrmPreview(QWidget* parent = nullptr);
    ~FrmPreview() override;

    // Points the grid at the database and record source, sets the caption
    // line and the column captions (one per column, 0-based), and shows the
    // window modally when it is not visible yet. False after a failure
    // (message 5447 shown, window closed).
    bool formUpdate(const std::string& databaseName, const std::string& recordSource,
        const std::vector<std::string>& captions);

    // Shows these lines under these headers, with the sort arrow on
    // `sortColumn` (-1: none) pointing down when `descending`, and shows the
    // window modally when it is not visible yet.
    void showLines(const std::vector<std::string>& headers, const std::vector<std::vector<std::string>>& rows,
        int sortColumn, bool descending);
    QTableView* linesView() const { return linesView_; }

    // What a header click does (column 0-based); nothing when unset.
    std::function<void(int column)> onHeaderClick;

    grid::DataSource* datPrev() const { return datPrev_; }
    grid::DataGridView* dbgPrev() const { return dbgPrev_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    QString captionLine() const;

    grid::DataSource* datPrev_;
    ZerOvize* qpnPan_;
    grid::DataGridView* dbgPrev_;
    QWidget* linesBox_; // the caption line and linesView_, in place of dbgPrev_
    QLabel* linesCaption_;
    QTableView* linesView_;
};

} // namespace rav::dialogs
