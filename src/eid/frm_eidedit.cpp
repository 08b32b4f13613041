#include "frm_eidedit.h"

#include "database.h"
#include "eid_export.h"
#include "eid_field_table.h"
#include "eid_format.h"
#include "eid_import.h"
#include "form_helpers.h"
#include "help_topic.h"
#include "host_utility.h"
#include "lom_settings.h"
#include "modules.h"
#include "shell_services.h"
#include "shell_state.h"
#include "show_message.h"
#include "textcodec.h"
#include "values.h"
#include "zerovize.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace rav::eid
{

namespace
{

shell::FileChooser& chooser()
{
    static shell::FileChooser c;
    return c;
}

std::string Std(const QString& s)
{
    return s.toStdString();
}

ZerOvize* Page(QWidget* parent, const QString& name)
{
    auto* p = new ZerOvize(parent);
    p->setObjectName(name);
    p->setFrameShadow(QFrame::Raised);
    return p;
}

// Progress of an operation on the wizard's progress panel, painted at once:
// the operation runs without returning to the event loop.
class PanelSink final : public ProgressSink
{
public:
    explicit PanelSink(ZerOvize* panel)
        : panel_(panel)
    {
        panel_->setStyle(ZerOvize::FloodStyle::LeftToRight);
    }
    void setCaption(const std::string& caption) override
    {
        panel_->setCaption(QString::fromStdString(caption));
        panel_->refresh();
    }
    void setRange(std::int64_t minimum, std::int64_t maximum) override
    {
        panel_->setMinimum(minimum);
        panel_->setMaximum(maximum);
        last_ = -1;
    }
    void setValue(std::int64_t value) override
    {
        panel_->setValue(value);
        // Painting a million times would cost more than the work itself.
        const int permille
            = static_cast<int>(1000 * progressFraction(panel_->minimum(), panel_->maximum(), value));
        if (permille != last_) {
            last_ = permille;
            panel_->refresh();
        }
    }

private:
    ZerOvize* panel_;
    int last_ = -1;
};

const shell::ModuleRegistrar registrar(shell::ModuleKind::EidWizard, [] { return new FrmEidedit; });

const char* const kEidFilter = "External Index Files (*.eid);;All Files (*.*)";
const char* const kTextFilter = "Text Files (*.txt);;All Files (*.*)";

} // namespace

void FrmEidedit::setFileChooser(shell::FileChooser c)
{
    chooser() = std::move(c);
}

FrmEidedit::FrmEidedit(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("frmEidedit");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Dodiv 2000 - EID File Wizard");
    setProperty(shell::kTagProperty, "916101");

    auto* outer = new QVBoxLayout(this);
    buildFirstPage();
    buildCreatePages();
    buildEditPages();
    outer->addWidget(qpnSelect_, 1);
    for (ZerOvize* p : qpnNewSteps_)
        outer->addWidget(p, 1);
    for (ZerOvize* p : qpnExsSteps_)
        outer->addWidget(p, 1);

    picBrwse_ = new QWidget(this);
    picBrwse_->setObjectName("picBrwse");
    auto* bar = new QHBoxLayout(picBrwse_);
    bar->setContentsMargins(0, 0, 0, 0);
    cmdHelp_ = shell::Button("&Help", this, "cmdHelp", "9944");
    cmdBrwse_[0] = shell::Button("<< &Back", picBrwse_, "cmdBrwse_0", "5477");
    cmdBrwse_[1] = shell::Button("&Next >>", picBrwse_, "cmdBrwse_1", "5478");
    cmdBrwse_[2] = shell::Button("&Cancel", picBrwse_, "cmdBrwse_2", "9915");
    bar->addStretch(1);
    for (QPushButton* b : cmdBrwse_)
        bar->addWidget(b);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdHelp_);
    bottom->addWidget(picBrwse_, 1);
    outer->addLayout(bottom);
    cmdBrwse_[0]->setEnabled(false);

    for (int i = 0; i < 3; ++i)
        connect(cmdBrwse_[i], &QPushButton::clicked, this, [this, i] { cmdBrwse_Click(i); });
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { updateHelpTopic(true); });

    // The choices the window opens with, before InitWizard decides.
    optnFileType_[0]->setChecked(true);
    optnOperation_[0]->setChecked(true);
    optnUpdatetype_[1]->setChecked(true);
    chkFields_->setChecked(true);
    chktrimVal_->setChecked(false);
    chkSpeciRange_->setChecked(false);
    cboDelimit_->setCurrentText(",");
    optnOperation_Click(0);
    chkSpeciRange_Click();

    // Form_Load: texts and fonts, the wizard's start, centred on the screen.
    shell::LocaliseForm(this);
    done_ = false;
    InitWizard();
    resize(600, 460);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
}

