// The bound grid: a caption line over a table view of a DataGridModel.
// Moving the current cell moves the data source's current record, and a
// record change made elsewhere moves the current cell, so the grid and its
// data source always agree on the current record.
#pragma once

#include "data_grid_model.h"

#include <QWidget>

class QLabel;
class QTableView;

namespace rav::grid
{

class DataGridView : public QWidget
{
    Q_OBJECT
public:
    // `source` must outlive the view.
    explicit DataGridView(DataSource* source, QWidget* parent = nullptr);

    DataSource* source() const { return model_->source(); }
    DataGridModel* model() const { return model_; }
    QTableView* table() const { return table_; }

    QString caption() const;
    void setCaption(const QString& caption);
    // Sizes every column to its header and the rows fetched so far, no
    // wider than `maxWidth` pixels. Done after each refresh as well.
    void fitColumns(int maxWidth = 320);

signals:
    // A click on a column header (0-based column).
    void headerClicked(int column);

private:
    void followSource();

    DataGridModel* model_;
    QLabel* caption_;
    QTableView* table_;
    bool moving_ = false; // the view is moving the source; do not echo
};

} // namespace rav::grid
