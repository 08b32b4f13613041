#include "frm_lomedit.h"

#include "eid_format.h"
#include "form_helpers.h"
#include "frm_preview.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_job.h"
#include "lom_output.h"
#include "lom_profile.h"
#include "lom_query.h"
#include "lom_table.h"
#include "modules.h"
#include "panel_progress.h"
#include "placement.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "show_message.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QSettings>
#include <QSpinBox>
#include <QUrl>
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

// The catalogue number an item of the field lists carries.
int numberOf(const QListWidgetItem* item)
{
    return item->data(Qt::UserRole).toInt();
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
        qpnFileName_[0] = shell::FileNamePanel(page, "qpnFileName_0");
        qpnFileName_[1] = shell::FileNamePanel(page, "qpnFileName_1");
        cmdFile_[0] = shell::Button("...", page, "cmdFile_0");
        g->addWidget(shell::Label("Step 1 of 3", page, "lblStep_0", "5491"), 0, 0, 1, 3);
        g->addWidget(lblCaption_[0], 1, 0, 1, 3);
        g->addWidget(lblDescrip_[0], 2, 0, 1, 3);
        g->addWidget(shell::Label("EID File:", page, "lblEidFile", "916104"), 3, 0);
        g->addWidget(qpnFileName_[0], 3, 1);
        g->addWidget(cmdFile_[0], 3, 2);
        g->addWidget(shell::Label("Current Project:", page, "lblProject", "916105"), 4, 0);
        g->addWidget(qpnFileName_[1], 4, 1, 1, 2);
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
    connect(txtLomFile_, &QLineEdit::textChanged, this, [this] {
        showOutputFile(outputFile());
        afterListChange();
    });
    // A name typed by hand has not been through the dialog's question
    // before replacing a file; finishing asks it then.
    connect(txtLomFile_, &QLineEdit::textEdited, this, [this] { outputConfirmed_ = false; });
    connect(cmdMove_[0], &QPushButton::clicked, this, [this] { moveChosen(-1); });
    connect(cmdMove_[1], &QPushButton::clicked, this, [this] { moveChosen(1); });
    // A sort field picked by hand starts in ascending order.
    connect(cboFields_, &QComboBox::activated, this, [this] { descending_ = false; });
    connect(cmdHelp_, &QPushButton::clicked, this, [] { shell::SetHelpTopic(0, 0, 0, 0, true); });

    // Tab walks each page's content first, then the buttons at the bottom.
    {
        QWidget* const order[] = { cmdFile_[0], lstFields_[0], cmdAddDel_[0], cmdAddDel_[1], lstFields_[1],
            cmdMove_[0], cmdMove_[1], cboFields_, cboDelimit_, txtLomFile_, cmdFile_[1], chkGroup_, cboProfile_, spnBoards_, cboDnp_, chkCheck_,
            cmdPvw_, cmdBrwse_[0], cmdBrwse_[1], cmdBrwse_[2],
            cmdHelp_ };
        for (std::size_t i = 1; i < std::size(order); ++i)
            setTabOrder(order[i - 1], order[i]);
    }

    // Form_Load: fonts and texts, the first page, centred on the screen.
    shell::LocaliseForm(this);
    InitWizard();
    ShowStep(0);
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

QString FrmLomedit::fileName(const ZerOvize* panel) const
{
    return panel->caption();
}

QString FrmLomedit::outputFile() const
{
    return txtLomFile_->text().trimmed();
}

QString FrmLomedit::projectText() const
{
    const auto& parts = kernel::ProjectParts::instance();
    return QString::fromStdString(parts.ProjectName() + ".dpz [" + parts.HierarchyName() + "]");
}

void FrmLomedit::InitWizard()
{
    step_ = Step::Eid;
    fieldsLoaded_ = false;
    lomState().lomDatabaseBuilt = false;
    shell::ShowFileName(qpnFileName_[1], projectText());
    restoreOutput();
    const std::string& current = shell::shellState().DBaseName;
    if (eid::IsEidDatabase(current)) {
        cmdBrwse_[1]->setEnabled(true);
        fieldsLoaded_ = QString::fromStdString(current) == fileName(qpnFileName_[0]);
        shell::ShowFileName(qpnFileName_[0], QString::fromStdString(current));
    }
}

void FrmLomedit::ShowStep(int k)
{
    if (k < 0 || k >= kPageCount)
        return;
    for (auto* page : qpnCreateLOM_)
        page->hide();
    qpnCreateLOM_[k]->show();
    cmdBrwse_[0]->setEnabled(k >= 1);
    step_ = static_cast<Step>(k);
}

bool FrmLomedit::PrepareStep(int k)
{
    switch (k) {
    case 0:
        cmdBrwse_[1]->setEnabled(!fileName(qpnFileName_[0]).isEmpty());
        return true;
    case 1: {
        shell::shellState().DBaseName = fileName(qpnFileName_[0]).toStdString();
        if (!fieldsLoaded_)
            FillFieldList();
        const bool ready = !outputFile().isEmpty() && cboFields_->count() >= 1;
        cmdBrwse_[1]->setEnabled(ready);
        cmdPvw_->setEnabled(ready);
        return true;
    }
    case 2:
        shell::SetLabelCaption(lblOpDescr_[0],
            shell::Msg("Click &Next to create the List of Materials", "542") + "\n"
                + shell::Msg("from EID file : ", "543") + fileName(qpnFileName_[0]) + "\n"
                + shell::Msg("and Project : ", "544") + fileName(qpnFileName_[1]) + "\n"
                + shell::Msg("To LOM file : ", "545") + outputFile());
        cmdPvw_->setEnabled(true);
        return true;
    case 3:
        // Next on the last page: the wizard closes only once the file is
        // written; otherwise it says why and keeps every choice for another try.
        if (!outputConfirmed_ && QFileInfo::exists(outputFile())) {
            UserMessage question { MessageKind::Question, "916140",
                FormatMessage("%1 exists. Replace it?", "916140", { outputFile().toStdString() }), "" };
            question.noByDefault = true;
            if (!shell::Messages().confirm(question))
                return false;
            outputConfirmed_ = true;
        }
        picBrwse_->setEnabled(false);
        if (buildIfNeeded()) {
            makeQueryString();
            CreateLomFile();
        }
        picBrwse_->setEnabled(true);
        if (!lastWriteError_.isEmpty())
            return false;
        cmdBrwse_Click(2);
        ReportWritten();
        return false;
    default:
        return true;
    }
}

namespace
{
// The last build's choices are kept per project (keyed by its file), in the
// editor's own settings file.
QString choicesGroup()
{
    return "LomWizard/" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(Z_ProjectPath())));
}
} // namespace