FrmEidedit::~FrmEidedit()
{
    // Form_Unload: the file of a completed creation or operation becomes
    // the current EID. The shell clears its module reference itself.
    // A server's password is never kept: the server finds it again itself.
    if (done_)
        shell::shellState().DBaseName
            = db::nameWithoutPassword(Std(eidName_[optnFileType_[0]->isChecked() ? 0 : 1]));
}

// ---- Building the pages ------------------------------------------------

void FrmEidedit::buildFirstPage()
{
    qpnSelect_ = Page(this, "qpnSelect");
    auto* g = new QGridLayout(qpnSelect_);
    g->addWidget(shell::Title("Create/ Edit EID file :", qpnSelect_, "lblSelectTitle", "5499"), 0, 0, 1, 3);
    g->addWidget(
        shell::Label(
            "Using Dodiv 2000 - EID File Editor, you may create a new '.EID' file or edit an existing "
            "'.EID' file. Select the required operation and follow the steps.",
            qpnSelect_, "lblSelectText", "54133"),
        1, 0, 1, 3);
    const char* optionTags[2] = { "5498", "5497" };
    const char* optionTexts[2] = { "Create ne&w '.EID' file", "Edit existing '.EID' file" };
    const char* optionNames[2] = { "optnFileType_0", "optnFileType_1" };
    const char* boxNames[2] = { "txtFileName_0", "txtFileName_1" };
    const char* buttonNames[2] = { "cmdFile_0", "cmdFile_1" };
    for (int i = 0; i < 2; ++i) {
        optnFileType_[i]
            = shell::Tagged(new QRadioButton(optionTexts[i], qpnSelect_), optionNames[i], optionTags[i]);
        // A file name or a server URI (postgresql://...?table=...) can be typed.
        txtFileName_[i] = shell::Tagged(new QLineEdit(qpnSelect_), boxNames[i], nullptr);
        cmdFile_[i] = shell::Button("...", qpnSelect_, buttonNames[i]);
        cmdFile_[i]->setFixedWidth(32);
        g->addWidget(optnFileType_[i], 2 + 2 * i, 0, 1, 3);
        g->addWidget(txtFileName_[i], 3 + 2 * i, 1);
        g->addWidget(cmdFile_[i], 3 + 2 * i, 2);
        connect(optnFileType_[i], &QRadioButton::clicked, this, [this, i] { optnFileType_Click(i); });
        connect(cmdFile_[i], &QPushButton::clicked, this, [this, i] { cmdFile_Click(i); });
        connect(txtFileName_[i], &QLineEdit::textEdited, this,
            [this, i](const QString& typed) { nameTyped(i, typed); });
        connect(txtFileName_[i], &QLineEdit::editingFinished, this, [this, i] { nameFinished(i); });
    }
    g->setColumnMinimumWidth(0, 20);
    g->setColumnStretch(1, 1);
    g->setRowStretch(6, 1);
}

void FrmEidedit::buildCreatePages()
{
    // Step 1 of 2: the field grid and its entry boxes.
    {
        ZerOvize* page = qpnNewSteps_[0] = Page(this, "qpnNewSteps_0");
        auto* g = new QGridLayout(page);
        g->addWidget(shell::Title("Step 1 of 2", page, "lblNewStep_0", "54107"), 0, 0, 1, 2);
        g->addWidget(
            shell::Label("Select field names and sizes:", page, "lblNewCaption_0", "54106"), 1, 0, 1, 2);
        g->addWidget(shell::Label("Provide field names for the '.EID' file", page, "lblNewDescr_0", "54105"),
            2, 0, 1, 2);
        fieldTable_ = new EidFieldTableModel(fields_, this);
        tblFields_ = new QTableView(page);
        tblFields_->setObjectName("tblFields");
        tblFields_->setModel(fieldTable_);
        tblFields_->setSelectionBehavior(QAbstractItemView::SelectRows);
        tblFields_->setSelectionMode(QAbstractItemView::SingleSelection);
        tblFields_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tblFields_->verticalHeader()->hide();
        tblFields_->horizontalHeader()->setStretchLastSection(true);
        g->addWidget(tblFields_, 3, 0);
        // The entry boxes and their buttons beside the grid, at its top.
        auto* entry = new QVBoxLayout;
        entry->addWidget(shell::Label("Field name:", page, "lblField_0", "3790"));
        txtField_[0] = shell::Tagged(new QLineEdit(page), "txtField_0", nullptr);
        entry->addWidget(txtField_[0]);
        entry->addSpacing(8);
        entry->addWidget(shell::Label("Field size:", page, "lblField_1", "54135"));
        txtField_[1] = shell::Tagged(new QLineEdit(page), "txtField_1", nullptr);
        entry->addWidget(txtField_[1]);
        entry->addSpacing(8);
        auto* buttons = new QHBoxLayout;
        cmdAddUp_[0] = shell::Button("Update", page, "cmdAddUp_0", "991372");
        cmdAddUp_[1] = shell::Button("Delete", page, "cmdAddUp_1", "99521");
        buttons->addWidget(cmdAddUp_[0]);
        buttons->addWidget(cmdAddUp_[1]);
        entry->addLayout(buttons);
        entry->addStretch(1);
        g->addLayout(entry, 3, 1);
        g->setRowStretch(3, 1);
        g->setColumnStretch(0, 1);
        for (int i = 0; i < 2; ++i) {
            txtField_[i]->installEventFilter(this);
            connect(cmdAddUp_[i], &QPushButton::clicked, this, [this, i] { cmdAddUp_Click(i); });
        }
        // A row picked in the grid is the one the entry boxes edit.
        connect(tblFields_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) {
                if (!editingFields_ && now.isValid() && now.row() != fields_.current()
                    && fields_.setCurrent(now.row()))
                    showCurrentField();
            });
    }
    // Step 2 of 2: the EIC field.
    {
        ZerOvize* page = qpnNewSteps_[1] = Page(this, "qpnNewSteps_1");
        auto* g = new QGridLayout(page);
        g->addWidget(shell::Title("Step 2 of 2", page, "lblNewStep_1", "54103"), 0, 0);
        g->addWidget(shell::Label("Select EIC field:", page, "lblNewCaption_1", "54101"), 1, 0);
        g->addWidget(shell::Label("Select the field to use as EIC for the current EID file", page,
                         "lblNewDescr_1", "54102"),
            2, 0);
        lstFields_ = new QListWidget(page);
        lstFields_->setObjectName("lstFields");
        connect(
            lstFields_, &QListWidget::currentRowChanged, this, [this](int row) { fields_.setEicField(row); });
        g->addWidget(lstFields_, 3, 0);
        g->addWidget(
            shell::Label(
                "Click &Next to finish current operation and start creating the '.EID' file. Leave the "
                "below option checked to open the file for editing after creation",
                page, "lblNewFinish", "54134"),
            4, 0);
        chkFields_ = shell::Tagged(
            new QCheckBox("&Open file for editing after creation", page), "chkFields", "54100");
        g->addWidget(chkFields_, 5, 0);
        g->setRowStretch(3, 1);
    }
}

