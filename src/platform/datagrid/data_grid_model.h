// A table model over a DataSource: one row per record of its dynaset, one
// column per field. Rows are handed to views in batches (canFetchMore /
// fetchMore) and read by position only when drawn, so a set of a million
// records opens at once and costs the engine's key set only.
//
// Null values show as no data (an invalid QVariant); the empty text shows
// as an empty string. Header captions default to the field names and can
// be replaced column by column. Sorting re-queries the data source with
// another ORDER BY, so the database does the sorting.
//
// Threading: the window thread, like its DataSource.
#pragma once

#include "data_source.h"

#include <QAbstractTableModel>

#include <QStringList>

#include <functional>
#include <map>
#include <vector>

namespace rav::grid
{

class DataGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // `source` must outlive the model.
    explicit DataGridModel(DataSource* source, QObject* parent = nullptr);

    DataSource* source() const { return source_; }

    // Rows handed to a view per fetchMore().
    static constexpr int kFetchBatch = 256;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // Hands the rows up to `row` to views at once (a jump far down the set).
    void fetchUpTo(int row);
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Writes the value through the record set (edit + update). A refused
    // value emits dataError() with the engine's text and returns false. A
    // save refused because someone else changed the record meanwhile (a
    // server EID) goes to the conflict resolver first: when it answers true
    // the value is saved over theirs, else theirs stays and shows (no error).
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Re-queries the source ordered by the column's field.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Column captions; an empty or missing caption shows the field name.
    // They stay across refreshes until changed.
    void setHeaderCaptions(const QStringList& captions);
    void setHeaderCaption(int column, const QString& caption);
    QString headerCaption(int column) const;
    // Cells can be edited (off by default).
    void setEditable(bool editable) { editable_ = editable; }
    // The number the first row's header shows (1 unless a grid counts
    // records from 0, as a zero-based position box beside it does).
    void setFirstRowNumber(int first) { firstRowNumber_ = first; }
    bool isEditable() const { return editable_; }

    // Asked with the differences (mine, theirs, original) when a save meets
    // someone else's change; true: save mine over theirs.
    void setConflictResolver(std::function<bool(const db::ConflictError&)> resolver)
    {
        conflictResolver_ = std::move(resolver);
    }

    // The field name of a column ("" when out of range).
    QString fieldName(int column) const;

signals:
    void dataError(const QString& message);

private:
    void reload();
    // The values of a row, read with its block of rows: views draw a
    // screenful row by row and column by column. The blocks are dropped on
    // every change and move, so a redraw after either reads afresh.
    const std::vector<db::Value>& rowValues(int row) const;
    void dropRows() const { blocks_.clear(); }

    DataSource* source_;
    std::function<bool(const db::ConflictError&)> conflictResolver_;
    int fetched_ = 0; // rows announced to views so far
    int columns_ = 0;
    QStringList captions_;
    bool editable_ = false;
    int firstRowNumber_ = 1;
    static constexpr int kBlockRows = 64;
    mutable std::map<int, std::vector<std::vector<db::Value>>> blocks_; // block number -> its rows
};

} // namespace rav::grid
