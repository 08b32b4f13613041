// Rozerazu, the editor's modal question box: a title, a prompt of any
// length and one input control - a free text box (mode 1, and any mode
// other than 2 and 3), an editable combo box (mode 2) or a fixed drop-down
// list (mode 3). It grows to fit the prompt and returns what the user
// entered or picked.
//
// `values` is the list argument: element 0 holds the initial text and, on
// return, the result; elements 1.. are the choices of the combo boxes.
// `index` is, on entry, the list position to preselect in mode 3 and, on
// return, 0 (modes 1 and 2), the picked position + 1 (mode 3) or -1 (Cancel).
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rav::dialogs
{

class Rozerazu : public QDialog
{
    Q_OBJECT
public:
    explicit Rozerazu(QWidget* parent = nullptr);

    // Shows a dialog modally and returns the result. A `values` without
    // element 0 throws std::out_of_range, as the caller's subscript would.
    static std::string QUERY(const std::string& title, const std::string& prompt,
        std::vector<std::string>& values, long mode, long& index);

    // The dialog currently asking, or null (for tests and for the host's
    // automation, which answer it).
    static Rozerazu* active();

    QLineEdit* txtText() const { return txtText_; }
    QComboBox* cboCombo() const { return cboCombo_; }
    QComboBox* cboDropdown() const { return cboDropdown_; }
    QLabel* lblPrompt() const { return lblPrompt_; }
    QPushButton* cmdAccept() const { return cmdAccept_; }
    QPushButton* cmdCancel() const { return cmdCancel_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layOut(const std::string& prompt);
    void accept() override;
    void reject() override;

    QLabel* lblPrompt_;
    QLineEdit* txtText_;
    QComboBox* cboCombo_;
    QComboBox* cboDropdown_;
    QPushButton* cmdAccept_;
    QPushButton* cmdCancel_;
    long mode_ = 1;
    long index_ = 0;
    std::string result_;
};

// Centres a window on its screen.
void SetForm(QWidget* window);

// The entry other windows use: a beep, then QUERY.
std::string QueryBox(const std::string& title, const std::string& prompt, std::vector<std::string>& values,
    long mode, long& index);

} // namespace rav::dialogs