void FrmEidedit::buildEditPages()
{
    // Step 1 of 3: the EID and the operation.
    {
        ZerOvize* page = qpnExsSteps_[0] = Page(this, "qpnExsSteps_0");
        auto* g = new QGridLayout(page);
        g->addWidget(shell::Title("Step 1 of 3", page, "lblExsStep_0", "5491"), 0, 0, 1, 3);
        g->addWidget(shell::Label("EID file operations", page, "lblExsCaption_0", "54132"), 1, 0, 1, 3);
        g->addWidget(
            shell::Label(
                "The options below allows to import/ export/ remove data from an EID file. Select the "
                "required option and follow the steps",
                page, "lblExsDescr_0", "5495"),
            2, 0, 1, 3);
        g->addWidget(shell::Label("EID file Name:", page, "lblDBName_0", "5494"), 3, 0);
        qpnDBName_[0] = shell::FileNamePanel(page, "qpnDBName_0");
        g->addWidget(qpnDBName_[0], 3, 1, 1, 2);

        optnOperation_[2] = shell::Tagged(
            new QRadioButton("Import to EID file from text file", page), "optnOperation_2", "5488");
        g->addWidget(optnOperation_[2], 4, 0, 1, 3);
        g->addWidget(shell::Label("Import from file:", page, "lblTxtFile_1", "54131"), 5, 0);
        qpntxtFile_[1] = shell::FileNamePanel(page, "qpntxtFile_1");
        cmdEli_[1] = shell::Button("...", page, "cmdEli_1");
        g->addWidget(qpntxtFile_[1], 5, 1);
        g->addWidget(cmdEli_[1], 5, 2);

        optnOperation_[1] = shell::Tagged(
            new QRadioButton("Export to text file from EID file", page), "optnOperation_1", "5489");
        g->addWidget(optnOperation_[1], 6, 0, 1, 3);
        g->addWidget(shell::Label("Export to file:", page, "lblTxtFile_0", "5493"), 7, 0);
        qpntxtFile_[0] = shell::FileNamePanel(page, "qpntxtFile_0");
        cmdEli_[0] = shell::Button("...", page, "cmdEli_0");
        g->addWidget(qpntxtFile_[0], 7, 1);
        g->addWidget(cmdEli_[0], 7, 2);

        optnOperation_[0]
            = shell::Tagged(new QRadioButton("Remove data from EID file", page), "optnOperation_0", "5490");
        g->addWidget(optnOperation_[0], 8, 0, 1, 3);
        g->setColumnStretch(1, 1);
        g->setRowStretch(9, 1);
        for (int i = 0; i < 2; ++i) {
            cmdEli_[i]->setFixedWidth(32);
            connect(cmdEli_[i], &QPushButton::clicked, this, [this, i] { cmdEli_Click(i); });
        }
        for (int i = 0; i < 3; ++i)
            connect(optnOperation_[i], &QRadioButton::clicked, this, [this, i] { optnOperation_Click(i); });
    }
    // Step 2 of 3: the options of the operation.
    {
        ZerOvize* page = qpnExsSteps_[1] = Page(this, "qpnExsSteps_1");
        auto* g = new QGridLayout(page);
        g->addWidget(shell::Title("Step 2 of 3", page, "lblExsStep_1", "5480"), 0, 0, 1, 4);
        lblCaption4_
            = shell::Label("Set options for delete all record operation", page, "lblCaption_4", "5485");
        g->addWidget(lblCaption4_, 1, 0, 1, 4);
        g->addWidget(shell::Label("EID Name:", page, "lblDBName_1", "5486"), 2, 0);
        qpnDBName_[1] = shell::FileNamePanel(page, "qpnDBName_1");
        g->addWidget(qpnDBName_[1], 2, 1, 1, 3);
        g->addWidget(shell::Label("Operation selected:", page, "lblOperation", "5487"), 3, 0);
        qpntxtFile_[2] = shell::FileNamePanel(page, "qpntxtFile_2");
        g->addWidget(qpntxtFile_[2], 3, 1, 1, 3);

        chktrimVal_
            = shell::Tagged(new QCheckBox("Trim data to fit the field size", page), "chktrimVal", "5481");
        optnUpdatetype_[0] = shell::Tagged(
            new QRadioButton("Overwrite duplicate EICs with new data", page), "optnUpdatetype_0", "5483");
        optnUpdatetype_[1] = shell::Tagged(
            new QRadioButton("Save identical EICs to a log file...", page), "optnUpdatetype_1", "5482");
        g->addWidget(chktrimVal_, 4, 0, 1, 4);
        g->addWidget(optnUpdatetype_[0], 5, 0, 1, 4);
        g->addWidget(optnUpdatetype_[1], 6, 0, 1, 4);
        g->addWidget(shell::Label("Delimiter used in text file", page, "lblDelimit", "5484"), 7, 0, 1, 2);
        cboDelimit_ = new QComboBox(page);
        cboDelimit_->setObjectName("cboDelimit");
        cboDelimit_->setEditable(true);
        for (const char* word : kDelimiterWords)
            cboDelimit_->addItem(word);
        g->addWidget(cboDelimit_, 7, 2, 1, 2);

        chkSpeciRange_ = shell::Tagged(
            new QCheckBox("Select data from a specified range", page), "chkSpeciRange", "5479");
        g->addWidget(chkSpeciRange_, 8, 0, 1, 4);
        optLabels_[0] = shell::Label("Field:", page, "lblOptField_0", "4324");
        optLabels_[1] = shell::Label("Start Value:", page, "lblOptField_1", "54130");
        optLabels_[2] = shell::Label("End Value:", page, "lblOptField_2", "54129");
        optLabels_[3] = shell::Label("Sort by:", page, "lblOptField_3", "54128");
        for (int i = 0; i < 2; ++i) {
            cboOptField_[i] = new QComboBox(page);
            cboOptField_[i]->setObjectName(i ? "cboOptField_1" : "cboOptField_0");
            txtOptField_[i]
                = shell::Tagged(new QLineEdit(page), i ? "txtOptField_1" : "txtOptField_0", nullptr);
            txtOptField_[i]->installEventFilter(this);
        }
        g->addWidget(optLabels_[0], 9, 0);
        g->addWidget(cboOptField_[0], 9, 1);
        g->addWidget(optLabels_[3], 9, 2);
        g->addWidget(cboOptField_[1], 9, 3);
        g->addWidget(optLabels_[1], 10, 0);
        g->addWidget(txtOptField_[0], 10, 1);
        g->addWidget(optLabels_[2], 10, 2);
        g->addWidget(txtOptField_[1], 10, 3);
        g->setColumnStretch(1, 1);
        g->setColumnStretch(3, 1);
        g->setRowStretch(11, 1);
        connect(chkSpeciRange_, &QCheckBox::clicked, this, [this] { chkSpeciRange_Click(); });
    }
    // Step 3 of 3: what will be done, and its progress.
    {
        ZerOvize* page = qpnExsSteps_[2] = Page(this, "qpnExsSteps_2");
        auto* g = new QGridLayout(page);
        g->addWidget(shell::Title("Step 3 of 3", page, "lblExsStep_2", "54108"), 0, 0);
        g->addWidget(
            shell::Label("The wizard now has all the required information", page, "lblExsCaption_2", "54109"),
            1, 0);
        lblOpDescr_ = shell::Label("Click &Next to ", page, "lblOpDescr", "54136");
        lblOpDescr_->setTextFormat(Qt::PlainText);
        g->addWidget(lblOpDescr_, 2, 0);
        qpnPbar_ = shell::FileNamePanel(page, "qpnPbar");
        qpnPbar_->setAlignment(Qt::AlignCenter);
        qpnPbar_->setCaption(shell::Msg("Click Next to Continue ...", "916119"));
        g->addWidget(qpnPbar_, 3, 0);
        g->setRowStretch(4, 1);
    }
}

