#include "frm_rec_edit.h"

#include "association.h"
#include "data_grid_view.h"
#include "data_source.h"
#include "database.h"
#include "eid_format.h"
#include "frm_tool_box.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_settings.h"
#include "modules.h"
#include "placement.h"
#include "project_parts.h"
#include "recedit_view.h"
#include "recordset.h"
#include "shell_services.h"
#include "shell_state.h"
#include "toolbox_queries.h"
#include "zareza2v.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>

namespace rav::recedit
{

// Watches the cell editors of the EID grid: tells when one is about to
// open, and can write and close the one that is open.
class CellEditWatcher : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(
        QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        emit const_cast<CellEditWatcher*>(this)->editStarting();
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor_ = editor;
        return editor;
    }
    // A value the file refuses (too long for its field) goes back into a
    // reopened editor, so the user corrects it instead of typing it again.
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        const QByteArray property = editor->metaObject()->userProperty().name();
        const QVariant value = editor->property(property.isEmpty() ? "text" : property.constData());
        if (model->setData(index, value, Qt::EditRole))
            return;
        emit const_cast<CellEditWatcher*>(this)->valueRefused(index, value);
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override
    {
        if (editor_ == editor)
            editor_ = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }
    bool editing() const { return !editor_.isNull(); }
    // Writes the open editor's value through the model and closes it.
    bool commit()
    {
        QWidget* editor = editor_;
        if (!editor)
            return false;
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        return true;
    }

signals:
    void editStarting();
    void valueRefused(const QModelIndex& index, const QVariant& value);

private:
    mutable QPointer<QWidget> editor_;
};

namespace
{

const shell::ModuleRegistrar registrar(shell::ModuleKind::RecordEditor, [] { return new FrmRecEdit; });

std::string local(const char* text, const char* id)
{
    return HostUtility::instance().GetLocalMessage(text, id);
}

double twipsPerPixel(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return shell::TwipsPerPixel(screen ? screen->logicalDotsPerInchY() : 96.0);
}

// The host's main window width in twips (its "MAINWIDTH" string); 0 when unset.
long mainWidthTwips()
{
    const std::int32_t handle = E_GetString("MAINWIDTH");
    if (handle <= 0)
        return 0;
    return shell::ParseWholeNumber(HostUtility::instance().KernelString(Z_TextPointer(handle)));
}

std::string projectDirectory()
{
    const char* path = Z_ProjectPath();
    return path && *path ? std::filesystem::path(path).parent_path().string() : std::string();
}

// Points a data source at a query, keeping what it showed when the query
// cannot be opened. Returns whether the new query opened.
bool fill(grid::DataSource* source, const std::string& database, const std::string& sql, std::string* error)
{
    const QString oldDatabase = source->databaseName();
    const QString oldSource = source->recordSource();
    const bool wasOpen = source->isOpen();
    source->setDatabaseName(QString::fromStdString(database));
    source->setRecordSource(QString::fromStdString(sql));
    if (source->refresh())
        return true;
    if (error)
        *error = source->lastError();
    source->setDatabaseName(oldDatabase);
    source->setRecordSource(oldSource);
    if (wasOpen)
        source->refresh();
    return false;
}

} // namespace

FrmRecEdit::FrmRecEdit(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("frmRecEdit");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("External Info Database Editor");
    buildControls();
    load();
}

