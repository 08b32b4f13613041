#include "data_grid_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace rav::grid
{

DataGridView::DataGridView(DataSource* source, QWidget* parent)
    : QWidget(parent)
    , model_(new DataGridModel(source, this))
    , caption_(new QLabel(this))
    , table_(new QTableView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    caption_->setObjectName("caption");
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameShape(QFrame::StyledPanel);
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Button);
    caption_->setMargin(3);
    caption_->hide();
    layout->addWidget(caption_);
    layout->addWidget(table_, 1);

    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::AnyKeyPressed);
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, &DataGridView::headerClicked);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) {
            if (!current.isValid())
                return;
            moving_ = true;
            model_->source()->setPosition(current.row());
            moving_ = false;
        });
    connect(source, &DataSource::recordChanged, this, &DataGridView::followSource);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { fitColumns(); });
    connect(model_, &QAbstractItemModel::headerDataChanged, this, [this] { fitColumns(); });
}

void DataGridView::fitColumns(int maxWidth)
{
    for (int c = 0; c < model_->columnCount(); ++c) {
        table_->resizeColumnToContents(c);
        if (table_->columnWidth(c) > maxWidth)
            table_->setColumnWidth(c, maxWidth);
    }
}

QString DataGridView::caption() const
{
    return caption_->text();
}

void DataGridView::setCaption(const QString& caption)
{
    caption_->setText(caption);
    caption_->setVisible(!caption.isEmpty());
}

void DataGridView::followSource()
{
    if (moving_)
        return;
    const long pos = model_->source()->position();
    if (pos < 0)
        return;
    model_->fetchUpTo(static_cast<int>(std::min<long>(pos, INT_MAX)));
    const QModelIndex current = table_->currentIndex();
    if (current.isValid() && current.row() == pos)
        return;
    moving_ = true;
    table_->setCurrentIndex(model_->index(static_cast<int>(pos), current.isValid() ? current.column() : 0));
    moving_ = false;
}

} // namespace rav::grid
