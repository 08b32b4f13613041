// frmEidedit, the EID file wizard: creates a new EID (field names and sizes
// in a grid, then the EIC field) or applies one operation to an existing
// EID (import from a text file, export to a text file, removal of records).
//
// Pages and the step counter (-1 on the first page, else the index of the
// shown page of the path chosen when the first page is left):
//
//   First --Next--> [Create] Step 1 of 2 <-> Step 2 of 2 --Next: build-->
//     |                 close, or (open for editing) --> [Edit] Step 1 of 3
//     +-----Next--> [Edit]   Step 1 of 3 <-> Step 2 of 3 <-> Step 3 of 3
//                       --Next: run the operation--> close
//
// Back is disabled on the first page of each path, so the first page never
// comes back. PrepareStep(k) does the work of entering page k and may
// refuse it; ShowStep(k) shows it. The done flag is set by a completed
// creation or operation; only then does the wizard's file become the
// current EID when the window goes.
#pragma once

#include "eid_field_list.h"
#include "eid_operation.h"
#include "form_helpers.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableView;

namespace rav
{
class ZerOvize;
} // namespace rav

namespace rav::eid
{

class EidFieldTableModel;

class FrmEidedit : public QWidget
{
    Q_OBJECT
public:
    using Path = WizardPath;

    explicit FrmEidedit(QWidget* parent = nullptr);
    ~FrmEidedit() override; // the unload: the current EID becomes the wizard's file when done

    // Answers the window's file dialogs in place of the user (tests,
    // automation); empty: the platform's dialogs.
    static void setFileChooser(shell::FileChooser chooser);

    Path path() const { return path_; }
    int step() const { return counter_; }
    bool done() const { return done_; }
    // The fields of the creation path, as defined so far.
    const EidFieldList& fields() const { return fields_; }
    // The outcome of the last operation run by the wizard.
    const OperationResult& lastResult() const { return lastResult_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFirstPage();
    void buildCreatePages();
    void buildEditPages();

    void InitWizard();
    bool PrepareStep(int k);
    void ShowStep(int k);
    void cmdBrwse_Click(int index);
    void optnFileType_Click(int index);
    void cmdFile_Click(int index);
    // The first page's names: set from a dialog or the settings, typed, done typing.
    void setEidName(int index, const QString& name);
    void nameTyped(int index, const QString& typed);
    void nameFinished(int index);
    void optnOperation_Click(int index);
    void cmdEli_Click(int index);
    void chkSpeciRange_Click();
    void LoadFieldLists(const QString& eidName);
    Operation selectedOperation() const;
    bool CreateEid();
    void switchToEditPath();
    // Before a removal: asks, naming the file and the number of records;
    // false (the wizard stays) for No, nothing to delete or an unreadable EID.
    bool ConfirmRemoval();
    // Next on the last page of each path.
    void finishCreation();
    void finishOperation();
    void RunOperation();
    // After an operation: what it did, or why it stopped.
    void ReportOperation();
    void closeAsCancel();
    void updateHelpTopic(bool show);

    // Next and Back as the step logic allows them now.
    void refreshButtons();
    // The field grid of the creation path, a view over fields_.
    void InitFieldGrid();
    void showCurrentField();
    void cmdAddUp_Click(int index);
    void UpdateFieldRow();
    void FillEicFieldList();
    void normaliseSizeBox();

    Path path_ = Path::None;
    int counter_ = -1;
    bool gridBuilt_ = false;
    bool existingIsEid_ = false; // the first page's existing file passed IsEidDatabase
    EidFieldList fields_;
    bool editingFields_ = false; // the grid follows the list while it changes, not the other way
    bool listsLoaded_ = false;
    bool done_ = false;
    Range range_; // built when "Step 2 of 3" is left
    OperationResult lastResult_;

    // First page.
    ZerOvize* qpnSelect_;
    QRadioButton* optnFileType_[2];
    QLineEdit* txtFileName_[2];
    // The names as given (typed or chosen), a server's password included;
    // the boxes, messages and settings get them without it.
    QString eidName_[2];
    QPushButton* cmdFile_[2];
    // Creation path.
    ZerOvize* qpnNewSteps_[kCreatePages];
    QTableView* tblFields_;
    EidFieldTableModel* fieldTable_;
    QLineEdit* txtField_[2];
    QPushButton* cmdAddUp_[2];
    QListWidget* lstFields_;
    QCheckBox* chkFields_;
    // Edit path.
    ZerOvize* qpnExsSteps_[kEditPages];
    ZerOvize* qpnDBName_[2];
    QRadioButton* optnOperation_[3];
    ZerOvize* qpntxtFile_[3];
    QPushButton* cmdEli_[2];
    QLabel* lblCaption4_;
    QCheckBox* chktrimVal_;
    QRadioButton* optnUpdatetype_[2];
    QComboBox* cboDelimit_;
    QCheckBox* chkSpeciRange_;
    QComboBox* cboOptField_[2];
    QLineEdit* txtOptField_[2];
    QLabel* optLabels_[4]; // "Field:", "Start Value:", "End Value:", "Sort by:"
    QLabel* lblOpDescr_;
    ZerOvize* qpnPbar_;
    // Button bar.
    QWidget* picBrwse_;
    QPushButton* cmdBrwse_[3];
    QPushButton* cmdHelp_;
};

} // namespace rav::eid