void FrmRecEdit::buildControls()
{
    datReced_ = new grid::DataSource(this);
    datSearchRes_ = new grid::DataSource(this);
    datWholeView_ = new grid::DataSource(this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 3);
    tabMain_ = new QTabWidget(this);
    tabMain_->setObjectName("tabMain");
    outer->addWidget(tabMain_);
    const char* captions[2] = { " EID Edit View ", " Associate EID " };
    for (std::size_t i = 0; i < 2; ++i) {
        picTab_[i] = new QWidget(tabMain_);
        picTab_[i]->setObjectName(QString("picTab_%1").arg(i));
        tabMain_->addTab(picTab_[i], captions[i]);
        lblTbx_[i] = new QLabel("&Show Tool Box", picTab_[i]);
        lblTbx_[i]->setObjectName(QString("lblTbx_%1").arg(i));
        lblTbx_[i]->setCursor(Qt::PointingHandCursor);
        lblTbx_[i]->setStyleSheet("color: palette(link); text-decoration: underline");
        lblTbx_[i]->installEventFilter(this);
    }
    tabMain_->setProperty("TabTags", QStringList { "5419", "5420" });

    dbgRecEd_ = new grid::DataGridView(datReced_, picTab_[0]);
    dbgRecEd_->setObjectName("dbgRecEd");
    dbgRecEd_->model()->setEditable(true);
    cellEdits_ = new CellEditWatcher(dbgRecEd_->table());
    dbgRecEd_->table()->setItemDelegate(cellEdits_);
    dbgRecEd_->table()->installEventFilter(this);
    lblStatus_ = new QLabel(picTab_[0]);
    lblStatus_->setObjectName("lblStatus");
    auto* tab0 = new QVBoxLayout(picTab_[0]);
    tab0->setContentsMargins(3, 3, 3, 3);
    tab0->addWidget(dbgRecEd_, 1);
    auto* bottom0 = new QHBoxLayout;
    bottom0->addWidget(lblStatus_, 1);
    bottom0->addWidget(lblTbx_[0], 0, Qt::AlignRight);
    tab0->addLayout(bottom0);

    dbgWholeView_ = new grid::DataGridView(datWholeView_, picTab_[1]);
    dbgWholeView_->setObjectName("dbgWholeView");
    dbgSearchRes_ = new grid::DataGridView(datSearchRes_, picTab_[1]);
    dbgSearchRes_->setObjectName("dbgSearchRes");
    picSep_ = new QFrame(picTab_[1]);
    picSep_->setObjectName("picSep");
    static_cast<QFrame*>(picSep_)->setFrameShape(QFrame::StyledPanel);
    picSep_->setCursor(Qt::SizeVerCursor);
    picSep_->setFixedHeight(6);
    picSep_->setAutoFillBackground(true);
    picSep_->setBackgroundRole(QPalette::Mid);
    picSep_->installEventFilter(this);
    picTab_[1]->installEventFilter(this);

    connect(datReced_, &grid::DataSource::recordChanged, this, &FrmRecEdit::recedRecordChanged);
    connect(datReced_, &grid::DataSource::refreshed, this, &FrmRecEdit::recedRecordChanged);
    connect(datWholeView_, &grid::DataSource::recordChanged, this, &FrmRecEdit::wholeViewRecordChanged);
    connect(datWholeView_, &grid::DataSource::refreshed, this, &FrmRecEdit::wholeViewRecordChanged);
    connect(datSearchRes_, &grid::DataSource::recordChanged, this, &FrmRecEdit::searchResRecordChanged);
    connect(datSearchRes_, &grid::DataSource::refreshed, this, &FrmRecEdit::searchResRecordChanged);
    connect(dbgRecEd_->table(), &QTableView::clicked, this, &FrmRecEdit::recedRecordChanged);
    // A click on the row that is already current picks it again (after
    // another device was selected, which empties the EIC box).
    connect(dbgSearchRes_->table(), &QTableView::clicked, this, &FrmRecEdit::searchResRecordChanged);
    connect(cellEdits_, &CellEditWatcher::editStarting, this, [this] {
        if (toolBox_)
            toolBox_->enterEditPending();
    });
    // Committed rows: the handler runs again once the editor has closed.
    connect(cellEdits_, &QAbstractItemDelegate::closeEditor, this, &FrmRecEdit::recedRecordChanged,
        Qt::QueuedConnection);
    connect(cellEdits_, &CellEditWatcher::valueRefused, this,
        [this](const QModelIndex& index, const QVariant& value) {
            QPersistentModelIndex cell(index);
            QTimer::singleShot(0, this, [this, cell, value] {
                if (!cell.isValid())
                    return;
                QTableView* table = dbgRecEd_->table();
                table->setCurrentIndex(cell);
                table->edit(cell);
                if (auto* editor = qobject_cast<QLineEdit*>(
                        table->indexWidget(cell) ? table->indexWidget(cell) : table->focusWidget()))
                    editor->setText(value.toString());
            });
        });
    dbgRecEd_->model()->setFirstRowNumber(0); // as the tool box's Record Position counts
    connect(dbgRecEd_, &grid::DataGridView::headerClicked, this, &FrmRecEdit::sortByColumn);
    connect(datReced_, &grid::DataSource::refreshed, this, &FrmRecEdit::showStatus);
    connect(datReced_, &grid::DataSource::recordChanged, this, &FrmRecEdit::showStatus);
    // Someone else saved the record meanwhile (a server EID): the user sees
    // the differences and chooses.
    dbgRecEd_->model()->setConflictResolver([](const db::ConflictError& e) {
        return shell::Messages().confirm(
            { MessageKind::Question, "", std::string(e.what()) + "\n\nSave your value over theirs?", "" });
    });
    connect(dbgRecEd_->model(), &grid::DataGridModel::dataError, this, [this](const QString& text) {
        if (showGridErrors_)
            shell::Messages().show({ MessageKind::Critical, "", text.toStdString(), "" });
    });
    resize(720, 480);
}

