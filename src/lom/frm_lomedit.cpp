#include "frm_lomedit.h"

#include "form_helpers.h"
#include "frm_preview.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_profile.h"
#include "modules.h"
#include "panel_progress.h"
#include "shell_services.h"
#include "shell_state.h"
#include "show_message.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QSpinBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace rav::lom
{

namespace
{

shell::FileChooser& chooser()
{
    static shell::FileChooser c;
    return c;
}

const shell::ModuleRegistrar registrar(shell::ModuleKind::LomWizard, [] { return new FrmLomedit; });

} // namespace

void FrmLomedit::setFileChooser(shell::FileChooser c)
{
    chooser() = std::move(c);
}

FrmLomedit::FrmLomedit(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("frmLomedit");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Dodiv 2000 - List of Material Wizard");
    setProperty(shell::kTagProperty, "916100");

    auto* outer = new QVBoxLayout(this);
    for (int i = 0; i < kPageCount; ++i) {
        qpnCreateLOM_[i] = new ZerOvize(this);
        qpnCreateLOM_[i]->setObjectName(QString("qpnCreateLOM_%1").arg(i));
        outer->addWidget(qpnCreateLOM_[i], 1);
    }

    // Page 0: the EID and the project.
    {
        auto* page = qpnCreateLOM_[0];
        auto* g = new QGridLayout(page);
        lblCaption_[0] = shell::Title("List of Material Editor", page, "lblCaption_0", "916102");
        lblDescrip_[0]
            = shell::Label("Using Dodiv 2000 - List of Material wizard, you may create a list by selecting "
                           "the required fields from the EID file and the Project database. Select an EID "
                           "file for use with the current project and click &Next to continue.",
                page, "lblDescrip_0", "916103");
        // The EID's name may be typed (a file or a server URI) as well as chosen.
        txtEidFile_ = new QLineEdit(page);
        txtEidFile_->setObjectName("txtEidFile");
        qpnProject_ = shell::FileNamePanel(page, "qpnFileName_1");
        cmdFile_[0] = shell::Button("...", page, "cmdFile_0");
        g->addWidget(shell::Label("Step 1 of 3", page, "lblStep_0", "5491"), 0, 0, 1, 3);
        g->addWidget(lblCaption_[0], 1, 0, 1, 3);
        g->addWidget(lblDescrip_[0], 2, 0, 1, 3);
        g->addWidget(shell::Label("EID File:", page, "lblEidFile", "916104"), 3, 0);
        g->addWidget(txtEidFile_, 3, 1);
        g->addWidget(cmdFile_[0], 3, 2);
        g->addWidget(shell::Label("Current Project:", page, "lblProject", "916105"), 4, 0);
        g->addWidget(qpnProject_, 4, 1, 1, 2);
        g->setRowStretch(5, 1);
        g->setColumnStretch(1, 1);
    }
    // Page 1: fields, sort field, delimiter, LOM file.
    {
        auto* page = qpnCreateLOM_[1];
        auto* g = new QGridLayout(page);
        lblCaption_[1] = shell::Title("Select field names and sort field:", page, "lblCaption_1", "916106");
        lblDescrip_[1] = shell::Label(
            "Select the required items to be added in List of Materials", page, "lblDescrip_1", "916107");
        for (int i = 0; i < 2; ++i) {
            lstFields_[i] = new QListWidget(page);
            lstFields_[i]->setObjectName(QString("lstFields_%1").arg(i));
            lstFields_[i]->setSelectionMode(QAbstractItemView::ExtendedSelection);
            lstFields_[i]->installEventFilter(this);
            lstFields_[i]->viewport()->installEventFilter(this);
        }
        cmdAddDel_[0] = shell::Button(">", page, "cmdAddDel_0");
        cmdAddDel_[1] = shell::Button("<", page, "cmdAddDel_1");
        cmdAddDel_[0]->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
        cmdAddDel_[1]->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
        cmdAddDel_[0]->setText(QString());
        cmdAddDel_[1]->setText(QString());
        cmdAddDel_[0]->setToolTip(shell::Msg("Add the selected fields", "916116"));
        cmdAddDel_[1]->setToolTip(shell::Msg("Remove the selected fields", "916117"));
        auto* arrows = new QVBoxLayout;
        arrows->addStretch();
        arrows->addWidget(cmdAddDel_[0]);
        arrows->addWidget(cmdAddDel_[1]);
        arrows->addStretch();
        // Up and down move the selected chosen fields, so the columns come
        // in the order wanted without removing and adding again.
        auto* order = new QVBoxLayout;
        order->addStretch();
        for (int i = 0; i < 2; ++i) {
            cmdMove_[i] = shell::Button(QString(), page, i == 0 ? "cmdMove_0" : "cmdMove_1");
            cmdMove_[i]->setIcon(style()->standardIcon(i == 0 ? QStyle::SP_ArrowUp : QStyle::SP_ArrowDown));
            cmdMove_[i]->setToolTip(i == 0 ? shell::Msg("Move the selected fields up", "916129")
                                           : shell::Msg("Move the selected fields down", "916130"));
            order->addWidget(cmdMove_[i]);
        }
        order->addStretch();
        cboFields_ = new QComboBox(page);
        cboFields_->setObjectName("cboFields");
        cboDelimit_ = new QComboBox(page);
        cboDelimit_->setObjectName("cboDelimit");
        cboDelimit_->setEditable(true);
        cboDelimit_->addItems({ "TAB", "SPACE", ";", ",", ":" });
        cboDelimit_->setInsertPolicy(QComboBox::NoInsert);
        cboDelimit_->setEditText("|");
        // The LOM file's name may be typed as well as chosen.
        txtLomFile_ = new QLineEdit(page);
        txtLomFile_->setObjectName("txtLomFile");
        cmdFile_[1] = shell::Button("...", page, "cmdFile_1");
        g->addWidget(shell::Label("Step 2 of 3", page, "lblStep_1", "5480"), 0, 0, 1, 3);
        g->addWidget(lblCaption_[1], 1, 0, 1, 3);
        g->addWidget(lblDescrip_[1], 2, 0, 1, 3);
        g->addWidget(shell::Label("Available fields", page, "lblAvailable", "916108"), 3, 0);
        g->addWidget(shell::Label("Selected fields", page, "lblSelected", "916109"), 3, 2);
        g->addWidget(lstFields_[0], 4, 0);
        g->addLayout(arrows, 4, 1);
        g->addWidget(lstFields_[1], 4, 2);
        g->addLayout(order, 4, 3);
        auto* options = new QGridLayout;
        options->addWidget(shell::Label("Sort with Field:", page, "lblSort", "916110"), 0, 0);
        options->addWidget(cboFields_, 0, 1);
        options->addWidget(shell::Label("Delimiter to Use:", page, "lblDelimit", "916111"), 0, 2);
        options->addWidget(cboDelimit_, 0, 3);
        options->addWidget(shell::Label("Save LOM As:", page, "lblSaveAs", "916112"), 1, 0);
        options->addWidget(txtLomFile_, 1, 1, 1, 2);
        options->addWidget(cmdFile_[1], 1, 3, Qt::AlignLeft);
        options->setColumnStretch(1, 1);
        g->addLayout(options, 5, 0, 1, 4);
        g->setRowStretch(4, 1);
        g->setColumnStretch(0, 1);
        g->setColumnStretch(2, 1);
    }
    // Page 2: summary, preview, progress.
    {
        auto* page = qpnCreateLOM_[2];
        auto* v = new QVBoxLayout(page);
        label3_ = shell::Title("The wizard now has all the required information", page, "Label3", "54109");
        lblOpDescr_[0] = shell::Label("Click &Next to create List of Materials", page, "lblOpDescr_0", "916113");
        lblOpDescr_[1] = shell::Label(
            "Use the &Show Preview button to view the List of Materials created", page, "lblOpDescr_1", "916114");
        lblOpDescr_[0]->setTextFormat(Qt::PlainText);
        lblOpDescr_[1]->setTextFormat(Qt::PlainText);
        cmdPvw_ = shell::Button("&Show Preview", page, "cmdPvw", "54111");
        cmdPvw_->setEnabled(false);
        chkGroup_ = shell::Tagged(
            new QCheckBox("&Group equal parts on one line, with quantity and part names", page), "chkGroup", "916115");
        chkGroup_->setToolTip(shell::Msg("Parts with the same External Index Code (else the same value and package) "
                                         "share one line: quantity, part names as ranges (C1-C4, C7), then the fields",
            "916118"));
        qpnPbar_ = new ZerOvize(page);
        qpnPbar_->setObjectName("qpnPbar");
        qpnPbar_->setMinimumHeight(24);
        v->addWidget(shell::Label("Step 3 of 3", page, "lblStep_2", "54108"));
        v->addWidget(label3_);
        v->addWidget(lblOpDescr_[0]);
        v->addWidget(chkGroup_);
        // What the command line offers too: an assembler profile, boards,
        // do-not-place parts and the buyer's checks.
        auto* more = new QGridLayout;
        cboProfile_ = new QComboBox(page);
        cboProfile_->setObjectName("cboProfile");
        cboProfile_->addItem(shell::Msg("(none: the chosen fields)", "916131"));
        for (const Profile& p : ListProfiles())
            cboProfile_->addItem(QString::fromStdString(p.name + " - " + p.description), QString::fromStdString(p.name));
        spnBoards_ = new QSpinBox(page);
        spnBoards_->setObjectName("spnBoards");
        spnBoards_->setRange(1, 1000000);
        cboDnp_ = new QComboBox(page);
        cboDnp_->setObjectName("cboDnp");
        cboDnp_->addItems({ shell::Msg("listed", "916132"), shell::Msg("left out", "916133"),
            shell::Msg("listed apart", "916134") });
        chkCheck_ = shell::Tagged(new QCheckBox("Chec&k the list as a buyer would", page), "chkCheck", "916135");
        const char* const captions[][3] = { { "Assembler &profile:", "916136", "lblProfile" },
            { "Boa&rds (multiplier):", "916137", "lblBoards" }, { "&Do-not-place parts:", "916138", "lblDnp" } };
        QWidget* const fields[] = { cboProfile_, spnBoards_, cboDnp_ };
        for (int r = 0; r < 3; ++r) {
            auto* label = shell::Tagged(new QLabel(captions[r][0], page), captions[r][2], captions[r][1]);
            label->setBuddy(fields[r]);
            more->addWidget(label, r, 0);
            more->addWidget(fields[r], r, 1);
        }
        more->addWidget(chkCheck_, 3, 0, 1, 2);
        more->setColumnStretch(1, 1);
        v->addLayout(more);
        v->addStretch();
        v->addWidget(lblOpDescr_[1]);
        v->addWidget(cmdPvw_, 0, Qt::AlignLeft);
        v->addStretch();
        v->addWidget(qpnPbar_);
    }
    // Navigation.
    {
        picBrwse_ = new QWidget(this);
        picBrwse_->setObjectName("picBrwse");
        auto* h = new QHBoxLayout(picBrwse_);
        h->setContentsMargins(0, 0, 0, 0);
        cmdBrwse_[0] = shell::Button("<< &Back", picBrwse_, "cmdBrwse_0", "5477");
        cmdBrwse_[1] = shell::Button("&Next >>", picBrwse_, "cmdBrwse_1", "5478");
        cmdBrwse_[2] = shell::Button("&Cancel", picBrwse_, "cmdBrwse_2", "9915");
        cmdHelp_ = shell::Button("&Help", this, "cmdHelp", "9944");
        h->addStretch();
        for (auto* b : cmdBrwse_)
            h->addWidget(b);
        auto* bottom = new QHBoxLayout;
        bottom->addWidget(cmdHelp_);
        bottom->addWidget(picBrwse_, 1);
        outer->addLayout(bottom);
        cmdBrwse_[0]->setEnabled(false);
        cmdBrwse_[1]->setEnabled(false);
    }

    for (int i = 0; i < 2; ++i) {
        connect(cmdFile_[i], &QPushButton::clicked, this, [this, i] { cmdFile_Click(i); });
        connect(cmdAddDel_[i], &QPushButton::clicked, this, [this, i] { cmdAddDel_Click(i); });
        connect(lstFields_[i], &QListWidget::itemDoubleClicked, this, [this, i] { cmdAddDel_Click(i); });
    }
    for (int i = 0; i < 3; ++i)
        connect(cmdBrwse_[i], &QPushButton::clicked, this, [this, i] { cmdBrwse_Click(i); });
    connect(cmdPvw_, &QPushButton::clicked, this, [this] { cmdPvw_Click(); });
    // A name typed by hand has not been through the dialog's question
    // before replacing a file; finishing asks it then.
    connect(txtEidFile_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.typeEid(text.toStdString());
        refreshButtons();
    });
    connect(txtLomFile_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.setOutputFile(text.toStdString(), false);
        cboDelimit_->setEnabled(model_.delimiterEnabled());
        refreshButtons();
    });
    connect(cmdMove_[0], &QPushButton::clicked, this, [this] { moveChosen(-1); });
    connect(cmdMove_[1], &QPushButton::clicked, this, [this] { moveChosen(1); });
    connect(cboFields_, &QComboBox::activated, this,
        [this](int index) { model_.setSortField(cboFields_->itemData(index).toInt()); });
    connect(cboDelimit_, &QComboBox::editTextChanged, this,
        [this](const QString& text) { model_.setDelimiterText(text.toStdString()); });
    connect(chkGroup_, &QCheckBox::toggled, this, [this](bool on) { model_.group = on; });
    connect(cboProfile_, &QComboBox::currentIndexChanged, this,
        [this] { model_.profile = cboProfile_->currentData().toString().toStdString(); });
    connect(spnBoards_, &QSpinBox::valueChanged, this, [this](int boards) { model_.multiplier = boards; });
    connect(cboDnp_, &QComboBox::currentIndexChanged, this,
        [this](int index) { model_.dnp = static_cast<DnpMode>(index); });
    connect(chkCheck_, &QCheckBox::toggled, this, [this](bool on) { model_.check = on; });
    connect(cmdHelp_, &QPushButton::clicked, this, [] { shell::SetHelpTopic(0, 0, 0, 0, true); });

    // Tab walks each page's content first, then the buttons at the bottom.
    {
        QWidget* const order[] = { txtEidFile_, cmdFile_[0], lstFields_[0], cmdAddDel_[0], cmdAddDel_[1], lstFields_[1],
            cmdMove_[0], cmdMove_[1], cboFields_, cboDelimit_, txtLomFile_, cmdFile_[1], chkGroup_, cboProfile_,
            spnBoards_, cboDnp_, chkCheck_, cmdPvw_, cmdBrwse_[0], cmdBrwse_[1], cmdBrwse_[2], cmdHelp_ };
        for (std::size_t i = 1; i < std::size(order); ++i)
            setTabOrder(order[i - 1], order[i]);
    }

    // Form_Load: fonts and texts, the first page, centred on the screen.
    shell::LocaliseForm(this);
    shell::ShowFileName(qpnProject_, QString::fromStdString(LomWizardModel::projectText()));
    chkGroup_->setChecked(model_.group);
    refresh();
    resize(620, 440);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
}

