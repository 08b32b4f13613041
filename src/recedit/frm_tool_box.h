// frmToolBox, the record editor's command window: a small window above the
// others with four tabs - "Project View" (project filter and the library
// update), "Associate" (automatic and manual association, with suggested
// records for the selected device), "EID View" (the EID file and its
// filter) and "Browse" (adding, deleting, moving). The record editor enables
// the two tabs that belong to its own current tab. A fifth, "Integrity",
// always enabled, shows where the project and the EID disagree.
//
// The user's close hides it; the record editor's unload deletes it.
#pragma once

#include "associate_tab.h"
#include "form_helpers.h"
#include "integrity_tab.h"
#include "toolbox_queries.h"
#include "view_tabs.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace rav
{
class ZerOvize;
}

namespace rav::integrity
{
struct EidRecords;
class SuggestionIndex;
} // namespace rav::integrity

namespace rav::recedit
{

class FrmRecEdit;

class FrmToolBox : public QWidget
{
    Q_OBJECT
public:
    explicit FrmToolBox(FrmRecEdit* recEdit);
    ~FrmToolBox() override; // saves the placement

    // Answers cmdFile's open-file dialog in place of the user (tests,
    // automation); empty: the platform's dialog.
    static void setFileChooser(shell::FileChooser chooser);

    // The commands, as their buttons run them.
    void cmdFilter_Click();
    void cmdRefresh_Click();
    void cmdFind_Click();
    void cmdUpdate_Click();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdMove_Click(int i);
    void cmdFile_Click();
    void optManAut_Click(int i);
    void cmdAssociate_Click(int i);
    void txtMove_Enter();
    // Ranks the EID's records for the project-view row's device.
    void cmdSuggest_Click();
    // Puts the chosen suggestion's code into the manual EIC box.
    void lstSuggest_Activated();
    // Fills the integrity page.
    void cmdCheck_Click();
    // Selects the device (or record) of the finding in row `row`.
    void tblFindings_Activated(int row);

    // Public operations the record editor uses.
    void FillFieldLists();
    void FilllocalGrid();
    void cmdAssUpd(bool bothSelected);
    // The project view's current device changed (part name, empty: none).
    void deviceSelected(const std::string& part, bool bothSelected);
    // The search result's current record changed (its EIC, none without one).
    void recordSelected(const std::optional<std::string>& eic, bool bothSelected);
    const AssociateTab& associateTab() const { return associate_; }
    const ProjectViewTab& projectViewTab() const { return projectView_; }
    const EidViewTab& eidViewTab() const { return eidView_; }
    // Follows the EID grid's current record (Browse and EID View controls).
    void followRecord();
    // The line under the EID grid: the Browse tab's record count and the
    // EID View tab's filter.
    std::string recordStatus() const;
    // The EID grid was sorted by a header click: the sort list follows.
    void followSort(const std::string& field);
    // A cell edit is about to start in the EID grid.
    void enterEditPending();
    // Enables exactly the tool box tabs `first` and `first + 1` and selects `first`.
    void enableTabPair(int first);

    bool editPendingFlag() const { return editPending_; }
    bool manualMode() const { return associate_.mode() == AssociateMode::Manual; }

    const std::vector<FindingRow>& findings() const { return findings_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void load();
    void place();
    void setBrowseEnabled(bool enabled);
    void setAddCaption(bool update);
    // Shows the Associate tab's model: the EIC box, what is enabled, the warning.
    void showAssociateState();
    // Shows the Project View and EID View tabs' models: lists and what is enabled.
    void showViewTabs();
    // Passes a filter row's choices to its model.
    void followFilter(
        FilterChoice& filter, QComboBox* where, QComboBox* op, QLineEdit* value, QComboBox* sort);
    void showSuggestions();
    // The catalogue number an item of a field list carries; 0 when none.
    static int itemNumber(const QComboBox* list);

    FrmRecEdit* recEdit_;
    QTabWidget* tabMain_ = nullptr;
    std::array<QWidget*, 4> picTab_ {};
    QComboBox* cboWhere1_ = nullptr;
    QComboBox* cboWhere2_ = nullptr;
    QLineEdit* txtWhere3_ = nullptr;
    QComboBox* cboSort_ = nullptr;
    QPushButton* cmdRefresh_ = nullptr;
    QPushButton* cmdUpdate_ = nullptr;
    std::array<QRadioButton*, 2> optManAut_ {};
    std::array<QComboBox*, 3> cboFind_ {};
    QPushButton* cmdFind_ = nullptr;
    std::array<QPushButton*, 2> cmdAssociate_ {};
    QLineEdit* txtEIC_ = nullptr;
    ZerOvize* qpnFile_ = nullptr;
    QPushButton* cmdFile_ = nullptr;
    QComboBox* cboFields_ = nullptr;
    QComboBox* cboCompare_ = nullptr;
    QLineEdit* txtValue_ = nullptr;
    QComboBox* cboFieldSort_ = nullptr;
    QPushButton* cmdFilter_ = nullptr;
    QPushButton* cmdAdd_ = nullptr;
    QPushButton* cmdDelete_ = nullptr;
    std::array<QPushButton*, 4> cmdMove_ {};
    QPushButton* cmdSuggest_ = nullptr;
    QListWidget* lstSuggest_ = nullptr;
    QLabel* lblWeak_ = nullptr;
    QPushButton* cmdCheck_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    QTableWidget* tblFindings_ = nullptr;
    std::vector<FindingRow> findings_;
    // The suggestion index of the EID last suggested from, kept while the
    // EID stays the same.
    std::string suggestEid_;
    std::unique_ptr<integrity::EidRecords> suggestRecords_;
    std::unique_ptr<integrity::SuggestionIndex> suggestIndex_;
    QLineEdit* txtMove_ = nullptr;
    QLineEdit* txtField_ = nullptr;

    bool editPending_ = false;
    AssociateTab associate_;
    ProjectViewTab projectView_;
    EidViewTab eidView_;
};

} // namespace rav::recedit