void FrmLomedit::rememberChoices()
{
    QSettings store(QString::fromStdString(shell::PlacementStoreFile().string()), QSettings::IniFormat);
    store.beginGroup(choicesGroup());
    QStringList fields;
    for (int i = 0; i < lstFields_[1]->count(); ++i)
        fields << QString::number(numberOf(lstFields_[1]->item(i)));
    store.setValue("Eid", fileName(qpnFileName_[0]));
    store.setValue("Fields", fields.join(','));
    store.setValue("Sort", cboFields_->currentData().toInt());
    store.setValue("Output", outputFile());
    store.setValue("Delimiter", cboDelimit_->currentText());
    store.setValue("Group", chkGroup_->isChecked());
}

void FrmLomedit::restoreOutput()
{
    QSettings store(QString::fromStdString(shell::PlacementStoreFile().string()), QSettings::IniFormat);
    store.beginGroup(choicesGroup());
    if (!store.contains("Output"))
        return;
    showOutputFile(store.value("Output").toString());
    cboDelimit_->setEditText(store.value("Delimiter", "|").toString());
    chkGroup_->setChecked(store.value("Group", false).toBool());
}

void FrmLomedit::restoreFields()
{
    QSettings store(QString::fromStdString(shell::PlacementStoreFile().string()), QSettings::IniFormat);
    store.beginGroup(choicesGroup());
    // Catalogue numbers name the same fields only in the same EID.
    if (store.value("Eid").toString() != fileName(qpnFileName_[0]))
        return;
    for (const QString& n : store.value("Fields").toString().split(',', Qt::SkipEmptyParts)) {
        for (int i = 0; i < lstFields_[0]->count(); ++i) {
            QListWidgetItem* item = lstFields_[0]->item(i);
            if (numberOf(item) != n.toInt())
                continue;
            cboFields_->addItem(item->text(), numberOf(item));
            lstFields_[1]->addItem(lstFields_[0]->takeItem(i));
            break;
        }
    }
    const int sort = cboFields_->findData(store.value("Sort").toInt());
    cboFields_->setCurrentIndex(sort >= 0 ? sort : (cboFields_->count() > 0 ? 0 : -1));
}

