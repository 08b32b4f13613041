// frmRecEdit, the window of the module "EID File editor and Associate": the
// records of the current EID in an editable grid ("EID Edit View") and, for
// association, the project's parts above the EID records that may be
// associated with them ("Associate EID"). Every command lives in the tool
// box, which this window owns, shows beside itself and keeps in step with
// its grids; the tool box fills the grids through FillReced, SearchAndFill
// and SortAndFill.
//
// Edit state of the EID grid: normal <-> edit pending. A cell editor opening
// (or a record set left in edit/add mode by "&Add") makes it pending; the
// record-change handler brings it back to normal once the record set is in
// neither mode. CommitPendingEdit() ends a pending edit by writing it.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <string>

class QLabel;
class QStyledItemDelegate;
class QTabWidget;

namespace rav::grid
{
class DataSource;
class DataGridView;
} // namespace rav::grid

namespace rav::recedit
{

class FrmToolBox;
class CellEditWatcher;

class FrmRecEdit : public QWidget
{
    Q_OBJECT
public:
    explicit FrmRecEdit(QWidget* parent = nullptr);
    ~FrmRecEdit() override; // the unload

    // The fill operations the tool box calls. FillReced and SortAndFill
    // return false (grid unchanged) when the query cannot be opened, with
    // the engine's text in *error; SearchAndFill ignores every failure.
    bool FillReced(const std::string& sql, std::string* error = nullptr);
    void SearchAndFill(const std::string& sql);
    bool SortAndFill(const std::string& sql, std::string* error = nullptr);
    // Shows the device `part` in the project view (switching to "Associate
    // EID", which builds the view when needed) and makes it the current row.
    // False when the view cannot show it (no project, or filtered out).
    bool SelectDevice(const std::string& part);
    // Shows the record of EIC `code` in the EID edit grid; false when the
    // grid's filter hides it.
    bool SelectRecord(const std::string& code);
    // The line under the EID edit grid, as the tool box's tabs say it.
    void showStatus();
    // Marks the EID edit grid's column of `field` as the sort column.
    void showSortColumn(const std::string& field, bool descending);
    // A header click: sorts the EID edit grid by that column, reversing a
    // second click on the same column.
    void sortByColumn(int column);
    QLabel* lblStatus() const { return lblStatus_; }

    grid::DataSource* datReced() const { return datReced_; }
    grid::DataSource* datSearchRes() const { return datSearchRes_; }
    grid::DataSource* datWholeView() const { return datWholeView_; }
    grid::DataGridView* dbgRecEd() const { return dbgRecEd_; }
    grid::DataGridView* dbgSearchRes() const { return dbgSearchRes_; }
    grid::DataGridView* dbgWholeView() const { return dbgWholeView_; }
    QTabWidget* tabMain() const { return tabMain_; }
    QWidget* picSep() const { return picSep_; }
    QLabel* lblTbx(int i) const { return lblTbx_[static_cast<std::size_t>(i)]; }
    FrmToolBox* toolBox() const { return toolBox_; }

    // The EIC column of the EID the grids show (refreshed by every fill).
    const std::string& eicFieldName() const { return eicFieldName_; }
    // The project view database and whether it has been built for the
    // current EID.
    const std::string& projectViewDbName() const { return projectViewDbName_; }
    void setProjectViewDbName(const std::string& name) { projectViewDbName_ = name; }
    bool projectViewLoaded() const { return projectViewLoaded_; }
    void setProjectViewLoaded(bool loaded) { projectViewLoaded_ = loaded; }

    // True while a cell of the EID grid is being edited or the record set
    // is in edit or add mode.
    bool editPending() const;
    // Writes a pending edit (the open cell editor, else the record set's
    // edit or add buffer) without showing grid errors.
    void CommitPendingEdit();

    // A project is open in the host.
    static bool projectOpen();
    // The current EID passes the recognition test (or is the file the EID
    // grid has open, which the exclusive test could not open again).
    bool currentEidValid() const;
    // Whether to fill the EID grid from `eid`: the EID the tool box took
    // (it recognised it then), else the recognition test.
    bool eidRecognised(const std::string& eid) const;
    // Enables "Associate EID" when the EID is valid and a project is open.
    void updateAssociateTab();

    // Moves the splitter bar to `top` (pixels in the associate tab) and lays
    // the tab out again.
    void moveSplitter(int top);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void load();
    void placeWindow();
    void tabChanged(int index);
    void layOutAssociateTab();
    void showToolBox();
    void recedRecordChanged();
    void wholeViewRecordChanged();
    void searchResRecordChanged();

    QTabWidget* tabMain_ = nullptr;
    std::array<QWidget*, 2> picTab_ {};
    std::array<QLabel*, 2> lblTbx_ {};
    QWidget* picSep_ = nullptr;
    grid::DataSource* datReced_ = nullptr;
    grid::DataSource* datSearchRes_ = nullptr;
    grid::DataSource* datWholeView_ = nullptr;
    grid::DataGridView* dbgRecEd_ = nullptr;
    grid::DataGridView* dbgSearchRes_ = nullptr;
    grid::DataGridView* dbgWholeView_ = nullptr;
    CellEditWatcher* cellEdits_ = nullptr;
    QPointer<FrmToolBox> toolBox_;

    std::string eicFieldName_;
    std::string projectViewDbName_;
    bool projectViewLoaded_ = false;
    bool showGridErrors_ = false;
    QLabel* lblStatus_ = nullptr;
    std::string sortField_; // the EID grid's sort column and order
    bool sortDescending_ = false;
    int splitterTop_ = -1; // pixels in picTab(1); -1 until the tab is first shown
    int dragStartY_ = -1; // splitter drag in progress: where it started
};

} // namespace rav::recedit