// ---- Wizard --------------------------------------------------------------

void FrmEidedit::InitWizard()
{
    shell::ReadSuiteDirs();
    counter_ = -1;
    path_ = Path::None;
    gridBuilt_ = false;
    listsLoaded_ = false;
    for (ZerOvize* p : qpnNewSteps_)
        p->hide();
    for (ZerOvize* p : qpnExsSteps_)
        p->hide();
    qpnSelect_->show();
    const std::string current = shell::shellState().DBaseName;
    if (text::trimBlanks(current).empty()) {
        std::string proposed = shell::shellState().LibDir;
        HostUtility::instance().AddPathSeparator(proposed);
        setEidName(0, QString::fromStdString(proposed + kDefaultFileName));
        optnFileType_[0]->setChecked(true);
        optnFileType_Click(0);
    } else {
        setEidName(1, QString::fromStdString(current));
        optnFileType_[1]->setChecked(true);
        optnFileType_Click(1);
    }
    updateHelpTopic(false);
}

void FrmEidedit::optnFileType_Click(int index)
{
    const bool create = index == 0;
    txtFileName_[0]->setEnabled(create);
    cmdFile_[0]->setEnabled(create);
    txtFileName_[1]->setEnabled(!create);
    cmdFile_[1]->setEnabled(!create);
    // existingIsEid_ already follows the name; a server is not asked twice.
    refreshButtons();
}