FrmLomedit::~FrmLomedit()
{
    // The unload: the temporary database of the last build goes.
    DeleteTempDatabase(lomState().tempDbName);
}

void FrmLomedit::refresh()
{
    const QString eid = QString::fromStdString(model_.eid());
    if (txtEidFile_->text().trimmed() != eid)
        txtEidFile_->setText(eid);
    const QString output = QString::fromStdString(model_.outputFile());
    if (txtLomFile_->text().trimmed() != output)
        txtLomFile_->setText(output);
    cboDelimit_->setEnabled(model_.delimiterEnabled());
    const QString delimiter = QString::fromStdString(model_.delimiterText());
    if (cboDelimit_->currentText() != delimiter)
        cboDelimit_->setEditText(delimiter);
    if (model_.step() == Step::Finish)
        shell::SetLabelCaption(lblOpDescr_[0], QString::fromStdString(model_.summary()));
    refreshLists();
    refreshButtons();
    // The page is shown last, so it is laid out with its new texts.
    const int k = static_cast<int>(model_.step());
    for (int i = 0; i < kPageCount; ++i)
        qpnCreateLOM_[i]->setVisible(i == k);
}

void FrmLomedit::refreshLists()
{
    const auto fill = [](QListWidget* list, const std::vector<LomWizardModel::Field>& fields) {
        list->clear();
        for (const auto& f : fields) {
            auto* item = new QListWidgetItem(QString::fromStdString(f.caption), list);
            item->setData(Qt::UserRole, f.number);
        }
    };
    fill(lstFields_[0], model_.available());
    fill(lstFields_[1], model_.chosen());
    cboFields_->clear();
    for (const auto& f : model_.chosen())
        cboFields_->addItem(QString::fromStdString(f.caption), f.number);
    cboFields_->setCurrentIndex(cboFields_->findData(model_.sortField()));
    refreshTooltip(lstFields_[0]);
    refreshTooltip(lstFields_[1]);
}

