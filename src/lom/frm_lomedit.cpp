#include "frm_lomedit.h"

#include "eid_format.h"
#include "form_helpers.h"
#include "frm_preview.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_job.h"
#include "lom_output.h"
#include "lom_query.h"
#include "lom_table.h"
#include "modules.h"
#include "panel_progress.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "show_message.h"
#include "zerovize.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
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
        lblCaption_[0] = shell::Title("List of Material Editor", page, "lblCaption_0");
        lblDescrip_[0]
            = shell::Label("Using Dodiv 2000 - List of Material wizard, you may create a list by selecting "
                           "the required fields from the EID file and the Project database. Select an EID "
                           "file for use with the current project and click &Next to continue.",
                page, "lblDescrip_0");
        qpnFileName_[0] = shell::FileNamePanel(page, "qpnFileName_0");
        qpnFileName_[1] = shell::FileNamePanel(page, "qpnFileName_1");
        cmdFile_[0] = shell::Button("...", page, "cmdFile_0");
        g->addWidget(new QLabel("Step 1 of 3", page), 0, 0, 1, 3);
        g->addWidget(lblCaption_[0], 1, 0, 1, 3);
        g->addWidget(lblDescrip_[0], 2, 0, 1, 3);
        g->addWidget(new QLabel("EID File:", page), 3, 0);
        g->addWidget(qpnFileName_[0], 3, 1);
        g->addWidget(cmdFile_[0], 3, 2);
        g->addWidget(new QLabel("Current Project:", page), 4, 0);
        g->addWidget(qpnFileName_[1], 4, 1, 1, 2);
        g->setRowStretch(5, 1);
        g->setColumnStretch(1, 1);
    }
    // Page 1: fields, sort field, delimiter, LOM file.
    {
        auto* page = qpnCreateLOM_[1];
        auto* g = new QGridLayout(page);
        lblCaption_[1] = shell::Title("Select field names and sort field:", page, "lblCaption_1");
        lblDescrip_[1] = shell::Label(
            "Select the required items to be added in List of Materials", page, "lblDescrip_1");
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
        cmdAddDel_[0]->setToolTip("Add the selected fields");
        cmdAddDel_[1]->setToolTip("Remove the selected fields");
        auto* arrows = new QVBoxLayout;
        arrows->addStretch();
        arrows->addWidget(cmdAddDel_[0]);
        arrows->addWidget(cmdAddDel_[1]);
        arrows->addStretch();
        cboFields_ = new QComboBox(page);
        cboFields_->setObjectName("cboFields");
        cboDelimit_ = new QComboBox(page);
        cboDelimit_->setObjectName("cboDelimit");
        cboDelimit_->setEditable(true);
        cboDelimit_->addItems({ "TAB", "SPACE", ";", ",", ":" });
        cboDelimit_->setInsertPolicy(QComboBox::NoInsert);
        cboDelimit_->setEditText("|");
        qpnFileName_[2] = shell::FileNamePanel(page, "qpnFileName_2");
        cmdFile_[1] = shell::Button("...", page, "cmdFile_1");
        g->addWidget(new QLabel("Step 2 of 3", page), 0, 0, 1, 3);
        g->addWidget(lblCaption_[1], 1, 0, 1, 3);
        g->addWidget(lblDescrip_[1], 2, 0, 1, 3);
        g->addWidget(new QLabel("Available fields", page), 3, 0);
        g->addWidget(new QLabel("Selected fields", page), 3, 2);
        g->addWidget(lstFields_[0], 4, 0);
        g->addLayout(arrows, 4, 1);
        g->addWidget(lstFields_[1], 4, 2);
        auto* options = new QGridLayout;
        options->addWidget(new QLabel("Sort with Field:", page), 0, 0);
        options->addWidget(cboFields_, 0, 1);
        options->addWidget(new QLabel("Delimiter to Use:", page), 0, 2);
        options->addWidget(cboDelimit_, 0, 3);
        options->addWidget(new QLabel("Save LOM As:", page), 1, 0);
        options->addWidget(qpnFileName_[2], 1, 1, 1, 2);
        options->addWidget(cmdFile_[1], 1, 3, Qt::AlignLeft);
        options->setColumnStretch(1, 1);
        g->addLayout(options, 5, 0, 1, 3);
        g->setRowStretch(4, 1);
        g->setColumnStretch(0, 1);
        g->setColumnStretch(2, 1);
    }
    // Page 2: summary, preview, progress.
    {
        auto* page = qpnCreateLOM_[2];
        auto* v = new QVBoxLayout(page);
        label3_ = shell::Title("The wizard now has all the required information", page, "Label3");
        lblOpDescr_[0] = shell::Label("Click &Next to create List of Materials", page, "lblOpDescr_0");
        lblOpDescr_[1] = shell::Label(
            "Use the &Show Preview button to view the List of Materials created", page, "lblOpDescr_1");
        lblOpDescr_[0]->setTextFormat(Qt::PlainText);
        lblOpDescr_[1]->setTextFormat(Qt::PlainText);
        cmdPvw_ = shell::Button("&Show Preview", page, "cmdPvw", "54111");
        cmdPvw_->setEnabled(false);
        chkGroup_ = new QCheckBox("&Group equal parts on one line, with quantity and part names", page);
        chkGroup_->setObjectName("chkGroup");
        chkGroup_->setToolTip("Parts with the same External Index Code (else the same value and package) "
                              "share one line: quantity, part names as ranges (C1-C4, C7), then the fields");
        qpnPbar_ = new ZerOvize(page);
        qpnPbar_->setObjectName("qpnPbar");
        qpnPbar_->setMinimumHeight(24);
        v->addWidget(new QLabel("Step 3 of 3", page));
        v->addWidget(label3_);
        v->addWidget(lblOpDescr_[0]);
        v->addWidget(chkGroup_);
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
    // A sort field picked by hand starts in ascending order.
    connect(cboFields_, &QComboBox::activated, this, [this] { descending_ = false; });
    connect(cmdHelp_, &QPushButton::clicked, this, [] { shell::SetHelpTopic(0, 0, 0, 0, true); });

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
        const bool ready = !fileName(qpnFileName_[2]).isEmpty() && cboFields_->count() >= 1;
        cmdBrwse_[1]->setEnabled(ready);
        cmdPvw_->setEnabled(ready);
        return true;
    }
    case 2:
        shell::SetLabelCaption(lblOpDescr_[0],
            shell::Msg("Click &Next to create the List of Materials", "542") + "\n"
                + shell::Msg("from EID file : ", "543") + fileName(qpnFileName_[0]) + "\n"
                + shell::Msg("and Project : ", "544") + fileName(qpnFileName_[1]) + "\n"
                + shell::Msg("To LOM file : ", "545") + fileName(qpnFileName_[2]));
        cmdPvw_->setEnabled(true);
        return true;
    case 3:
        // Next on the last page: the wizard closes only once the file is
        // written; otherwise it says why and keeps every choice for another try.
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
        const auto chosen = shell::ChooseFile(this,
            { true, libDir, "LOM.txt", "txt",
                "List of Material text Files (*.txt);;CSV Files (*.csv);;Excel Workbooks (*.xlsx);;"
                "Web Pages (*.html);;All Files (*.*)" },
            chooser());
        if (!chosen)
            return;
        cmdBrwse_[1]->setEnabled(!chosen->isEmpty() && lstFields_[1]->count() >= 1);
        shell::ShowFileName(qpnFileName_[2], *chosen);
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
    cmdBrwse_[1]->setEnabled(!fileName(qpnFileName_[2]).isEmpty() && cboFields_->count() >= 1);
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
    const BuildResult r = BuildLomDatabase(
        { shellValues.DBaseName, shellValues.TempDir, fieldCatalogue().size() }, progress, shell::Messages());
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
    job.outputFile = fileName(qpnFileName_[2]).toStdString();
    job.format = FormatOfFileName(job.outputFile);
    job.group = chkGroup_->isChecked();
    for (int i = 0; i < lstFields_[1]->count(); ++i)
        job.fields.push_back(numberOf(lstFields_[1]->item(i)));
    if (cboFields_->currentIndex() >= 0)
        job.sortField = cboFields_->currentData().toInt();
    job.descending = descending_;
    job.delimiterText = cboDelimit_->currentText().toStdString();
    return job;
}

BuildResult FrmLomedit::builtDatabase()
{
    // The temporary database of the last build (preview or finish) serves.
    BuildResult built;
    built.built = lomState().lomDatabaseBuilt;
    built.tempDbName = lomState().tempDbName;
    built.eicFieldName = lomState().eicFieldName;
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
    if (lastWritten_.written)
        return;
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