void FrmEidedit::setEidName(int index, const QString& name)
{
    eidName_[index] = name;
    const QString shown = QString::fromStdString(db::nameWithoutPassword(Std(name)));
    txtFileName_[index]->setText(shown);
    txtFileName_[index]->setToolTip(shown);
    if (index == 1)
        existingIsEid_ = IsEidDatabase(Std(name));
    refreshButtons();
}

void FrmEidedit::nameTyped(int index, const QString& typed)
{
    eidName_[index] = typed.trimmed();
    if (index == 1) {
        // A file is checked at once; a server only when the typing is done
        // (Enter, leaving the box, or Next), not at every key.
        existingIsEid_ = db::isServerName(Std(eidName_[1])) || IsEidDatabase(Std(eidName_[1]));
    }
    refreshButtons();
}

void FrmEidedit::nameFinished(int index)
{
    // What stays in the box carries no password.
    if (db::isServerName(Std(eidName_[index])))
        setEidName(index, eidName_[index]);
}

void FrmEidedit::cmdFile_Click(int index)
{
    const QString proposed = "Part.Eid";
    const shell::FileRequest request { index == 0, QString::fromStdString(shell::shellState().LibDir),
        proposed, "eid", kEidFilter };
    // A dismissed dialog leaves the proposed name as the choice.
    const QString name = shell::ChooseFile(this, request, chooser()).value_or(proposed);
    setEidName(index, name);
}

Operation FrmEidedit::selectedOperation() const
{
    if (optnOperation_[2]->isChecked())
        return Operation::Import;
    if (optnOperation_[1]->isChecked())
        return Operation::Export;
    return Operation::Remove;
}

void FrmEidedit::optnOperation_Click(int index)
{
    for (int i = 0; i < 2; ++i) {
        qpntxtFile_[i]->setEnabled(false);
        cmdEli_[i]->setEnabled(false);
    }
    if (index != 0) {
        // Export uses file 0, import file 1.
        const int file = index == 1 ? 0 : 1;
        qpntxtFile_[file]->setEnabled(true);
        cmdEli_[file]->setEnabled(true);
    }
    refreshButtons();
}

void FrmEidedit::cmdEli_Click(int index)
{
    const QString proposed = "Part.txt";
    const shell::FileRequest request { index == 0, QString::fromStdString(shell::shellState().LibDir),
        proposed, "txt", kTextFilter };
    const QString name = shell::ChooseFile(this, request, chooser()).value_or(proposed);
    shell::ShowFileName(qpntxtFile_[index], name);
    refreshButtons();
}

void FrmEidedit::refreshButtons()
{
    WizardChoices c;
    c.path = path_;
    c.step = counter_;
    c.createNew = optnFileType_[0]->isChecked();
    c.newFile = Std(eidName_[0]);
    c.existingIsEid = existingIsEid_;
    c.fieldCount = fields_.count();
    c.operation = selectedOperation();
    if (c.operation != Operation::Remove)
        c.textFile = Std(qpntxtFile_[c.operation == Operation::Export ? 0 : 1]->caption().trimmed());
    cmdBrwse_[0]->setEnabled(BackAllowed(counter_));
    cmdBrwse_[1]->setEnabled(NextAllowed(c));
}

