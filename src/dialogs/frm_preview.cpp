#include "frm_preview.h"

#include "data_grid_view.h"
#include "data_source.h"
#include "host_utility.h"
#include "lom_settings.h"
#include "placement.h"
#include "preview_placement.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace rav::dialogs
{

namespace
{

double twipsPerPixel(const QWidget* w)
{
    return shell::TwipsPerPixel(w->logicalDpiX());
}

// The width of the host's main window, as the host stores it in the
// kernel's string table; 0 when it has not.
long mainWidthTwips()
{
    const std::int32_t handle = E_GetString("MAINWIDTH");
    if (handle <= 0)
        return 0;
    return shell::ParseWholeNumber(HostUtility::instance().KernelString(Z_TextPointer(handle)));
}

// The lines of an output as a read-only table of texts.
class LinesModel final : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setLines(const std::vector<std::string>& headers, const std::vector<std::vector<std::string>>& rows)
    {
        beginResetModel();
        headers_ = headers;
        rows_ = rows;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(headers_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const auto& row = rows_[static_cast<std::size_t>(index.row())];
        const auto c = static_cast<std::size_t>(index.column());
        return c < row.size() ? QString::fromStdString(row[c]) : QString();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Vertical)
            return section + 1;
        if (section < 0 || section >= columnCount())
            return {};
        return QString::fromStdString(headers_[static_cast<std::size_t>(section)]);
    }

private:
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
};

} // namespace

FrmPreview::FrmPreview(QWidget* parent)
    : QDialog(parent)
    , datPrev_(new grid::DataSource(this))
    , qpnPan_(new ZerOvize(this))
    , dbgPrev_(new grid::DataGridView(datPrev_, qpnPan_))
    , linesBox_(new QWidget(qpnPan_))
    , linesCaption_(new QLabel(linesBox_))
    , linesView_(new QTableView(linesBox_))
{
    auto* box = new QVBoxLayout(linesBox_);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    linesCaption_->setAlignment(Qt::AlignCenter);
    linesCaption_->setFrameShape(QFrame::StyledPanel);
    linesCaption_->setMargin(3);
    box->addWidget(linesCaption_);
    box->addWidget(linesView_, 1);
    linesBox_->hide();
    linesView_->setObjectName("linesView");
    linesView_->setModel(new LinesModel(linesView_));
    linesView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    linesView_->setAlternatingRowColors(true);
    linesView_->setWordWrap(false);
    linesView_->horizontalHeader()->setSectionsClickable(true);
    linesView_->horizontalHeader()->setStretchLastSection(true);
    connect(linesView_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (onHeaderClick)
            onHeaderClick(column);
    });
    setObjectName("frmPreview");
    setWindowTitle("List of Materials - Preview (Click column headers to sort with that field...)");
    setProperty(shell::kTagProperty, "5474");
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    datPrev_->setObjectName("datPrev");
    qpnPan_->setObjectName("qpnPan");
    dbgPrev_->setObjectName("dbgPrev");
    connect(dbgPrev_, &grid::DataGridView::headerClicked, this, [this](int column) {
        if (onHeaderClick)
            onHeaderClick(column);
    });
    shell::LocaliseForm(this);
    place();
}

FrmPreview::~FrmPreview() = default;

void FrmPreview::place()
{
    const shell::WorkAreaTwips work = shell::DesktopWorkArea(this);
    const long mainWidth = mainWidthTwips();
    long top = 0, left = 0, width = 0, height = 0;
    if (!shell::GetFormPlacement(this, top, left, width, height)) {
        const PreviewRect r = DefaultPreviewRect(work.left, work.width, work.height, mainWidth);
        top = r.top;
        left = r.left;
        width = r.width;
        height = r.height;
    }
    shell::ApplyFormPlacement(this, top, left, width, height);
}

void FrmPreview::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const double tpp = twipsPerPixel(this);
    qpnPan_->setGeometry(0, 0, width(), height());
    const PreviewRect g
        = PreviewGridRect(shell::PixelsToTwips(width(), tpp), shell::PixelsToTwips(height(), tpp));
    // Edges rather than lengths are rounded, so the margins come out equal.
    const int left = shell::TwipsToPixels(g.left, tpp);
    const int top = shell::TwipsToPixels(g.top, tpp);
    dbgPrev_->setGeometry(left, top, std::max(0, shell::TwipsToPixels(g.left + g.width, tpp) - left),
        std::max(0, shell::TwipsToPixels(g.top + g.height, tpp) - top));
    linesBox_->setGeometry(dbgPrev_->geometry());
}

QString FrmPreview::captionLine() const
{
    return QString::fromStdString(HostUtility::instance().GetLocalMessage("Preview of List of Materials : ", "5446")
        + kernel::ProjectParts::instance().ProjectName() + ".dpz with " + shell::shellState().DBaseName);
}

void FrmPreview::showLines(const std::vector<std::string>& headers,
    const std::vector<std::vector<std::string>>& rows, int sortColumn, bool descending)
{
    dbgPrev_->hide();
    linesBox_->show();
    linesCaption_->setText(captionLine());
    static_cast<LinesModel*>(linesView_->model())->setLines(headers, rows);
    QHeaderView* header = linesView_->horizontalHeader();
    header->setSortIndicatorShown(sortColumn >= 0);
    header->setSortIndicator(sortColumn, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    for (int c = 0; c < static_cast<int>(headers.size()); ++c) {
        linesView_->resizeColumnToContents(c);
        linesView_->setColumnWidth(c, std::min(linesView_->columnWidth(c), 320));
    }
    if (!isVisible())
        exec();
}

bool FrmPreview::formUpdate(const std::string& databaseName, const std::string& recordSource,
    const std::vector<std::string>& captions)
{
    bool ok = true;
    datPrev_->setDatabaseName(QString::fromStdString(databaseName));
    datPrev_->setRecordSource(QString::fromStdString(recordSource));
    if (!datPrev_->refresh())
        ok = false;
    if (ok) {
        dbgPrev_->setCaption(captionLine());
        auto* model = dbgPrev_->model();
        const int columns = model->columnCount();
        if (static_cast<std::size_t>(columns) > captions.size())
            ok = false; // every column needs its caption
        for (int i = 0; ok && i < columns; ++i)
            model->setHeaderCaption(i, QString::fromStdString(captions[static_cast<std::size_t>(i)]));
    }
    if (!ok) {
        shell::ShowPlainMessage(HostUtility::instance().GetLocalMessage("Unable to display Preview", "5447"),
            MessageKind::Critical);
        datPrev_->close();
        close();
        return false;
    }
    if (!isVisible())
        exec();
    return true;
}

} // namespace rav::dialogs