void FrmLomedit::refreshButtons()
{
    cmdBrwse_[0]->setEnabled(!busy_ && model_.canBack());
    cmdBrwse_[1]->setEnabled(!busy_ && model_.canNext());
    cmdPvw_->setEnabled(!busy_ && model_.canPreview());
}

void FrmLomedit::setBusy(bool busy)
{
    busy_ = busy;
    for (QWidget* w : std::initializer_list<QWidget*> { chkGroup_, cboProfile_, spnBoards_, cboDnp_, chkCheck_ })
        w->setEnabled(!busy);
    refreshButtons();
}

std::vector<int> FrmLomedit::selectedRows(const QListWidget* list) const
{
    std::vector<int> rows;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            rows.push_back(i);
    return rows;
}

void FrmLomedit::moveChosen(int delta)
{
    const std::vector<int> now = model_.move(selectedRows(lstFields_[1]), delta);
    refreshLists();
    for (int r : now)
        lstFields_[1]->item(r)->setSelected(true);
}

void FrmLomedit::cmdFile_Click(int index)
{
    const QString libDir = QString::fromStdString(shell::shellState().LibDir);
    if (index == 0) {
        const auto chosen = shell::ChooseFile(this,
            { false, libDir, "Part.eid", "eid", "External Info Database Files (*.eid);;All Files (*.*)" },
            chooser());
        if (!chosen)
            return;
        model_.setEid(chosen->toStdString());
    } else {
        // The LOM file goes beside the project unless one was chosen before.
        const QString shown = QString::fromStdString(model_.outputFile());
        const QString folder = !shown.isEmpty() ? QFileInfo(shown).absolutePath()
            : *Z_ProjectPath()                  ? QFileInfo(QString::fromUtf8(Z_ProjectPath())).absolutePath()
                                                : libDir;
        const auto chosen = shell::ChooseFile(this,
            { true, folder, shown.isEmpty() ? "LOM.txt" : QFileInfo(shown).fileName(), "txt",
                "List of Material text Files (*.txt);;CSV Files (*.csv);;Excel Workbooks (*.xlsx);;"
                "Web Pages (*.html);;All Files (*.*)" },
            chooser());
        if (!chosen)
            return;
        model_.setOutputFile(chosen->toStdString(), true);
    }
    refresh();
}

