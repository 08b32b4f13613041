#include "frm_tool_box.h"

#include "associate_tab.h"
#include "association.h"
#include "browse_tab.h"
#include "data_grid_view.h"
#include "data_source.h"
#include "database.h"
#include "eid_format.h"
#include "form_helpers.h"
#include "frm_progress.h"
#include "frm_rec_edit.h"
#include "host_utility.h"
#include "integrity_report.h"
#include "integrity_tab.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "panel_progress.h"
#include "recedit_view.h"
#include "record_maintenance.h"
#include "recordset.h"
#include "rozerazu.h"
#include "shell_services.h"
#include "shell_state.h"
#include "show_message.h"
#include "suggestions.h"
#include "zerovize.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace rav::recedit
{

namespace
{

shell::FileChooser& chooser()
{
    static shell::FileChooser c;
    return c;
}

// A caption of the tool box: it keeps its designed size, unlike a wizard's wrapping text.
QLabel* label(const char* caption, const char* tag, QWidget* parent, const char* name = nullptr)
{
    return shell::Tagged(new QLabel(caption, parent), name, tag);
}

QComboBox* list(const char* name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(8);
    return c;
}

QLineEdit* textBox(const char* name, QWidget* parent)
{
    auto* t = new QLineEdit(parent);
    t->setObjectName(name);
    return t;
}

void fillOperators(QComboBox* ops)
{
    ops->clear();
    for (const std::string& op : Operators())
        ops->addItem(QString::fromStdString(op), 0);
    ops->setCurrentIndex(0);
}

void fillItems(QComboBox* box, const std::vector<ListItem>& items)
{
    box->clear();
    for (const ListItem& item : items)
        box->addItem(QString::fromStdString(item.caption), item.number);
    if (box->count() > 0)
        box->setCurrentIndex(0);
}

std::string text(const QLineEdit* box)
{
    return box->text().toStdString();
}
std::string text(const QComboBox* box)
{
    return box->currentText().toStdString();
}

// Engine failures of a command without a handler of its own.
void report(const std::string& error)
{
    if (!error.empty())
        shell::ShowPlainMessage(error, MessageKind::Exclamation);
}

} // namespace

void FrmToolBox::setFileChooser(shell::FileChooser c)
{
    chooser() = std::move(c);
}

FrmToolBox::FrmToolBox(FrmRecEdit* recEdit)
    : QWidget(recEdit, Qt::Tool)
    , recEdit_(recEdit)
{
    setObjectName("frmToolBox");
    setWindowTitle("Toolbox");
    setProperty(shell::kTagProperty, "61633");
    buildControls();
    load();
}

FrmToolBox::~FrmToolBox()
{
    shell::SaveFormPlacement(this);
}

void FrmToolBox::buildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    tabMain_ = new QTabWidget(this);
    tabMain_->setObjectName("tabMain");
    // Every tab in sight, in any language and at any scale: the window is
    // as wide as its tabs, never scrolling them.
    tabMain_->setUsesScrollButtons(false);
    outer->addWidget(tabMain_);
    const char* captions[4] = { "Project View", "Associate", "EID View", "Browse" };
    for (std::size_t i = 0; i < 4; ++i) {
        picTab_[i] = new QWidget(tabMain_);
        picTab_[i]->setObjectName(QString("picTab_%1").arg(i));
        tabMain_->addTab(picTab_[i], captions[i]);
    }
    tabMain_->setProperty("TabTags", QStringList { "5454", "373", "5455", "5456", "61630" });
    // Integrity: the report of where the project's devices and the EID
    // disagree, made on request.
    {
        auto* tab = new QWidget(tabMain_);
        tab->setObjectName("picTabIntegrity");
        tabMain_->addTab(tab, "Integrity");
        auto* page = new QVBoxLayout(tab);
        cmdCheck_ = shell::Button("&Check", tab, "cmdCheck", "61631");
        lblSummary_ = label("", nullptr, tab, "lblSummary");
        lblSummary_->setWordWrap(true);
        // One row per finding: a click (or Enter) selects its device in
        // the record editor.
        tblFindings_ = new QTableWidget(0, 4, tab);
        tblFindings_->setObjectName("tblFindings");
        tblFindings_->setHorizontalHeaderLabels({ "Finding", "Devices", "EICs", "Value / footprint" });
        tblFindings_->setProperty("HeaderTags", QStringList { "61626", "61627", "61628", "61629" });
        tblFindings_->setSelectionBehavior(QAbstractItemView::SelectRows);
        tblFindings_->setSelectionMode(QAbstractItemView::SingleSelection);
        tblFindings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tblFindings_->verticalHeader()->hide();
        tblFindings_->verticalHeader()->setDefaultSectionSize(tblFindings_->fontMetrics().height() + 6);
        tblFindings_->horizontalHeader()->setStretchLastSection(true);
        auto* top = new QHBoxLayout;
        top->addWidget(cmdCheck_);
        top->addWidget(lblSummary_, 1);
        page->addLayout(top);
        page->addWidget(tblFindings_, 1);
    }

    // Project View.
    {
        auto* page = new QVBoxLayout(picTab_[0]);
        auto* frame = new QGroupBox("Project library", picTab_[0]);
        frame->setProperty(shell::kTagProperty, "99852");
        auto* g = new QGridLayout(frame);
        cboWhere1_ = list("cboWhere1", frame);
        cboWhere2_ = list("cboWhere2", frame);
        txtWhere3_ = textBox("txtWhere3", frame);
        cboSort_ = list("cboSort", frame);
        cmdRefresh_ = shell::Button("&Refresh", frame, "cmdRefresh", "3711");
        g->addWidget(label("Filter project library with", "5471", frame), 0, 0, 1, 3);
        g->addWidget(cboWhere1_, 1, 0);
        g->addWidget(cboWhere2_, 1, 1);
        g->addWidget(txtWhere3_, 1, 2);
        g->addWidget(label("Sort by", "5462", frame), 2, 0);
        g->addWidget(cboSort_, 2, 1);
        g->addWidget(cmdRefresh_, 2, 2);
        g->setColumnStretch(0, 2);
        g->setColumnStretch(2, 2);
        page->addWidget(frame);
        cmdUpdate_ = shell::Button("Update proj. &lib", picTab_[0], "cmdUpdate", "5469");
        page->addWidget(cmdUpdate_, 0, Qt::AlignRight);
        page->addStretch(1);
    }
    // Associate.
    {
        auto* page = new QVBoxLayout(picTab_[1]);
        auto* modes = new QHBoxLayout;
        optManAut_[0] = new QRadioButton("Au&tomatic mode", picTab_[1]);
        optManAut_[0]->setObjectName("optManAut_0");
        optManAut_[0]->setProperty(shell::kTagProperty, "5465");
        optManAut_[1] = new QRadioButton("Ma&nual mode", picTab_[1]);
        optManAut_[1]->setObjectName("optManAut_1");
        optManAut_[1]->setProperty(shell::kTagProperty, "5466");
        modes->addWidget(optManAut_[0]);
        modes->addWidget(optManAut_[1]);
        modes->addStretch(1);
        page->addLayout(modes);
        auto* find = new QGroupBox(picTab_[1]);
        auto* g = new QGridLayout(find);
        for (std::size_t i = 0; i < 3; ++i)
            cboFind_[i] = list(QString("cboFind_%1").arg(i).toLatin1().constData(), find);
        cmdFind_ = shell::Button("&Find", find, "cmdFind", "5126");
        cmdAssociate_[0] = shell::Button("&Associate", find, "cmdAssociate_0", "5467");
        // Each box says what it takes: the device's value, the comparison,
        // and the EID field that is searched with it.
        g->addWidget(label("Filter EID file where", "5468", find), 0, 0, 1, 3);
        const char* heads[3][2]
            = { { "Device's &value of", "61611" }, { "Co&mpare", "61612" }, { "EID fi&eld", "61613" } };
        for (std::size_t i = 0; i < 3; ++i) {
            QLabel* head = label(heads[i][0], heads[i][1], find);
            head->setBuddy(cboFind_[i]);
            g->addWidget(head, 1, static_cast<int>(i));
            g->addWidget(cboFind_[i], 2, static_cast<int>(i));
        }
        g->addWidget(cmdFind_, 3, 1);
        g->addWidget(cmdAssociate_[0], 3, 2);
        page->addWidget(find);
        auto* manual = new QGroupBox(picTab_[1]);
        auto* h = new QHBoxLayout(manual);
        txtEIC_ = textBox("txtEIC", manual);
        cmdAssociate_[1] = shell::Button("&Associate", manual, "cmdAssociate_1", "5467");
        h->addWidget(label("EIC", nullptr, manual, "Label3"));
        h->addWidget(txtEIC_, 1);
        h->addWidget(cmdAssociate_[1]);
        page->addWidget(manual);
        // Suggested records for the selected device: choosing one (Enter or
        // a double click) puts its code into the EIC box above.
        auto* suggest = new QHBoxLayout;
        cmdSuggest_ = shell::Button("S&uggest", picTab_[1], "cmdSuggest", "61614");
        lstSuggest_ = new QListWidget(picTab_[1]);
        lstSuggest_->setObjectName("lstSuggest");
        lstSuggest_->setMaximumHeight(90);
        suggest->addWidget(lstSuggest_, 1);
        suggest->addWidget(cmdSuggest_, 0, Qt::AlignTop);
        page->addLayout(suggest);
        lblWeak_ = label(
            "Only weak matches: check the record before you choose it.", "61615", picTab_[1], "lblWeak");
        lblWeak_->setWordWrap(true);
        lblWeak_->setStyleSheet("color: palette(highlight)");
        lblWeak_->hide();
        page->addWidget(lblWeak_);
        page->addStretch(1);
    }
    // EID View.
    {
        auto* page = new QVBoxLayout(picTab_[2]);
        auto* file = new QHBoxLayout;
        qpnFile_ = new ZerOvize(picTab_[2]);
        qpnFile_->setObjectName("qpnFile");
        qpnFile_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        qpnFile_->setMinimumHeight(22);
        cmdFile_ = shell::Button("...", picTab_[2], "cmdFile");
        cmdFile_->setFixedWidth(32);
        file->addWidget(label("EID database name:", "5464", picTab_[2]));
        file->addWidget(qpnFile_, 1);
        file->addWidget(cmdFile_);
        page->addLayout(file);
        auto* frame = new QGroupBox("EID File", picTab_[2]);
        frame->setProperty(shell::kTagProperty, "5461");
        auto* g = new QGridLayout(frame);
        cboFields_ = list("cboFields", frame);
        cboCompare_ = list("cboCompare", frame);
        txtValue_ = textBox("txtValue", frame);
        cboFieldSort_ = list("cboFieldSort", frame);
        cmdFilter_ = shell::Button("&Refresh", frame, "cmdFilter", "3711");
        g->addWidget(label("Filter EID with", "5463", frame), 0, 0, 1, 3);
        g->addWidget(cboFields_, 1, 0);
        g->addWidget(cboCompare_, 1, 1);
        g->addWidget(txtValue_, 1, 2);
        g->addWidget(label("Sort by", "5462", frame), 2, 0);
        g->addWidget(cboFieldSort_, 2, 1);
        g->addWidget(cmdFilter_, 2, 2);
        g->setColumnStretch(0, 2);
        g->setColumnStretch(2, 2);
        page->addWidget(frame);
        page->addStretch(1);
    }
    // Browse.
    {
        auto* page = new QVBoxLayout(picTab_[3]);
        auto* frame = new QGroupBox("Edit Records", picTab_[3]);
        frame->setProperty(shell::kTagProperty, "5458");
        auto* g = new QGridLayout(frame);
        cmdAdd_ = shell::Button("&Add", frame, "cmdAdd", "999");
        cmdDelete_ = shell::Button("&Delete", frame, "cmdDelete", "9928");
        const char* moves[4] = { "|<", "<<", ">>", ">|" };
        auto* moveRow = new QHBoxLayout;
        for (std::size_t i = 0; i < 4; ++i) {
            cmdMove_[i] = shell::Button(moves[i], frame, QString("cmdMove_%1").arg(i).toLatin1().constData());
            cmdMove_[i]->setFixedWidth(36);
            moveRow->addWidget(cmdMove_[i]);
        }
        txtMove_ = textBox("txtMove", frame);
        txtMove_->setMaximumWidth(90);
        txtField_ = textBox("txtField", frame);
        txtField_->setReadOnly(true);
        g->addWidget(cmdAdd_, 0, 0);
        g->addWidget(cmdDelete_, 0, 1);
        g->addLayout(moveRow, 1, 0, 1, 2);
        g->addWidget(label("Record Position", "5460", frame, "Label4"), 1, 2);
        g->addWidget(txtMove_, 1, 3);
        g->addWidget(label("Current EIC field:", "5459", frame, "Label5"), 2, 0);
        g->addWidget(txtField_, 2, 1, 1, 3);
        page->addWidget(frame);
        page->addStretch(1);
    }

    fillOperators(cboWhere2_);
    fillOperators(cboFind_[1]);
    fillOperators(cboCompare_);
    txtWhere3_->setText(kAnyValue);
    txtValue_->setText(kAnyValue);
    followFilter(projectView_.filter(), cboWhere1_, cboWhere2_, txtWhere3_, cboSort_);
    followFilter(eidView_.filter(), cboFields_, cboCompare_, txtValue_, cboFieldSort_);

    connect(tabMain_, &QTabWidget::currentChanged, this, [this](int index) {
        for (std::size_t i = 0; i < picTab_.size(); ++i)
            picTab_[i]->setEnabled(static_cast<int>(i) == index);
        shell::SetHelpTopic(4, index + 1, 0, 0, false);
    });
    connect(cmdFilter_, &QPushButton::clicked, this, &FrmToolBox::cmdFilter_Click);
    connect(cmdRefresh_, &QPushButton::clicked, this, &FrmToolBox::cmdRefresh_Click);
    connect(cmdFind_, &QPushButton::clicked, this, &FrmToolBox::cmdFind_Click);
    connect(cmdUpdate_, &QPushButton::clicked, this, &FrmToolBox::cmdUpdate_Click);
    connect(cmdAdd_, &QPushButton::clicked, this, &FrmToolBox::cmdAdd_Click);
    connect(cmdDelete_, &QPushButton::clicked, this, &FrmToolBox::cmdDelete_Click);
    connect(cmdFile_, &QPushButton::clicked, this, &FrmToolBox::cmdFile_Click);
    for (int i = 0; i < 4; ++i)
        connect(cmdMove_[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
            [this, i] { cmdMove_Click(i); });
    for (int i = 0; i < 2; ++i) {
        connect(optManAut_[static_cast<std::size_t>(i)], &QRadioButton::clicked, this,
            [this, i] { optManAut_Click(i); });
        connect(cmdAssociate_[static_cast<std::size_t>(i)], &QPushButton::clicked, this,
            [this, i] { cmdAssociate_Click(i); });
    }
    connect(txtMove_, &QLineEdit::returnPressed, this, &FrmToolBox::txtMove_Enter);
    connect(txtEIC_, &QLineEdit::textEdited, this, [this](const QString& typed) {
        associate_.setEic(typed.toStdString());
        showAssociateState();
    });
    connect(cmdSuggest_, &QPushButton::clicked, this, &FrmToolBox::cmdSuggest_Click);
    connect(lstSuggest_, &QListWidget::itemActivated, this, &FrmToolBox::lstSuggest_Activated);
    connect(cmdCheck_, &QPushButton::clicked, this, &FrmToolBox::cmdCheck_Click);
    connect(
        tblFindings_, &QTableWidget::cellClicked, this, [this](int row, int) { tblFindings_Activated(row); });
    connect(tblFindings_, &QTableWidget::cellActivated, this,
        [this](int row, int) { tblFindings_Activated(row); });
    for (QComboBox* box : { cboSort_, cboWhere1_ })
        connect(box, &QComboBox::activated, box, [box] { box->setToolTip(box->currentText()); });
    for (QLineEdit* box : { txtEIC_, txtMove_, txtWhere3_ })
        box->installEventFilter(this);
    // F6 goes back to the record editor, as F6 there comes here.
    auto* back = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(back, &QShortcut::activated, this, [this] {
        recEdit_->activateWindow();
        recEdit_->raise();
    });
    adjustSize();
}

void FrmToolBox::load()
{
    shell::LocaliseForm(this);
    shell::SetTopMost(this, true);
    place();
    setBrowseEnabled(false);
    const std::string& eid = shell::shellState().DBaseName;
    if (eid::IsEidDatabase(eid)) {
        shell::ShowFileName(qpnFile_, QString::fromStdString(db::nameWithoutPassword(eid)));
        lom::BuildToolBoxCatalogue(lom::fieldCatalogue(), eid);
        FillFieldLists();
        cmdAdd_->setEnabled(true);
        txtMove_->setEnabled(true);
    }
    showViewTabs();
    optManAut_[1]->setChecked(true);
    optManAut_Click(1);
}

void FrmToolBox::place()
{
    long top = 0, left = 0, width = 0, height = 0;
    if (!shell::GetFormPlacement(this, top, left, width, height)) {
        const shell::WorkAreaTwips work = shell::DesktopWorkArea(this);
        const double tpp = work.width > 0 && screen() ? 1440.0 / screen()->logicalDotsPerInchX() : 15.0;
        const TwipsRect r = DefaultToolBoxRect(
            work.width, work.height, std::lround(this->width() * tpp), std::lround(this->height() * tpp));
        top = r.top;
        left = r.left;
        width = r.width;
        height = r.height;
    }
    shell::ApplyFormPlacement(this, top, left, width, height);
}

void FrmToolBox::setBrowseEnabled(bool enabled)
{
    cmdAdd_->setEnabled(enabled);
    cmdDelete_->setEnabled(enabled);
    for (QPushButton* b : cmdMove_)
        b->setEnabled(enabled);
    txtMove_->setEnabled(enabled);
}

void FrmToolBox::setAddCaption(bool update)
{
    const std::string caption = update ? HostUtility::instance().GetLocalMessage("&Update", "9989")
                                       : HostUtility::instance().GetLocalMessage("&Add", "999");
    cmdAdd_->setText(QString::fromStdString(caption));
}

int FrmToolBox::itemNumber(const QComboBox* box)
{
    return box->currentIndex() >= 0 ? box->currentData().toInt() : 0;
}

void FrmToolBox::enableTabPair(int first)
{
    for (int i = 0; i < static_cast<int>(picTab_.size()); ++i)
        tabMain_->setTabEnabled(i, i == first || i == first + 1);
    tabMain_->setCurrentIndex(first);
    for (std::size_t i = 0; i < picTab_.size(); ++i)
        picTab_[i]->setEnabled(static_cast<int>(i) == first);
}

void FrmToolBox::FillFieldLists()
{
    const FieldLists lists = recedit::FillFieldLists(lom::fieldCatalogue());
    projectView_.setLists(lists);
    eidView_.open(shell::shellState().DBaseName, lists);
    for (QComboBox* box : { cboFind_[0], cboFind_[2] })
        fillItems(box, lists.eidItems);
    cboFind_[1]->setCurrentIndex(0);
    associate_.setFindReady(lists.findEnabled);
    showAssociateState();
    showViewTabs();
}

void FrmToolBox::followFilter(
    FilterChoice& filter, QComboBox* where, QComboBox* op, QLineEdit* value, QComboBox* sort)
{
    connect(where, &QComboBox::currentIndexChanged, this, [&filter](int i) { filter.setWhere(i); });
    connect(op, &QComboBox::currentIndexChanged, this, [&filter](int i) { filter.setOperator(i); });
    connect(value, &QLineEdit::textChanged, this,
        [&filter](const QString& t) { filter.setValue(t.toStdString()); });
    connect(sort, &QComboBox::currentIndexChanged, this, [&filter](int i) { filter.setSort(i); });
}

void FrmToolBox::showViewTabs()
{
    // The boxes are set from a copy: each change they signal goes back into
    // the model and would otherwise overwrite what is still to be shown.
    const auto show
        = [](const FilterChoice shown, QComboBox* where, QComboBox* op, QLineEdit* value, QComboBox* sort) {
              fillItems(where, shown.items());
              fillItems(sort, shown.items());
              where->setCurrentIndex(shown.where());
              op->setCurrentIndex(shown.op());
              value->setText(QString::fromStdString(shown.value()));
              sort->setCurrentIndex(shown.sort());
          };
    show(projectView_.filter(), cboWhere1_, cboWhere2_, txtWhere3_, cboSort_);
    show(eidView_.filter(), cboFields_, cboCompare_, txtValue_, cboFieldSort_);
    cmdRefresh_->setEnabled(projectView_.canRefresh());
    cmdFilter_->setEnabled(eidView_.canFilter());
    cmdFile_->setEnabled(eidView_.canChooseFile());
}

// ---- Queries ------------------------------------------------------------------

void FrmToolBox::cmdFilter_Click()
{
    if (!eidView_.filter().complete())
        return;
    std::string error;
    try {
        const auto& catalogue = lom::fieldCatalogue();
        if (!recEdit_->FillReced(eidView_.query(catalogue), &error)) {
            report(error);
            return;
        }
        eidView_.filterShown(catalogue);
        recEdit_->showStatus();
        recEdit_->showSortColumn(eidView_.sortField(catalogue), false);
    } catch (const std::exception& e) {
        report(e.what());
    }
}

void FrmToolBox::followSort(const std::string& field)
{
    if (eidView_.followSort(lom::fieldCatalogue(), field))
        cboFieldSort_->setCurrentIndex(eidView_.filter().sort());
}

void FrmToolBox::cmdRefresh_Click()
{
    if (!recEdit_->projectViewLoaded())
        FilllocalGrid();
    if (recEdit_->projectViewDbName().empty())
        return; // no view was built: the build has said why
    std::string error;
    if (!recEdit_->SortAndFill(projectView_.query(), &error))
        report(error);
}

void FrmToolBox::cmdFind_Click()
{
    try {
        const std::string eic
            = recEdit_->eicFieldName().empty() ? lom::lomState().eicFieldName : recEdit_->eicFieldName();
        recEdit_->SearchAndFill(makeSearchQuerySTr(recEdit_->datWholeView()->recordset(),
            lom::fieldCatalogue(), itemNumber(cboFind_[0]), text(cboFind_[1]), itemNumber(cboFind_[2]), eic));
        associate_.searched();
    } catch (const std::exception&) {
        // A search that cannot be built leaves the results as they were.
    }
    showAssociateState();
}

// ---- Association -----------------------------------------------------------------

void FrmToolBox::FilllocalGrid()
{
    auto& state = shell::shellState();
    recEdit_->setProjectViewLoaded(true);
    lom::BuildToolBoxCatalogue(lom::fieldCatalogue(), state.DBaseName);
    FillFieldLists();
    dialogs::FrmProgress progressWindow;
    progressWindow.load();
    dialogs::PanelProgress progress(progressWindow.qpnPbar());
    const lom::BuildResult built = BuildProjectView(
        state.DBaseName, state.TempDir, lom::fieldCatalogue(), progress, shell::Messages());
    if (!built.built) {
        lom::DeleteTempDatabase(built.tempDbName);
        return;
    }
    const std::string previous = recEdit_->projectViewDbName();
    recEdit_->setProjectViewDbName(built.tempDbName);
    std::string error;
    if (!recEdit_->SortAndFill(projectView_.query(), &error))
        report(error);
    // The grid has let go of the earlier view: nothing refers to it any more.
    if (!previous.empty() && previous != built.tempDbName)
        lom::DeleteTempDatabase(previous);
    optManAut_[1]->setChecked(true);
    optManAut_Click(1);
}

void FrmToolBox::cmdAssUpd(bool bothSelected)
{
    associate_.selectRecord(associate_.eic(), bothSelected);
    showAssociateState();
}

void FrmToolBox::deviceSelected(const std::string& part, bool bothSelected)
{
    if (associate_.selectDevice(part, bothSelected))
        lstSuggest_->clear();
    showAssociateState();
}

void FrmToolBox::recordSelected(const std::optional<std::string>& eic, bool bothSelected)
{
    associate_.selectRecord(eic, bothSelected);
    showAssociateState();
}

void FrmToolBox::showAssociateState()
{
    optManAut_[associate_.mode() == AssociateMode::Manual ? 1 : 0]->setChecked(true);
    if (txtEIC_->text().toStdString() != associate_.eic())
        txtEIC_->setText(QString::fromStdString(associate_.eic()));
    txtEIC_->setEnabled(associate_.eicBoxEnabled());
    for (QComboBox* box : cboFind_)
        box->setEnabled(associate_.mode() == AssociateMode::Automatic);
    cmdFind_->setEnabled(associate_.canFind());
    cmdAssociate_[0]->setEnabled(associate_.canAssociate(AssociateMode::Automatic));
    cmdAssociate_[1]->setEnabled(associate_.canAssociate(AssociateMode::Manual));
    cmdAssociate_[0]->setToolTip(associate_.searchIsStale()
            ? QString::fromStdString(FormatMessage("Click Find for the selected device first.", "61616", {}))
            : QString());
    lblWeak_->setVisible(associate_.onlyWeakSuggestions());
}

void FrmToolBox::optManAut_Click(int i)
{
    const bool manual = i == 1;
    associate_.setMode(manual ? AssociateMode::Manual : AssociateMode::Automatic);
    showAssociateState();
    if (manual && recEdit_->projectViewLoaded()) {
        const std::string eic
            = recEdit_->eicFieldName().empty() ? lom::lomState().eicFieldName : recEdit_->eicFieldName();
        recEdit_->SearchAndFill(WholeEidQuery(eic));
    }
}

void FrmToolBox::cmdAssociate_Click(int i)
{
    grid::DataSource* view = recEdit_->datWholeView();
    grid::DataSource* results = recEdit_->datSearchRes();
    db::Recordset* pv = view->recordset();
    db::Recordset* sr = results->recordset();
    if (!pv || !sr)
        return;
    const std::string eic
        = recEdit_->eicFieldName().empty() ? lom::lomState().eicFieldName : recEdit_->eicFieldName();
    const long position = pv->absolutePosition();
    try {
        if (i == 0) {
            if (!AssociateAutomatic(*pv, *sr, eic))
                return;
        } else {
            const ManualOutcome outcome = AssociateManual(*pv, *sr, eic, text(txtEIC_), shell::Messages());
            if (outcome == ManualOutcome::Associated)
                results->notifyRecordChanged();
            if (outcome != ManualOutcome::Associated && outcome != ManualOutcome::AssociatedWithoutRecord)
                return;
        }
    } catch (const std::exception& e) {
        if (pv->editMode() != db::EditMode::None)
            pv->cancelUpdate();
        report(e.what());
        return;
    }
    // The grid reads the changed row again.
    view->refresh();
    view->setPosition(position);
}

void FrmToolBox::cmdUpdate_Click()
{
    db::Database* projectView = recEdit_->datWholeView()->database();
    if (!projectView)
        return;
    // The user sees every code that will change, and agrees, before anything
    // is written; the update ends with what it did.
    std::vector<kernel::EicChange> plan;
    try {
        plan = PlanProjectLibraryUpdate(*projectView);
        if (!ConfirmProjectLibraryUpdate(plan, shell::Messages()))
            return;
    } catch (const std::exception& e) {
        report(e.what());
        return;
    }
    LibraryUpdateResult result;
    {
        dialogs::FrmProgress progressWindow;
        progressWindow.load();
        dialogs::PanelProgress progress(progressWindow.qpnPbar());
        try {
            result = UpdateProjectLibrary(*projectView, progress, shell::Messages());
        } catch (const std::exception& e) {
            report(e.what());
            return;
        }
    }
    ReportProjectLibraryUpdate(plan.size(), result, shell::Messages());
    // A project made from KiCad schematics can take the codes back there.
    if (!result.cancelled)
        kernel::offerDesignWrite(shell::Messages());
}

// ---- Suggestions and integrity -------------------------------------------------------

void FrmToolBox::cmdSuggest_Click()
{
    lstSuggest_->clear();
    associate_.setSuggestions({});
    db::Recordset* pv = recEdit_->datWholeView()->recordset();
    const std::string& eid = shell::shellState().DBaseName;
    if (!pv || !pv->isOpen() || pv->absolutePosition() < 0) {
        showAssociateState();
        return;
    }
    try {
        const std::string part = pv->value(kPartColumn).value_or("");
        if (!suggestIndex_ || suggestEid_ != eid) {
            suggestIndex_.reset();
            suggestRecords_ = std::make_unique<integrity::EidRecords>(integrity::readEidRecords(eid, true));
            suggestIndex_ = std::make_unique<integrity::SuggestionIndex>(*suggestRecords_);
            suggestEid_ = eid;
        }
        std::vector<SuggestedRecord> found;
        for (const auto& device : integrity::readProjectDevices()) {
            if (device.name != part)
                continue;
            for (const auto& s : suggestIndex_->suggest(device, 5))
                found.push_back(
                    { suggestRecords_->eics[s.record], suggestRecords_->texts[s.record], s.score });
        }
        associate_.setSuggestions(std::move(found));
    } catch (const std::exception& e) {
        report(e.what());
    }
    showSuggestions();
}

void FrmToolBox::showSuggestions()
{
    lstSuggest_->clear();
    for (const SuggestedRecord& s : associate_.suggestions()) {
        auto* item
            = new QListWidgetItem(QString("%1  %2  %3")
                                      .arg(s.score, 5, 'f', 1)
                                      .arg(QString::fromStdString(s.code), QString::fromStdString(s.text)),
                lstSuggest_);
        item->setData(Qt::UserRole, QString::fromStdString(s.code));
    }
    if (associate_.suggestions().empty()) {
        lstSuggest_->addItem(
            QString::fromStdString(FormatMessage("(no record shares a word with this device)", "61617", {})));
    } else {
        // A weak best match is not chosen for the user: the list gets the
        // focus with no row selected, and the warning shows.
        lstSuggest_->setCurrentRow(associate_.preselected(), QItemSelectionModel::ClearAndSelect);
        if (associate_.preselected() < 0)
            lstSuggest_->clearSelection();
        lstSuggest_->setFocus();
    }
    showAssociateState();
}

void FrmToolBox::lstSuggest_Activated()
{
    const QListWidgetItem* item = lstSuggest_->currentItem();
    if (!item || !item->isSelected() || item->data(Qt::UserRole).toString().isEmpty())
        return;
    optManAut_[1]->setChecked(true);
    optManAut_Click(1);
    associate_.setEic(item->data(Qt::UserRole).toString().toStdString());
    showAssociateState();
    txtEIC_->setFocus();
}

void FrmToolBox::cmdCheck_Click()
{
    const std::string& eid = shell::shellState().DBaseName;
    tblFindings_->setRowCount(0);
    findings_.clear();
    try {
        const auto report
            = integrity::checkIntegrity(integrity::readProjectDevices(), integrity::readEidRecords(eid, false));
        findings_ = FindingRows(report);
        lblSummary_->setText(QString::fromStdString(IntegritySummary(report)));
    } catch (const std::exception& e) {
        lblSummary_->setText(QString::fromStdString(e.what()));
        return;
    }
    tblFindings_->setRowCount(static_cast<int>(findings_.size()));
    for (std::size_t r = 0; r < findings_.size(); ++r) {
        const FindingRow& f = findings_[r];
        const std::string* cells[4] = { &f.finding, &f.devices, &f.codes, &f.detail };
        for (int c = 0; c < 4; ++c)
            tblFindings_->setItem(
                static_cast<int>(r), c, new QTableWidgetItem(QString::fromStdString(*cells[c])));
    }
    tblFindings_->resizeColumnsToContents();
}

void FrmToolBox::tblFindings_Activated(int row)
{
    if (row < 0 || row >= static_cast<int>(findings_.size()))
        return;
    const FindingRow& f = findings_[static_cast<std::size_t>(row)];
    if (!f.device.empty())
        recEdit_->SelectDevice(f.device);
    else if (!f.code.empty())
        recEdit_->SelectRecord(f.code);
}

// ---- Record maintenance ---------------------------------------------------------------

void FrmToolBox::cmdAdd_Click()
{
    if (editPending_ || recEdit_->editPending()) {
        recEdit_->CommitPendingEdit();
        return;
    }
    const AskValue ask = [](const std::string& prompt) {
        std::vector<std::string> values { "" };
        long index = 0;
        return dialogs::QueryBox(shell::kAppName, prompt, values, 1, index);
    };
    BrowseTab browse(*recEdit_->datReced());
    const AddResult r = browse.add(shell::shellState().DBaseName, ask, shell::Messages());
    if (r.outcome == AddOutcome::Added)
        recEdit_->dbgRecEd()->table()->setFocus();
}

void FrmToolBox::cmdDelete_Click()
{
    try {
        BrowseTab(*recEdit_->datReced()).remove(shell::Messages());
    } catch (const std::exception& e) {
        report(e.what());
    }
}

void FrmToolBox::cmdMove_Click(int i)
{
    BrowseTab(*recEdit_->datReced()).move(static_cast<MoveCommand>(i));
    txtMove_->setFocus();
}

void FrmToolBox::txtMove_Enter()
{
    if (recEdit_->datReced()->recordset())
        txtMove_->setText(QString::number(BrowseTab(*recEdit_->datReced()).jump(text(txtMove_))));
}

std::string FrmToolBox::recordStatus() const
{
    return eidView_.status(BrowseTab(*recEdit_->datReced()).state(recEdit_->eicFieldName()).records);
}

void FrmToolBox::followRecord()
{
    const BrowseState s = BrowseTab(*recEdit_->datReced()).state(recEdit_->eicFieldName());
    txtMove_->setReadOnly(false);
    cmdAdd_->setEnabled(true);
    editPending_ = false;
    setAddCaption(false);
    eidView_.setEditPending(false);
    cmdFilter_->setEnabled(eidView_.canFilter());
    cmdFile_->setEnabled(eidView_.canChooseFile());
    txtMove_->setText(QString::number(s.position));
    cmdMove_[0]->setEnabled(s.backEnabled);
    cmdMove_[1]->setEnabled(s.backEnabled);
    cmdMove_[2]->setEnabled(s.forwardEnabled);
    cmdMove_[3]->setEnabled(s.forwardEnabled);
    cmdDelete_->setEnabled(s.deleteEnabled);
    txtField_->setText(QString::fromStdString(s.eic));
    if (s.editPending)
        enterEditPending();
    editPending_ = s.editPending;
}

void FrmToolBox::enterEditPending()
{
    for (QPushButton* b : cmdMove_)
        b->setEnabled(false);
    setAddCaption(true);
    editPending_ = true;
    txtMove_->setReadOnly(true);
    eidView_.setEditPending(true);
    cmdFilter_->setEnabled(eidView_.canFilter());
    cmdFile_->setEnabled(eidView_.canChooseFile());
}

// ---- The EID file ---------------------------------------------------------------------

void FrmToolBox::cmdFile_Click()
{
    auto& state = shell::shellState();
    shell::FileRequest request { false, QString::fromStdString(state.LibDir), "Part.Eid", "eid",
        "External Index Files (*.eid);;All Files (*)" };
    request.readOnly = true;
    request.serverName = true; // a team's EID on a server opens by its URI
    const std::string chosen = shell::ChooseFile(this, request, chooser()).value_or(QString()).toStdString();
    // The file the grid has open would fail the exclusive recognition test,
    // so the same name is settled first.
    if (eidView_.judge(chosen, false) == EidViewTab::Choice::Unchanged)
        return;
    if (eidView_.judge(chosen, eid::IsEidDatabase(chosen)) == EidViewTab::Choice::Refused) {
        UserMessage m;
        m.kind = MessageKind::Critical;
        m.id = "5457";
        m.text = HostUtility::instance().GetLocalMessage("Cannot identify database format!", "5457");
        shell::Messages().show(m);
        return;
    }
    shell::ShowFileName(qpnFile_, QString::fromStdString(db::nameWithoutPassword(chosen)));
    state.DBaseName = chosen;
    lom::BuildToolBoxCatalogue(lom::fieldCatalogue(), state.DBaseName);
    FillFieldLists();
    if (recEdit_->tabMain()->currentIndex() == 0)
        cmdFilter_Click();
    if (recEdit_->tabMain()->currentIndex() == 1)
        FilllocalGrid();
    else
        recEdit_->setProjectViewLoaded(false);
    recEdit_->tabMain()->setTabEnabled(1, FrmRecEdit::projectOpen());
    cmdAdd_->setEnabled(true);
    txtMove_->setEnabled(true);
}

void FrmToolBox::closeEvent(QCloseEvent* event)
{
    // Never closed by the user: hidden, and shown again from the record editor.
    event->ignore();
    hide();
}

bool FrmToolBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, box, [box] { box->selectAll(); });
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace rav::recedit
