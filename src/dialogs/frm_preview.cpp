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

#include <QTableView>

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

} // namespace

FrmPreview::FrmPreview(QWidget* parent)
    : QDialog(parent)
    , datPrev_(new grid::DataSource(this))
    , qpnPan_(new ZerOvize(this))
    , dbgPrev_(new grid::DataGridView(datPrev_, qpnPan_))
{
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
        const auto& host = HostUtility::instance();
        dbgPrev_->setCaption(QString::fromStdString(
            host.GetLocalMessage("Preview of List of Materials : ", "5446")
            + kernel::ProjectParts::instance().ProjectName() + ".dpz with " + shell::shellState().DBaseName));
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