void FrmRecEdit::load()
{
    // 1-3. Captions and fonts, the smallest size, the placement.
    shell::LocaliseForm(this);
    setMinimumSize(size());
    placeWindow();
    // 4. The splitter at two thirds of the associate tab, once the tab has
    // its real size (the first time it is shown).
    splitterTop_ = -1;
    layOutAssociateTab();
    // 5. The tool box, modeless.
    toolBox_ = new FrmToolBox(this);
    shell::RegisterLoadedWindow(toolBox_);
    showToolBox();
    // 6-7. The EID edit view first; the associate view needs an EID and a project.
    tabMain_->setCurrentIndex(0);
    connect(tabMain_, &QTabWidget::currentChanged, this, &FrmRecEdit::tabChanged);
    tabChanged(0);
    updateAssociateTab();
    // 8. Initial captions.
    projectViewLoaded_ = false;
    showGridErrors_ = true;
    tabMain_->setTabText(0, QString::fromStdString(local(" EID Edit View ", "5419")));
    tabMain_->setTabText(1, QString::fromStdString(local(" Associate EID ", "5420")));
    for (QLabel* label : lblTbx_) {
        label->setText(QString::fromStdString(local("Click to Show the Control Tool Box...", "5473")));
        label->setToolTip(QString::fromStdString(
            local("F6 switches between the record editor and the tool box.", "61632")));
    }
    // The keyboard's way to the tool box and back.
    auto* toToolBox = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(toToolBox, &QShortcut::activated, this, &FrmRecEdit::showToolBox);
}

FrmRecEdit::~FrmRecEdit()
{
    shell::SaveFormPlacement(this);
    datSearchRes_->close();
    datWholeView_->close();
    datReced_->close();
    lom::DeleteTempDatabase(projectViewDbName_);
    delete toolBox_.data();
}

void FrmRecEdit::placeWindow()
{
    long top = 0, left = 0, width = 0, height = 0;
    if (!shell::GetFormPlacement(this, top, left, width, height)) {
        const shell::WorkAreaTwips work = shell::DesktopWorkArea(this);
        const TwipsRect r
            = DefaultRecEditRect(work.left, work.left + work.width, work.top + work.height, mainWidthTwips());
        top = r.top;
        left = r.left;
        width = r.width;
        height = r.height;
    }
    shell::ApplyFormPlacement(this, top, left, width, height);
}