void FrmEidedit::chkSpeciRange_Click()
{
    const bool on = chkSpeciRange_->isChecked();
    cboOptField_[0]->setEnabled(on);
    txtOptField_[0]->setEnabled(on);
    txtOptField_[1]->setEnabled(on);
    for (int i = 0; i < 3; ++i)
        optLabels_[i]->setEnabled(on);
    const bool sort = on && selectedOperation() != Operation::Import;
    cboOptField_[1]->setEnabled(sort);
    optLabels_[3]->setEnabled(sort);
}

void FrmEidedit::LoadFieldLists(const QString& eidName)
{
    for (QComboBox* box : cboOptField_)
        box->clear();
    try {
        db::Database db = db::Database::open(Std(eidName), db::OpenMode::Exclusive);
        const db::TableDef def = db.tableDef(kDeviceTable);
        for (std::size_t i = 0; i < def.fields.size(); ++i)
            for (QComboBox* box : cboOptField_)
                box->addItem(QString::fromStdString(def.fields[i].name), static_cast<int>(i));
    } catch (const std::exception&) {
        // The lists stay empty; the range check reports what it cannot find.
    }
    for (QComboBox* box : cboOptField_)
        if (box->count() > 0)
            box->setCurrentIndex(0);
    listsLoaded_ = true;
}

void FrmEidedit::cmdBrwse_Click(int index)
{
    if (index == 2) {
        closeAsCancel();
        return;
    }
    if (index == 1) {
        switch (ActionOfNext(path_, counter_)) {
        case NextAction::CreateFile:
            finishCreation();
            return;
        case NextAction::RunOperation:
            finishOperation();
            return;
        case NextAction::ShowPage:
            break;
        }
    }
    const int k = index == 1 ? counter_ + 1 : counter_ - 1;
    if (PrepareStep(k))
        ShowStep(k);
}

void FrmEidedit::closeAsCancel()
{
    shell::ReturnToMainForm();
    close();
}

bool FrmEidedit::PrepareStep(int k)
{
    switch (k) {
    case 0:
        path_ = optnFileType_[0]->isChecked() ? Path::Create : Path::Edit;
        qpnSelect_->hide();
        if (path_ == Path::Edit) {
            // A typed server name is checked now, before anything is done with it.
            if (!IsEidDatabase(Std(eidName_[1]))) {
                existingIsEid_ = false;
                refreshButtons();
                shell::Messages().show({ MessageKind::Information, "99892",
                    db::nameWithoutPassword(Std(eidName_[1]))
                        + HostUtility::instance().GetLocalMessage(" missing or invalid", "99892"),
                    {} });
                path_ = Path::None;
                qpnSelect_->show();
                return false;
            }
            for (ZerOvize* panel : qpnDBName_)
                shell::ShowFileName(panel, QString::fromStdString(db::nameWithoutPassword(Std(eidName_[1]))));
        } else if (!gridBuilt_) {
            InitFieldGrid();
        }
        return true;
    case 1:
        if (path_ == Path::Create) {
            FillEicFieldList();
            return true;
        }
        if (!listsLoaded_)
            LoadFieldLists(eidName_[1]);
        switch (selectedOperation()) {
        case Operation::Remove:
            shell::ShowFileName(qpntxtFile_[2], shell::Msg("Delete selected data from EID file.", "916120"));
            lblCaption4_->setText(shell::Msg("Set options for delete record operation", "549"));
            break;
        case Operation::Export:
            shell::ShowFileName(qpntxtFile_[2], shell::Msg("Export to file: ", "916121") + qpntxtFile_[0]->caption());
            lblCaption4_->setText(shell::Msg("Set options for export to file operation", "5410"));
            break;
        case Operation::Import:
            shell::ShowFileName(qpntxtFile_[2], shell::Msg("Import from file: ", "916122") + qpntxtFile_[1]->caption());
            lblCaption4_->setText(shell::Msg("Set options for import from file operation", "5411"));
            break;
        }
        {
            const bool import = selectedOperation() == Operation::Import;
            optnUpdatetype_[0]->setEnabled(import);
            optnUpdatetype_[1]->setEnabled(import);
            chktrimVal_->setEnabled(import);
            cboDelimit_->setEnabled(selectedOperation() != Operation::Remove);
            chkSpeciRange_Click();
        }
        return true;
    case 2: {
        const Operation op = selectedOperation();
        range_ = {};
        if (chkSpeciRange_->isChecked()) {
            range_.field = Std(cboOptField_[0]->currentText());
            range_.startValue = Std(txtOptField_[0]->text());
            range_.endValue = Std(txtOptField_[1]->text());
            range_.sortField = Std(cboOptField_[1]->currentText());
            const RangeCheck check = CheckRangeConditions(Std(eidName_[1]), op, range_, shell::Messages());
            if (check == RangeCheck::StartMissing) {
                txtOptField_[0]->setFocus();
                return false;
            }
            if (check == RangeCheck::EndRefused) {
                txtOptField_[1]->setFocus();
                return false;
            }
            if (check == RangeCheck::Failed)
                return false;
        }
        if (optnUpdatetype_[0]->isChecked() && !ConfirmMassUpdate(shell::Messages())) {
            optnUpdatetype_[0]->setFocus();
            return false;
        }
        const QString click = shell::Msg("Click &Next to :", "5429");
        QString description;
        switch (op) {
        case Operation::Remove:
            description = click + "\n" + shell::Msg("Delete all the records in the specified range", "5430");
            break;
        case Operation::Export:
            description = click + "\n" + shell::Msg("Export data from ", "5431") + "\n"
                + qpnDBName_[0]->caption() + "\n" + shell::Msg("to ", "916123") + "\n" + qpntxtFile_[0]->caption();
            break;
        case Operation::Import:
            description = click + "\n" + shell::Msg("Import data from ", "5432") + "\n"
                + qpntxtFile_[1]->caption() + "\n" + shell::Msg("to ", "916123") + "\n" + qpnDBName_[0]->caption();
            break;
        }
        shell::SetLabelCaption(lblOpDescr_, description);
        return true;
    }
    default:
        return true;
    }
}