void FrmLomedit::showOutputFile(const QString& name)
{
    if (txtLomFile_->text() != name)
        txtLomFile_->setText(name);
    // Only the text file has a delimiter; tables have their own format.
    cboDelimit_->setEnabled(FormatOfFileName(name.toStdString()) == LomFormat::Text);
}

void FrmLomedit::moveChosen(int delta)
{
    std::vector<int> items;
    std::vector<int> selected;
    for (int i = 0; i < lstFields_[1]->count(); ++i) {
        items.push_back(i);
        if (lstFields_[1]->item(i)->isSelected())
            selected.push_back(i);
    }
    const std::vector<int> now = MoveItems(items, selected, delta);
    // Rebuild both in the new order; the sort field stays the same field.
    const int sort = cboFields_->currentData().toInt();
    std::vector<QListWidgetItem*> taken;
    while (lstFields_[1]->count() > 0)
        taken.push_back(lstFields_[1]->takeItem(0));
    cboFields_->clear();
    for (int from : items) {
        QListWidgetItem* item = taken[static_cast<std::size_t>(from)];
        lstFields_[1]->addItem(item);
        cboFields_->addItem(item->text(), numberOf(item));
    }
    for (int r : now)
        lstFields_[1]->item(r)->setSelected(true);
    cboFields_->setCurrentIndex(cboFields_->findData(sort));
}

void FrmLomedit::FillFieldList()
{
    lstFields_[0]->clear();
    lstFields_[1]->clear();
    cboFields_->clear();
    FieldCatalogue& catalogue = fieldCatalogue();
    BuildLomCatalogue(catalogue, fileName(qpnFileName_[0]).toStdString());
    for (int k = 1; k <= catalogue.size(); ++k) {
        auto* item = new QListWidgetItem(QString::fromStdString(catalogue.entry(k).caption));
        item->setData(Qt::UserRole, k);
        lstFields_[0]->addItem(item);
    }
    restoreFields();
    fieldsLoaded_ = true;
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
        cmdBrwse_[1]->setEnabled(eid::IsEidDatabase(chosen->toStdString()));
        // The same EID keeps what was loaded and built; it does not make
        // lists or a database that were never made count as made.
        const bool same = *chosen == fileName(qpnFileName_[0]);
        fieldsLoaded_ = fieldsLoaded_ && same;
        lomState().lomDatabaseBuilt = lomState().lomDatabaseBuilt && same;
        shell::ShowFileName(qpnFileName_[0], *chosen);
    } else {
        // The LOM file goes beside the project unless one was chosen before.
        const QString shown = outputFile();
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
        cmdBrwse_[1]->setEnabled(!chosen->isEmpty() && lstFields_[1]->count() >= 1);
        showOutputFile(*chosen);
        outputConfirmed_ = true;
    }
}

void FrmLomedit::cmdBrwse_Click(int index)
{
    const int current = static_cast<int>(step_);
    if (index == 0) {
        if (PrepareStep(current - 1))
            ShowStep(current - 1);
    } else if (index == 1) {
        if (PrepareStep(current + 1))
            ShowStep(current + 1);
    } else {
        shell::ReturnToMainForm();
        close();
    }
}

void FrmLomedit::cmdAddDel_Click(int index)
{
    if (index == 0) {
        int position = lstFields_[1]->count();
        for (int i = 0; i < lstFields_[1]->count(); ++i)
            if (lstFields_[1]->item(i)->isSelected()) {
                position = i;
                break;
            }
        for (int i = 0; i < lstFields_[0]->count();) {
            QListWidgetItem* item = lstFields_[0]->item(i);
            if (!item->isSelected()) {
                ++i;
                continue;
            }
            auto* copy = new QListWidgetItem(item->text());
            copy->setData(Qt::UserRole, numberOf(item));
            lstFields_[1]->insertItem(position, copy);
            cboFields_->insertItem(position, item->text(), numberOf(item));
            ++position;
            delete lstFields_[0]->takeItem(i);
        }
    } else {
        for (int i = 0; i < lstFields_[1]->count();) {
            QListWidgetItem* item = lstFields_[1]->item(i);
            if (!item->isSelected()) {
                ++i;
                continue;
            }
            auto* back = new QListWidgetItem(item->text());
            back->setData(Qt::UserRole, numberOf(item));
            lstFields_[0]->addItem(back);
            delete lstFields_[1]->takeItem(i);
            cboFields_->removeItem(i);
        }
    }
    afterListChange();
}