void FrmLomedit::cmdBrwse_Click(int index)
{
    const int current = static_cast<int>(model_.step());
    if (index == 2) {
        // During work Cancel stops it; the wizard stays.
        if (model_.cancel()) {
            shell::ReturnToMainForm();
            close();
        }
        return;
    }
    if (busy_)
        return;
    if (index == 1 && model_.step() == Step::Finish) {
        finish();
        return;
    }
    if (model_.go(index == 0 ? current - 1 : current + 1)) {
        refresh();
    } else if (model_.step() == Step::Eid && !model_.canNext()) {
        // A typed name that is no EID: said, and the page stays for another.
        shell::Messages().show({ MessageKind::Exclamation, "916142",
            FormatMessage("%1 is not an External Info Database.", "916142", { model_.eid() }), "" });
        refreshButtons();
    }
}

void FrmLomedit::finish()
{
    setBusy(true);
    dialogs::PanelProgress progress(qpnPbar_);
    const auto outcome = model_.finish(progress, shell::Messages());
    setBusy(false);
    refresh();
    if (outcome != LomWizardModel::Outcome::Done)
        return; // said why (or cancelled); every choice stays for another try
    shell::ReturnToMainForm();
    close();
    ReportWritten();
}

void FrmLomedit::cmdAddDel_Click(int index)
{
    if (index == 0) {
        const std::vector<int> before = selectedRows(lstFields_[1]);
        model_.add(selectedRows(lstFields_[0]), before.empty() ? -1 : before.front());
    } else {
        model_.remove(selectedRows(lstFields_[1]));
    }
    refreshLists();
    refreshButtons();
}