void FrmEidedit::finishCreation()
{
    if (!CreateEid())
        return; // stays on the last page
    if (!chkFields_->isChecked())
        closeAsCancel();
    else
        switchToEditPath();
}

void FrmEidedit::finishOperation()
{
    if (!ConfirmRemoval())
        return; // stays on the last page
    picBrwse_->setEnabled(false);
    RunOperation();
    ReportOperation();
    closeAsCancel();
}

void FrmEidedit::ShowStep(int k)
{
    ZerOvize* const* pages = path_ == Path::Create ? qpnNewSteps_ : qpnExsSteps_;
    const int count = PageCount(path_);
    if (k < 0 || k >= count)
        return;
    for (int i = 0; i < count; ++i)
        pages[i]->hide();
    pages[k]->show();
    counter_ = k;
    refreshButtons();
    updateHelpTopic(false);
}

void FrmEidedit::updateHelpTopic(bool show)
{
    shell::SetHelpTopic(shell::help_place::kEidWizard, HelpSubMenu(path_, counter_), 0, 0, show);
}

bool FrmEidedit::CreateEid()
{
    const std::vector<EidField>& fields = fields_.fields();
    const std::string eic = fields_.eicName();
    std::string why;
    if (!CreateEidDatabase(Std(eidName_[0]), fields, eic, &why)) {
        shell::Messages().show({ MessageKind::Information, "5412",
            HostUtility::instance().GetLocalMessage("Database creation error : ", "5412") + why, {} });
        return false;
    }
    done_ = true;
    shell::Messages().show({ MessageKind::Information, "916141",
        FormatMessage("%1 created with %2 fields; %3 is its EIC field.", "916141",
            { db::nameWithoutPassword(Std(eidName_[0])),
                GroupedCount(static_cast<std::int64_t>(fields.size())), eic }),
        {} });
    return true;
}

void FrmEidedit::switchToEditPath()
{
    setEidName(1, eidName_[0]);
    qpnNewSteps_[1]->hide();
    optnFileType_[1]->setChecked(true);
    optnFileType_Click(1);
    // The first page's work again, now for an existing file.
    listsLoaded_ = false;
    PrepareStep(0);
    counter_ = -1;
    ShowStep(0);
}

bool FrmEidedit::ConfirmRemoval()
{
    if (selectedOperation() != Operation::Remove)
        return true;
    const RemoveOptions options { Std(eidName_[1]), range_ };
    std::int64_t count = 0;
    try {
        count = CountRecordsToRemove(options);
    } catch (const std::exception& e) {
        OperationResult failed;
        failed.failure = e.what();
        shell::Messages().show(eid::ReportOperation(Operation::Remove, failed, options.eidFile, {}).message);
        return false;
    }
    if (count == 0) {
        shell::Messages().show({ MessageKind::Information, "916011",
            FormatMessage("There is nothing to delete: %1 holds no such records.", "916011", { options.eidFile }),
            {} });
        return false;
    }
    return shell::Messages().confirm(RemovalQuestion(options, count));
}

void FrmEidedit::ReportOperation()
{
    const Operation op = selectedOperation();
    const QString textFile = op == Operation::Import ? qpntxtFile_[1]->caption()
        : op == Operation::Export                    ? qpntxtFile_[0]->caption()
                                                     : QString();
    const OperationReport report
        = eid::ReportOperation(op, lastResult_, db::nameWithoutPassword(Std(eidName_[1])), Std(textFile));
    if (!report.offerLog) {
        shell::Messages().show(report.message);
        return;
    }
    if (shell::Messages().confirm(report.message))
        shell::OpenOnDesktop(QString::fromStdString(lastResult_.logFile));
}