void FrmLomedit::afterListChange()
{
    if (cboFields_->count() > 0 && cboFields_->currentIndex() < 0)
        cboFields_->setCurrentIndex(0);
    cmdBrwse_[1]->setEnabled(!outputFile().isEmpty() && cboFields_->count() >= 1);
    refreshTooltip(lstFields_[0]);
    refreshTooltip(lstFields_[1]);
}

void FrmLomedit::refreshTooltip(QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    list->setToolTip(item ? item->text() : QString());
}

QString FrmLomedit::makeQueryString()
{
    QueryChoice choice;
    for (int i = 0; i < lstFields_[1]->count(); ++i)
        choice.selected.push_back(numberOf(lstFields_[1]->item(i)));
    if (cboFields_->currentIndex() >= 0)
        choice.sortNumber = cboFields_->currentData().toInt();
    choice.descending = descending_;
    choice.delimiterText = cboDelimit_->currentText().toStdString();
    const LomQuery q = lom::makeQueryString(fieldCatalogue(), choice);
    cboDelimit_->setEditText(QString::fromStdString(q.delimiterBoxText));
    lomQuery_ = QString::fromStdString(q.sql);
    lomDelimiter_ = QString::fromStdString(q.delimiter);
    selectedCaptions_ = q.captions;
    return lomQuery_;
}

bool FrmLomedit::buildIfNeeded()
{
    LomState& state = lomState();
    if (state.lomDatabaseBuilt)
        return true;
    const shell::ShellState& shellValues = shell::shellState();
    dialogs::PanelProgress progress(qpnPbar_);
    // The do-not-place marks are read with every build, so the choice on the
    // last page needs no second one.
    BuildOptions options { shellValues.DBaseName, shellValues.TempDir, fieldCatalogue().size() };
    options.markAttribute = LomJobOptions {}.dnpAttribute;
    const BuildResult r = BuildLomDatabase(options, progress, shell::Messages());
    marked_ = r.marked;
    if (!r.tempDbName.empty()) {
        state.tempDbName = r.tempDbName;
        ++builds_;
    }
    if (!r.eicFieldName.empty())
        state.eicFieldName = r.eicFieldName;
    if (r.built)
        state.lomDatabaseBuilt = true;
    lastWriteError_.clear();
    lastWritten_ = {};
    if (!r.built && !r.noParts) {
        lastWriteError_ = QString::fromStdString(r.error.empty() ? "the build failed" : r.error);
        shell::Messages().show({ MessageKind::Exclamation, "916018",
            FormatMessage("The List of Materials could not be built: %1", "916018", { r.error }), "" });
    } else if (r.noParts) {
        lastWriteError_ = shell::Msg("No Part Used", "37122"); // the build has said so
    }
    return r.built;
}

LomJobOptions FrmLomedit::jobOptions() const
{
    LomJobOptions job;
    job.eidFile = shell::shellState().DBaseName;
    job.tempDir = shell::shellState().TempDir;
    job.outputFile = outputFile().toStdString();
    job.format = FormatOfFileName(job.outputFile);
    job.group = chkGroup_->isChecked();
    if (cboProfile_->currentIndex() > 0)
        job.profile = FindProfile(cboProfile_->currentData().toString().toStdString());
    job.multiplier = spnBoards_->value();
    job.dnp = static_cast<DnpMode>(cboDnp_->currentIndex());
    job.check = chkCheck_->isChecked();
    // Boards multiply quantities, which only grouped lines have.
    if (job.multiplier > 1 && !job.profile)
        job.group = true;
    job.quantityHeader = shell::Msg("Quantity", "916127").toStdString();
    job.partsHeader = shell::Msg("Parts", "916128").toStdString();
    for (int i = 0; i < lstFields_[1]->count(); ++i)
        job.fields.push_back(numberOf(lstFields_[1]->item(i)));
    if (cboFields_->currentIndex() >= 0)
        job.sortField = cboFields_->currentData().toInt();
    job.descending = descending_;
    job.delimiterText = cboDelimit_->currentText().toStdString();
    return job;
}