bool FrmRecEdit::projectOpen()
{
    return DB_DataBase() != 0;
}

bool FrmRecEdit::currentEidValid() const
{
    const std::string& eid = shell::shellState().DBaseName;
    if (datReced_->isOpen() && datReced_->databaseName().toStdString() == eid)
        return true;
    return eid::IsEidDatabase(eid);
}

// The tool box takes an EID only once it has recognised it; checking it
// again would open it once more (on a server, one more connection).
bool FrmRecEdit::eidRecognised(const std::string& eid) const
{
    if (toolBox_ && !eid.empty() && toolBox_->eidViewTab().eidFile() == eid)
        return true;
    return eid::IsEidDatabase(eid);
}

void FrmRecEdit::updateAssociateTab()
{
    tabMain_->setTabEnabled(1, currentEidValid() && projectOpen());
}

bool FrmRecEdit::FillReced(const std::string& sql, std::string* error)
{
    const std::string& eid = shell::shellState().DBaseName;
    const bool ok = fill(datReced_, eid, sql, error);
    if (db::Database* d = datReced_->database()) {
        try {
            eicFieldName_ = eid::EicFieldName(*d);
        } catch (const std::exception&) {
            eicFieldName_.clear();
        }
    }
    dbgRecEd_->setCaption(QString::fromStdString(RecEdCaption(datReced_->databaseName().toStdString())));
    // The refresh ran the record-change handler before the EIC column was known.
    recedRecordChanged();
    return ok;
}

void FrmRecEdit::SearchAndFill(const std::string& sql)
{
    const std::string& eid = shell::shellState().DBaseName;
    fill(datSearchRes_, eid, sql, nullptr);
    if (db::Database* d = datSearchRes_->database()) {
        try {
            eicFieldName_ = eid::EicFieldName(*d);
        } catch (const std::exception&) {
            // Ignored like every other failure of this fill.
        }
    }
    dbgSearchRes_->setCaption(QString::fromStdString(SearchResultCaption(eid)));
}

bool FrmRecEdit::SortAndFill(const std::string& sql, std::string* error)
{
    const bool ok = fill(datWholeView_, projectViewDbName_, sql, error);
    std::vector<std::string> names;
    if (const db::Recordset* rs = datWholeView_->recordset())
        for (int i = 0; i < rs->fieldCount(); ++i)
            names.push_back(rs->fieldInfo(i).name);
    QStringList captions;
    for (const std::string& c : ProjectViewColumnCaptions(lom::fieldCatalogue(), names))
        captions << QString::fromStdString(c);
    dbgWholeView_->model()->setHeaderCaptions(captions);
    const auto& parts = kernel::ProjectParts::instance();
    dbgWholeView_->setCaption(
        QString::fromStdString(ProjectViewCaption(parts.ProjectName(), projectDirectory())));
    return ok;
}

namespace
{

bool findAndShow(grid::DataSource* source, const std::string& column, const std::string& value)
{
    db::Recordset* rs = source->recordset();
    if (!rs)
        return false;
    try {
        if (!rs->findFirst(EicCriteria(column, value)))
            return false;
    } catch (const std::exception&) {
        return false;
    }
    source->notifyRecordChanged();
    return true;
}

} // namespace

bool FrmRecEdit::SelectDevice(const std::string& part)
{
    if (!tabMain_->isTabEnabled(1))
        return false;
    tabMain_->setCurrentIndex(1);
    if (!findAndShow(datWholeView_, kPartColumn, part))
        return false;
    dbgWholeView_->table()->setFocus();
    return true;
}

bool FrmRecEdit::SelectRecord(const std::string& code)
{
    tabMain_->setCurrentIndex(0);
    if (eicFieldName_.empty() || !findAndShow(datReced_, eicFieldName_, code))
        return false;
    dbgRecEd_->table()->setFocus();
    return true;
}

