#include "data_grid_model.h"

#include <algorithm>
#include <climits>

namespace rav::grid
{

DataGridModel::DataGridModel(DataSource* source, QObject* parent)
    : QAbstractTableModel(parent)
    , source_(source)
{
    connect(source_, &DataSource::refreshed, this, &DataGridModel::reload);
    connect(source_, &DataSource::recordChanged, this, &DataGridModel::dropRows);
    reload();
}

void DataGridModel::reload()
{
    beginResetModel();
    dropRows();
    const db::Recordset* rs = source_->recordset();
    columns_ = rs ? rs->fieldCount() : 0;
    fetched_ = static_cast<int>(std::min<long>(source_->recordCount(), kFetchBatch));
    endResetModel();
}

int DataGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : fetched_;
}

int DataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columns_;
}

bool DataGridModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && fetched_ < std::min<long>(source_->recordCount(), INT_MAX);
}

void DataGridModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid())
        return;
    const long total = std::min<long>(source_->recordCount(), INT_MAX);
    const int more = static_cast<int>(std::min<long>(total - fetched_, kFetchBatch));
    if (more <= 0)
        return;
    beginInsertRows(QModelIndex(), fetched_, fetched_ + more - 1);
    fetched_ += more;
    endInsertRows();
}

void DataGridModel::fetchUpTo(int row)
{
    const int last = static_cast<int>(std::min<long>({ source_->recordCount(), INT_MAX, static_cast<long>(row) + 1 }));
    if (last <= fetched_)
        return;
    beginInsertRows(QModelIndex(), fetched_, last - 1);
    fetched_ = last;
    endInsertRows();
}

const std::vector<db::Value>& DataGridModel::rowValues(int row) const
{
    static const std::vector<db::Value> none;
    const int block = row / kBlockRows;
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
        const db::Recordset* rs = source_->recordset();
        if (!rs)
            return none;
        if (blocks_.size() >= 16)
            blocks_.clear();
        std::vector<std::vector<db::Value>> rows;
        try {
            rows = rs->rowsAt(static_cast<long>(block) * kBlockRows, kBlockRows);
        } catch (const std::exception&) {
            // Rows that cannot be read draw empty; the grid stays usable.
        }
        it = blocks_.emplace(block, std::move(rows)).first;
    }
    const auto i = static_cast<std::size_t>(row % kBlockRows);
    return i < it->second.size() ? it->second[i] : none;
}

QVariant DataGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= fetched_ || index.column() >= columns_)
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const auto& values = rowValues(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    if (column >= values.size() || !values[column])
        return {};
    return QString::fromStdString(*values[column]);
}

QString DataGridModel::fieldName(int column) const
{
    const db::Recordset* rs = source_->recordset();
    if (!rs || column < 0 || column >= rs->fieldCount())
        return {};
    return QString::fromStdString(rs->fieldInfo(column).name);
}

QString DataGridModel::headerCaption(int column) const
{
    if (column >= 0 && column < captions_.size() && !captions_[column].isEmpty())
        return captions_[column];
    return fieldName(column);
}

QVariant DataGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + firstRowNumber_;
    return headerCaption(section);
}

void DataGridModel::setHeaderCaptions(const QStringList& captions)
{
    captions_ = captions;
    if (columns_ > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columns_ - 1);
}

void DataGridModel::setHeaderCaption(int column, const QString& caption)
{
    if (column < 0)
        return;
    while (captions_.size() <= column)
        captions_.append(QString());
    captions_[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

Qt::ItemFlags DataGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable_ && index.isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    db::Recordset* rs = source_->recordset();
    if (!rs || !editable_ || role != Qt::EditRole || !index.isValid() || index.column() >= columns_)
        return false;
    const db::Value v = value.isNull() ? db::Value() : db::Value(value.toString().toStdString());
    auto save = [&] {
        source_->setPosition(index.row());
        rs->edit();
        rs->setValue(index.column(), v);
        rs->update();
    };
    try {
        try {
            save();
        } catch (const db::ConflictError& e) {
            if (rs->editMode() != db::EditMode::None)
                rs->cancelUpdate();
            // Their version has been read now; saving again goes over it
            // (unless yet another change came in, which is refused again).
            if (e.deletedByOthers() || !conflictResolver_)
                throw;
            if (!conflictResolver_(e)) {
                // Theirs stays, and is what the row shows now.
                dropRows();
                emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columns_ - 1));
                return false;
            }
            save();
        }
    } catch (const std::exception& e) {
        if (rs->editMode() != db::EditMode::None)
            rs->cancelUpdate();
        emit dataError(QString::fromStdString(e.what()));
        return false;
    }
    dropRows();
    emit dataChanged(index, index);
    source_->notifyRecordChanged();
    return true;
}

void DataGridModel::sort(int column, Qt::SortOrder order)
{
    const QString name = fieldName(column);
    if (name.isEmpty())
        return;
    source_->setRecordSource(QString::fromStdString(withOrderBy(
        source_->recordSource().toStdString(), name.toStdString(), order == Qt::DescendingOrder)));
    source_->refresh();
}

} // namespace rav::grid