void FrmEidedit::RunOperation()
{
    PanelSink progress(qpnPbar_);
    const std::string eidName = Std(eidName_[1]);
    const Delimiter delimiter = ResolveDelimiter(Std(cboDelimit_->currentText()));
    cboDelimit_->setCurrentText(QString::fromStdString(delimiter.shown));
    switch (selectedOperation()) {
    case Operation::Import: {
        ImportOptions o;
        o.eidFile = eidName;
        o.textFile = Std(qpntxtFile_[1]->caption());
        o.delimiterText = delimiter.shown;
        o.trim = chktrimVal_->isChecked();
        o.overwrite = optnUpdatetype_[0]->isChecked();
        o.range = range_;
        o.range.sortField.clear();
        o.tempDir = shell::shellState().TempDir;
        lastResult_ = ImportTextFile(o, shell::Messages(), progress);
        break;
    }
    case Operation::Export:
        lastResult_ = ExportTextFile({ eidName, Std(qpntxtFile_[0]->caption()), delimiter.shown, range_ },
            shell::Messages(), progress);
        break;
    case Operation::Remove:
        lastResult_ = RemoveRecords({ eidName, range_ }, progress);
        break;
    }
    if (lastResult_.completed)
        done_ = true;
}

// ---- Field grid ----------------------------------------------------------

void FrmEidedit::InitFieldGrid()
{
    fieldTable_->setHeaders(shell::Msg("Field Name", "916124"), shell::Msg("Size", "916125"));
    const int w = tblFields_->horizontalHeader()->defaultSectionSize();
    tblFields_->setColumnWidth(0, w * 7 / 3);
    gridBuilt_ = true;
    showCurrentField();
}

void FrmEidedit::showCurrentField()
{
    const int row = fields_.current();
    const QModelIndex index = fieldTable_->index(row, 0);
    if (tblFields_->currentIndex().row() != row)
        tblFields_->setCurrentIndex(index);
    cmdAddUp_[1]->setEnabled(!fields_.isEntryRow(row));
    txtField_[0]->setText(index.data().toString());
    txtField_[1]->setText(fieldTable_->index(row, 1).data().toString());
    txtField_[0]->setFocus();
    refreshButtons();
}

void FrmEidedit::cmdAddUp_Click(int index)
{
    if (index == 0) {
        UpdateFieldRow();
        return;
    }
    editingFields_ = true;
    const bool removed = fieldTable_->removeCurrent();
    editingFields_ = false;
    if (removed)
        showCurrentField();
}

void FrmEidedit::UpdateFieldRow()
{
    // The size box is cleaned up when it loses the focus, which a click on
    // Update normally causes; Update from the keyboard must see the same.
    normaliseSizeBox();
    editingFields_ = true;
    const FieldEntryError error = fieldTable_->commit(txtField_[0]->text(), txtField_[1]->text());
    editingFields_ = false;
    if (const std::optional<FieldRefusal> refusal = RefusalOf(error)) {
        shell::Messages().show({ MessageKind::Information, refusal->id,
            HostUtility::instance().GetLocalMessage(refusal->text, refusal->id), {} });
        txtField_[refusal->sizeBox ? 1 : 0]->setFocus();
        return;
    }
    showCurrentField();
}

void FrmEidedit::FillEicFieldList()
{
    const int eic = fields_.eicField();
    lstFields_->clear();
    for (const std::string& name : fields_.names())
        lstFields_->addItem(QString::fromStdString(name));
    if (lstFields_->count() > 0)
        lstFields_->setCurrentRow(eic >= 0 ? eic : 0);
}

void FrmEidedit::normaliseSizeBox()
{
    // An empty box (the entry row's) stays empty: a 0 there would look
    // like a size the user gave.
    if (txtField_[1]->text().trimmed().isEmpty())
        return;
    const double number = NumericValue(Std(txtField_[1]->text()));
    txtField_[1]->setText(QString::number(number, 'g', 15));
}

// ---- Events --------------------------------------------------------------

void FrmEidedit::closeEvent(QCloseEvent* event)
{
    shell::ReturnToMainForm();
    event->accept();
}

bool FrmEidedit::eventFilter(QObject* watched, QEvent* event)
{
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box)
        return QWidget::eventFilter(watched, event);
    const bool fieldBox = box == txtField_[0] || box == txtField_[1];
    switch (event->type()) {
    case QEvent::FocusIn:
        // The whole text is selected, so typing replaces it.
        QMetaObject::invokeMethod(box, &QLineEdit::selectAll, Qt::QueuedConnection);
        break;
    case QEvent::FocusOut:
        if (fieldBox)
            normaliseSizeBox();
        break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (fieldBox && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            // Enter in the name goes on to the size; Enter in the size
            // commits the field, as Update does.
            if (box == txtField_[0])
                txtField_[1]->setFocus();
            else
                cmdAddUp_Click(0);
            return true; // swallowed
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace rav::eid
