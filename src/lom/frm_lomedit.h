// frmLomedit, the List of Materials wizard: page 0 confirms the EID and
// shows the project, page 1 chooses the fields, the sort field, the
// delimiter and the LOM file, page 2 writes the file (with a preview).
// The file's format follows its extension (.txt: the classic LOM; .csv,
// .xlsx, .html: a table with headers); page 2's "Group equal parts" puts
// equal parts on one line with a quantity and their names.
//
// Pages (CurrentStep) and how they change:
//   Eid --Next--> Fields --Next--> Finish --Next--> build if needed, write,
//    ^             |  ^              |               back to the main window
//    +----Back-----+  +------Back----+
// Entering Fields loads the field lists unless FieldsLoaded (the lists hold
// the catalogue of the EID shown). LomDatabaseBuilt is cleared when the
// wizard opens and when another EID is chosen, so the next preview or
// finish builds once and then re-uses the temporary database.
// The temporary database named by TempDbName is deleted when the window is
// destroyed (its unload).
#pragma once

#include "form_helpers.h"
#include "lom_job.h"

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace rav
{
class ZerOvize;
}

namespace rav::lom
{

class FrmLomedit : public QWidget
{
    Q_OBJECT
public:
    enum class Step : int { Eid = 0, Fields = 1, Finish = 2 };
    static constexpr int kPageCount = 3;

    explicit FrmLomedit(QWidget* parent = nullptr);
    ~FrmLomedit() override;

    // The query of the chosen fields, sorted by the sort field; also stores
    // it, the delimiter and the captions, and normalises the delimiter box.
    QString makeQueryString();
    // The preview button: builds when needed, then shows the preview while
    // the wizard hides.
    void cmdPvw_Click();

    // Answers the window's file dialogs in place of the user (tests,
    // automation); empty: the platform's dialogs.
    static void setFileChooser(shell::FileChooser chooser);

    Step currentStep() const { return step_; }
    bool fieldsLoaded() const { return fieldsLoaded_; }
    const QString& lomQuery() const { return lomQuery_; }
    const QString& lomDelimiter() const { return lomDelimiter_; }
    const std::vector<std::string>& selectedCaptions() const { return selectedCaptions_; }
    // The last build's or LOM file's outcome: empty, or the one line that
    // says why it was not written.
    const QString& lastWriteError() const { return lastWriteError_; }
    // How many temporary databases this window has built (one per build).
    int buildCount() const { return builds_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitWizard();
    bool PrepareStep(int k);
    void ShowStep(int k);
    void FillFieldList();
    void cmdFile_Click(int index);
    void cmdBrwse_Click(int index);
    void cmdAddDel_Click(int index);
    // The options of the output as the controls stand.
    LomJobOptions jobOptions() const;
    // The temporary database of the last build, as the job takes it.
    static BuildResult builtDatabase();
    void CreateLomFile();
    // After the file is written: how many lines went where, with answers
    // that open the file or its folder.
    void ReportWritten();
    bool buildIfNeeded();
    void afterListChange();
    void refreshTooltip(QListWidget* list);
    QString fileName(const ZerOvize* panel) const;
    QString projectText() const;

    Step step_ = Step::Eid;
    bool fieldsLoaded_ = false;
    QString lomQuery_;
    QString lomDelimiter_;
    std::vector<std::string> selectedCaptions_;
    int builds_ = 0;
    QString lastWriteError_;
    LomJobResult lastWritten_;
    std::string lastOutput_;
    bool lastFormatClassic_ = true;
    bool descending_ = false; // the sort order reversed (a second header click in the preview)

    ZerOvize* qpnCreateLOM_[kPageCount];
    QLabel* lblCaption_[2];
    QLabel* lblDescrip_[2];
    ZerOvize* qpnFileName_[3];
    QPushButton* cmdFile_[2];
    QListWidget* lstFields_[2];
    QPushButton* cmdAddDel_[2];
    QComboBox* cboFields_;
    QComboBox* cboDelimit_;
    QLabel* label3_;
    QLabel* lblOpDescr_[2];
    QPushButton* cmdPvw_;
    QCheckBox* chkGroup_;
    ZerOvize* qpnPbar_;
    QWidget* picBrwse_;
    QPushButton* cmdBrwse_[3];
    QPushButton* cmdHelp_;
};

} // namespace rav::lom