BuildResult FrmLomedit::builtDatabase() const
{
    // The temporary database of the last build (preview or finish) serves.
    BuildResult built;
    built.built = lomState().lomDatabaseBuilt;
    built.tempDbName = lomState().tempDbName;
    built.eicFieldName = lomState().eicFieldName;
    built.marked = marked_;
    return built;
}

void FrmLomedit::CreateLomFile()
{
    lastWriteError_.clear();
    const LomJobOptions job = jobOptions();
    lastOutput_ = job.outputFile;
    const BuildResult built = builtDatabase();
    dialogs::PanelProgress progress(qpnPbar_);
    lastWritten_ = WriteLomJob(fieldCatalogue(), job, built, progress, shell::Messages());
    lastFormatClassic_ = IsClassicLom(job);
    if (lastWritten_.written) {
        rememberChoices();
        return;
    }
    lastWriteError_ = QString::fromStdString(lastWritten_.error);
    if (!lastWritten_.errorShown)
        shell::Messages().show({ MessageKind::Exclamation, "916017",
            FormatMessage("The List of Materials was not written: %1", "916017", { lastWritten_.error }), "" });
}

void FrmLomedit::ReportWritten()
{
    const std::string out = lastOutput_;
    UserMessage m { MessageKind::Information, "", "", "" };
    if (lastFormatClassic_) {
        m.id = "916012";
        m.text = FormatMessage("%1 lines written to %2.", "916012", { GroupedCount(lastWritten_.lines), out });
    } else {
        m.id = "916014";
        m.text = FormatMessage("%1 lines (%2 parts) written to %3.", "916014",
            { GroupedCount(lastWritten_.lines), GroupedCount(lastWritten_.parts), out });
    }
    if (!lastWritten_.problems.empty()) {
        m.kind = MessageKind::Exclamation;
        m.text += "\n" + FormatMessage("The check found %1 problems:", "916139", { GroupedCount(static_cast<std::int64_t>(lastWritten_.problems.size())) });
        for (std::size_t i = 0; i < lastWritten_.problems.size() && i < 10; ++i)
            m.text += "\n" + lastWritten_.problems[i];
    }
    const int answer = shell::Messages().choose(
        m, { shell::Msg("Open &file", "916015").toStdString(), shell::Msg("Open f&older", "916016").toStdString() });
    if (answer == 0)
        shell::OpenOnDesktop(QString::fromStdString(out));
    else if (answer == 1)
        shell::OpenOnDesktop(QFileInfo(QString::fromStdString(out)).absolutePath());
}

void FrmLomedit::cmdPvw_Click()
{
    if (!buildIfNeeded())
        return; // the build has said why
    makeQueryString();
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide();
    {
        // The preview shows the lines of the output as chosen now; a header
        // click re-sorts the output itself, so the sort box follows it.
        dialogs::FrmPreview preview(this);
        const auto showLines = [this, &preview] {
            const LomJobOptions job = jobOptions();
            try {
                const LomTable lines = LomJobLines(fieldCatalogue(), job, builtDatabase());
                preview.showLines(lines.headers, lines.rows, LomJobSortColumn(fieldCatalogue(), job), job.descending);
            } catch (const std::exception&) {
                shell::ShowPlainMessage(
                    HostUtility::instance().GetLocalMessage("Unable to display Preview", "5447"), MessageKind::Critical);
                preview.close();
            }
        };
        preview.onHeaderClick = [this, &showLines](int column) {
            LomJobOptions job = jobOptions();
            if (!SortByColumn(fieldCatalogue(), job, column))
                return;
            descending_ = job.descending;
            cboFields_->setCurrentIndex(cboFields_->findData(job.sortField));
            makeQueryString();
            showLines();
        };
        showLines();
    }
    if (wasVisible)
        show();
}

void FrmLomedit::closeEvent(QCloseEvent* event)
{
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
