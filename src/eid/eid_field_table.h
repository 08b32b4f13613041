// The field list of a new EID as a table for the wizard's grid: one row per
// field (name, size) and the entry row last. Edits go through this adapter
// so that the grid hears of them; the list itself stays the one state.
#pragma once

#include "eid_field_list.h"

#include <QAbstractTableModel>
#include <QString>

namespace rav::eid
{

class EidFieldTableModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Backgrounds as the suite's colour values: fields light yellow, the entry row white.
    static constexpr std::uint32_t kFieldColour = 0xEFFFFF;
    static constexpr std::uint32_t kEntryColour = 0xFFFFFF;

    explicit EidFieldTableModel(EidFieldList& list, QObject* parent = nullptr);

    const EidFieldList& list() const { return list_; }
    void setHeaders(const QString& name, const QString& size);

    // The list's edits (see EidFieldList), told to the views.
    FieldEntryError commit(const QString& name, const QString& sizeText);
    bool removeCurrent();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    EidFieldList& list_;
    QString headers_[2] = { QStringLiteral("Field Name"), QStringLiteral("Size") };
};

} // namespace rav::eid
