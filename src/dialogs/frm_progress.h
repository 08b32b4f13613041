// frmProgress: a small topmost window with a progress bar, "Please wait ..."
// and a Cancel button that raises the process-wide cancel flag. The long
// operation that shows it polls the flag and unloads the window when it ends;
// Cancel itself never closes it.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace rav
{
class ZerOvize;
}

namespace rav::dialogs
{

class FrmProgress : public QWidget
{
    Q_OBJECT
public:
    explicit FrmProgress(QWidget* parent = nullptr);

    // Localises the window, centres it on the screen, shows it modeless and
    // keeps it above other windows.
    void load();
    // Sets the bar's value and paints it at once.
    void UpdateProgress(long value);

    ZerOvize* qpnPbar() const { return qpnPbar_; }

private:
    ZerOvize* qpnPbar_;
    QLabel* label1_;
    QPushButton* cmdCancel_;
};

} // namespace rav::dialogs
