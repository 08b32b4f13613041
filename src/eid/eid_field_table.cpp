#include "eid_field_table.h"

#include "colour_value.h"

namespace rav::eid
{

EidFieldTableModel::EidFieldTableModel(EidFieldList& list, QObject* parent)
    : QAbstractTableModel(parent)
    , list_(list)
{
}

void EidFieldTableModel::setHeaders(const QString& name, const QString& size)
{
    headers_[0] = name;
    headers_[1] = size;
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

FieldEntryError EidFieldTableModel::commit(const QString& name, const QString& sizeText)
{
    // Tried on a copy first: the views must hear of a new row before it exists.
    EidFieldList trial = list_;
    const int row = list_.current();
    const FieldEntryError error = trial.commit(name.toStdString(), sizeText.toStdString());
    if (error != FieldEntryError::None)
        return error;
    if (list_.isEntryRow(row)) {
        beginInsertRows({}, list_.rows(), list_.rows());
        list_ = trial;
        endInsertRows();
    } else {
        list_ = trial;
    }
    emit dataChanged(index(row, 0), index(row, 1));
    return error;
}

bool EidFieldTableModel::removeCurrent()
{
    const int row = list_.current();
    if (list_.isEntryRow(row))
        return false;
    beginRemoveRows({}, row, row);
    // A view moves its current row off the row going away, and may pass
    // that on to the list: the row to remove is the one asked for.
    list_.setCurrent(row);
    list_.removeCurrent();
    endRemoveRows();
    return true;
}

int EidFieldTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : list_.rows();
}

int EidFieldTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant EidFieldTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= list_.rows())
        return {};
    const bool entry = list_.isEntryRow(index.row());
    if (role == Qt::BackgroundRole)
        return colorFromValue(entry ? kEntryColour : kFieldColour);
    if (role != Qt::DisplayRole || entry)
        return {};
    const EidField& field = list_.fields()[static_cast<std::size_t>(index.row())];
    return index.column() == 0 ? QVariant(QString::fromStdString(field.name)) : QVariant(field.size);
}

QVariant EidFieldTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 2)
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace rav::eid