void FrmLomedit::refreshTooltip(QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    list->setToolTip(item ? item->text() : QString());
}

QString FrmLomedit::makeQueryString()
{
    const LomQuery q = model_.makeQuery();
    cboDelimit_->setEditText(QString::fromStdString(model_.delimiterText()));
    lomQuery_ = QString::fromStdString(q.sql);
    lomDelimiter_ = QString::fromStdString(q.delimiter);
    selectedCaptions_ = q.captions;
    return lomQuery_;
}

void FrmLomedit::ReportWritten()
{
    const std::string out = model_.job().outputFile;
    const int answer = shell::Messages().choose(model_.writtenReport(),
        { shell::Msg("Open &file", "916015").toStdString(), shell::Msg("Open f&older", "916016").toStdString() });
    if (answer == 0)
        shell::OpenOnDesktop(QString::fromStdString(out));
    else if (answer == 1)
        shell::OpenOnDesktop(QFileInfo(QString::fromStdString(out)).absolutePath());
}

void FrmLomedit::cmdPvw_Click()
{
    if (busy_)
        return;
    LomTable lines;
    {
        // The lines are read while the wizard is still on screen, so the
        // progress bar and Cancel serve the whole wait.
        setBusy(true);
        dialogs::PanelProgress progress(qpnPbar_);
        const auto outcome = model_.previewLines(progress, shell::Messages(), lines);
        setBusy(false);
        refresh();
        if (outcome == LomWizardModel::Outcome::Unreadable)
            shell::ShowPlainMessage(
                HostUtility::instance().GetLocalMessage("Unable to display Preview", "5447"), MessageKind::Critical);
        if (outcome != LomWizardModel::Outcome::Done)
            return; // the build has said why, or Cancel stopped it
    }
    makeQueryString();
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide();
    {
        // The preview shows the lines of the output as chosen now; a header
        // click re-sorts the output itself, so the sort box follows it.
        dialogs::FrmPreview preview(this);
        preview.onHeaderClick = [this, &preview](int column) {
            if (!model_.sortByColumn(column))
                return;
            refreshLists();
            makeQueryString();
            NullProgressSink quiet;
            LomTable sorted;
            if (model_.previewLines(quiet, shell::Messages(), sorted) == LomWizardModel::Outcome::Done) {
                preview.showLines(sorted.headers, sorted.rows, model_.previewSortColumn(), model_.descending());
                return;
            }
            shell::ShowPlainMessage(
                HostUtility::instance().GetLocalMessage("Unable to display Preview", "5447"), MessageKind::Critical);
            preview.close();
        };
        preview.showLines(lines.headers, lines.rows, model_.previewSortColumn(), model_.descending());
    }
    if (wasVisible)
        show();
}

void FrmLomedit::closeEvent(QCloseEvent* event)
{
    // The close box during work stops the work first, as Cancel does.
    if (!model_.cancel()) {
        event->ignore();
        return;
    }
    shell::ReturnToMainForm();
    event->accept();
}

bool FrmLomedit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        // Enter on a list moves its selected fields across, as a double click does.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            for (int i = 0; i < 2; ++i)
                if (watched == lstFields_[i]) {
                    cmdAddDel_Click(i);
                    return true;
                }
    }
    if (event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            if (key->key() == Qt::Key_A || key->key() == Qt::Key_U) {
                // The chosen list when it is the active control, else the available one.
                QListWidget* list
                    = (watched == lstFields_[1] || lstFields_[1]->hasFocus()) ? lstFields_[1] : lstFields_[0];
                if (key->key() == Qt::Key_A)
                    list->selectAll();
                else
                    list->clearSelection();
                return true;
            }
        }
    } else if (event->type() == QEvent::MouseButtonRelease) {
        for (auto* list : lstFields_)
            if (watched == list->viewport())
                refreshTooltip(list);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace rav::lom
