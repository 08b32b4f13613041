// frmPreview: the List of Materials built by the LOM wizard, shown in a
// bound grid over the temporary database, with the chosen fields' captions
// as column titles. A click on a column header asks the owner to re-sort
// (the wizard rebuilds its query and calls formUpdate again).
//
// Lifecycle: created by the wizard, loaded (placed) at construction; the
// first formUpdate shows it modally and returns when the user closes it.
// A failing formUpdate shows "Unable to display Preview" and closes it.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

namespace rav
{
class ZerOvize;
}
namespace rav::grid
{
class DataSource;
class DataGridView;
} // namespace rav::grid

namespace rav::dialogs
{

class FrmPreview : public QDialog
{
    Q_OBJECT
public:
    explicit FrmPreview(QWidget* parent = nullptr);
    ~FrmPreview() override;

    // Points the grid at the database and record source, sets the caption
    // line and the column captions (one per column, 0-based), and shows the
    // window modally when it is not visible yet. False after a failure
    // (message 5447 shown, window closed).
    bool formUpdate(const std::string& databaseName, const std::string& recordSource,
        const std::vector<std::string>& captions);

    // What a header click does (column 0-based); nothing when unset.
    std::function<void(int column)> onHeaderClick;

    grid::DataSource* datPrev() const { return datPrev_; }
    grid::DataGridView* dbgPrev() const { return dbgPrev_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    grid::DataSource* datPrev_;
    ZerOvize* qpnPan_;
    grid::DataGridView* dbgPrev_;
};

} // namespace rav::dialogs
