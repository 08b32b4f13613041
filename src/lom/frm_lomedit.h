// frmLomedit, the List of Materials wizard: page 0 confirms the EID and
// shows the project, page 1 chooses the fields, the sort field, the
// delimiter and the LOM file, page 2 writes the file (with a preview).
// The file's format follows its extension (.txt: the classic LOM; .csv,
// .xlsx, .html: a table with headers); page 2's "Group equal parts" puts
// equal parts on one line with a quantity and their names.
//
// The window shows a LomWizardModel (which holds every choice, the pages and
// the work) and passes the user's actions to it. While the build, the file
// or the preview's lines are made, the progress bar moves, the window's
// events run, and Cancel (or the close box) stops the work instead of
// closing; the wizard then stays with every choice.
// The temporary database named by TempDbName is deleted when the window is
// destroyed (its unload).
#pragma once

#include "form_helpers.h"
#include "lom_job.h"
#include "lom_wizard_model.h"

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QLineEdit;
class QPushButton;
class QSpinBox;

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
    using Step = LomWizardModel::Step;
    static constexpr int kPageCount = LomWizardModel::kPageCount;

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

    const LomWizardModel& model() const { return model_; }
    Step currentStep() const { return model_.step(); }
    const QString& lomQuery() const { return lomQuery_; }
    const QString& lomDelimiter() const { return lomDelimiter_; }
    const std::vector<std::string>& selectedCaptions() const { return selectedCaptions_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cmdFile_Click(int index);
    void cmdBrwse_Click(int index);
    void cmdAddDel_Click(int index);
    void moveChosen(int delta);
    void finish();
    // After the file is written: how many lines went where, with answers
    // that open the file or its folder.
    void ReportWritten();
    // Shows the model: the page, the names, the lists, the boxes and what may
    // be pressed.
    void refresh();
    void refreshLists();
    void refreshButtons();
    // Work starts or ends: only Cancel (and the progress bar) stay live.
    void setBusy(bool busy);
    void refreshTooltip(QListWidget* list);
    std::vector<int> selectedRows(const QListWidget* list) const;

    LomWizardModel model_;
    bool busy_ = false;
    QString lomQuery_;
    QString lomDelimiter_;
    std::vector<std::string> selectedCaptions_;

    ZerOvize* qpnCreateLOM_[kPageCount];
    QLabel* lblCaption_[2];
    QLabel* lblDescrip_[2];
    QLineEdit* txtEidFile_;
    ZerOvize* qpnProject_;
    QLineEdit* txtLomFile_;
    QPushButton* cmdFile_[2];
    QListWidget* lstFields_[2];
    QPushButton* cmdAddDel_[2];
    QPushButton* cmdMove_[2];
    QComboBox* cboFields_;
    QComboBox* cboDelimit_;
    QLabel* label3_;
    QLabel* lblOpDescr_[2];
    QPushButton* cmdPvw_;
    QCheckBox* chkGroup_;
    QComboBox* cboProfile_;
    QSpinBox* spnBoards_;
    QComboBox* cboDnp_;
    QCheckBox* chkCheck_;
    ZerOvize* qpnPbar_;
    QWidget* picBrwse_;
    QPushButton* cmdBrwse_[3];
    QPushButton* cmdHelp_;
};

} // namespace rav::lom