void FrmRecEdit::showStatus()
{
    if (toolBox_)
        lblStatus_->setText(QString::fromStdString(toolBox_->recordStatus()));
}

void FrmRecEdit::showSortColumn(const std::string& field, bool descending)
{
    sortField_ = field;
    sortDescending_ = descending;
    QHeaderView* header = dbgRecEd_->table()->horizontalHeader();
    const auto* model = dbgRecEd_->model();
    for (int c = 0; c < model->columnCount({}); ++c) {
        if (model->fieldName(c).toStdString() == field) {
            header->setSortIndicatorShown(true);
            header->setSortIndicator(c, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
            return;
        }
    }
    header->setSortIndicatorShown(false);
}

void FrmRecEdit::sortByColumn(int column)
{
    CommitPendingEdit();
    const std::string field = dbgRecEd_->model()->fieldName(column).toStdString();
    if (field.empty())
        return;
    // A second click on the sorted column reverses it. (The header flips
    // its own arrow on a click, so the order is kept here, not read there.)
    const bool descending = field == sortField_ && !sortDescending_;
    dbgRecEd_->model()->sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    showSortColumn(field, descending);
    if (toolBox_)
        toolBox_->followSort(field);
}

bool FrmRecEdit::editPending() const
{
    if (cellEdits_->editing())
        return true;
    const db::Recordset* rs = datReced_->recordset();
    return rs && rs->editMode() != db::EditMode::None;
}

void FrmRecEdit::CommitPendingEdit()
{
    showGridErrors_ = false;
    if (!cellEdits_->commit()) {
        if (db::Recordset* rs = datReced_->recordset(); rs && rs->editMode() != db::EditMode::None) {
            try {
                rs->update();
            } catch (const std::exception&) {
                rs->cancelUpdate();
            }
            datReced_->notifyRecordChanged();
        }
    }
    showGridErrors_ = true;
}

void FrmRecEdit::tabChanged(int index)
{
    if (!toolBox_)
        return;
    auto& state = shell::shellState();
    if (index == 1) {
        toolBox_->enableTabPair(0);
        CommitPendingEdit();
        if (!projectViewLoaded_)
            toolBox_->cmdRefresh_Click();
        setWindowTitle(
            QString::fromStdString(local("External Info Database Editor : Associate Database", "5424")));
        shell::SetHelpTopic(3, 2, 0, 0, false);
    } else {
        toolBox_->enableTabPair(2);
        if (datReced_->databaseName().toStdString() != state.DBaseName && eidRecognised(state.DBaseName))
            toolBox_->cmdFilter_Click();
        setWindowTitle(
            QString::fromStdString(local("External Info Database Editor : EID Edit View", "5423")));
        shell::SetHelpTopic(3, 1, 0, 0, false);
    }
}

void FrmRecEdit::showToolBox()
{
    if (!toolBox_)
        return;
    toolBox_->show();
    toolBox_->raise();
    toolBox_->activateWindow();
}

void FrmRecEdit::recedRecordChanged()
{
    if (toolBox_)
        toolBox_->followRecord();
}

void FrmRecEdit::wholeViewRecordChanged()
{
    if (!toolBox_)
        return;
    std::string part;
    try {
        if (const db::Recordset* pv = datWholeView_->recordset(); pv && pv->absolutePosition() >= 0)
            part = pv->value(kPartColumn).value_or("");
    } catch (const std::exception&) {
        // A view without the part column selects no device.
    }
    toolBox_->deviceSelected(part, BothSelected(datWholeView_->recordset(), datSearchRes_->recordset()));
}

void FrmRecEdit::searchResRecordChanged()
{
    if (!toolBox_)
        return;
    const db::Recordset* sr = datSearchRes_->recordset();
    std::optional<std::string> eic;
    try {
        if (sr && sr->absolutePosition() >= 0 && !eicFieldName_.empty())
            if (const db::Value code = sr->value(eicFieldName_))
                eic = *code;
    } catch (const std::exception&) {
        // A search result without the EIC column leaves the box empty.
    }
    toolBox_->recordSelected(eic, BothSelected(datWholeView_->recordset(), sr));
}

void FrmRecEdit::moveSplitter(int top)
{
    splitterTop_ = top;
    layOutAssociateTab();
}

void FrmRecEdit::layOutAssociateTab()
{
    QWidget* page = picTab_[1];
    if (splitterTop_ < 0) {
        if (!page->isVisible())
            return;
        splitterTop_ = 2 * page->height() / 3;
    }
    const double tpp = twipsPerPixel(this);
    const int labelHeight = lblTbx_[1]->sizeHint().height();
    const AssociateLayout l = LayOutAssociateTab(shell::PixelsToTwips(page->width(), tpp),
        shell::PixelsToTwips(page->height() - labelHeight, tpp), shell::PixelsToTwips(splitterTop_, tpp),
        shell::PixelsToTwips(picSep_->height(), tpp));
    auto px = [tpp](long twips) { return shell::TwipsToPixels(twips, tpp); };
    splitterTop_ = std::max(px(l.splitterTop), 20);
    dbgWholeView_->setGeometry(px(l.wholeView.left), px(l.wholeView.top), px(l.wholeView.width),
        std::max(splitterTop_ - px(l.wholeView.top), 10));
    // The bar reaches past both sides, so it can be grabbed anywhere across the tab.
    picSep_->setGeometry(0, splitterTop_, page->width(), picSep_->height());
    const int searchTop = splitterTop_ + picSep_->height();
    dbgSearchRes_->setGeometry(px(l.searchResult.left), searchTop, px(l.searchResult.width),
        std::max(page->height() - labelHeight - searchTop - 4, 10));
    const QSize label = lblTbx_[1]->sizeHint();
    lblTbx_[1]->setGeometry(page->width() - label.width() - 6, page->height() - label.height() - 2,
        label.width(), label.height());
}

void FrmRecEdit::closeEvent(QCloseEvent* event)
{
    // Only the user's close comes here: the shell unloads by deleting.
    if (datWholeView_->database()) {
        UserMessage question;
        question.kind = MessageKind::Question;
        question.id = "5422";
        question.text = local("Would you like to update the changes made to the project library?", "5422");
        if (shell::Messages().confirm(question) && toolBox_)
            toolBox_->cmdUpdate_Click();
    }
    shell::ReturnToMainForm();
    event->accept();
}

void FrmRecEdit::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !toolBox_)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (isMinimized())
        toolBox_->hide();
    else if (change->oldState() & Qt::WindowMinimized)
        toolBox_->show();
}

bool FrmRecEdit::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == lblTbx_[0] || watched == lblTbx_[1]) && event->type() == QEvent::MouseButtonRelease) {
        showToolBox();
        return true;
    }
    if (watched == picTab_[1] && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        layOutAssociateTab();
        return false;
    }
    if (watched == dbgRecEd_->table() && event->type() == QEvent::KeyRelease
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        recedRecordChanged();
        return false;
    }
    if (watched == picSep_) {
        // Drag and drop, no live resizing: the bar moves where it is dropped
        // on one of the two grids.
        if (event->type() == QEvent::MouseButtonPress) {
            dragStartY_ = static_cast<QMouseEvent*>(event)->position().toPoint().y();
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && dragStartY_ >= 0) {
            dragStartY_ = -1;
            const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            for (grid::DataGridView* grid : { dbgWholeView_, dbgSearchRes_ }) {
                const QPoint inGrid = grid->mapFromGlobal(global);
                if (grid->rect().contains(inGrid)) {
                    moveSplitter(grid->y() + inGrid.y());
                    break;
                }
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace rav::recedit

#include "frm_rec_edit.moc"
