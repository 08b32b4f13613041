#include "rozerazu.h"

#include "placement.h"
#include "rozerazu_layout.h"
#include "shell_services.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <stdexcept>

namespace rav::dialogs
{

namespace
{

// The prompt label's design width and the gaps around the controls, in pixels.
constexpr int kLabelWidth = 320;
constexpr int kGap = 8;
constexpr int kButtonWidth = 96;

QPointer<Rozerazu>& current()
{
    static QPointer<Rozerazu> dialog;
    return dialog;
}

double twipsPerPixel(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return shell::TwipsPerPixel(screen ? screen->logicalDotsPerInchY() : 96.0);
}

} // namespace

Rozerazu::Rozerazu(QWidget* parent)
    : QDialog(parent)
    , lblPrompt_(new QLabel(this))
    , txtText_(new QLineEdit(this))
    , cboCombo_(new QComboBox(this))
    , cboDropdown_(new QComboBox(this))
    , cmdAccept_(new QPushButton("Accept", this))
    , cmdCancel_(new QPushButton("Cancel", this))
{
    setObjectName("Rozerazu");
    setModal(true);
    lblPrompt_->setObjectName("lblPrompt");
    lblPrompt_->setWordWrap(true);
    lblPrompt_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    txtText_->setObjectName("txtText");
    cboCombo_->setObjectName("cboCombo");
    cboCombo_->setEditable(true);
    cboCombo_->setInsertPolicy(QComboBox::NoInsert);
    cboDropdown_->setObjectName("cboDropdown");
    cboDropdown_->setEditable(false);
    cmdAccept_->setObjectName("cmdAccept");
    cmdAccept_->setProperty(shell::kTagProperty, "99177");
    cmdAccept_->setDefault(true);
    cmdCancel_->setObjectName("cmdCancel");
    cmdCancel_->setProperty(shell::kTagProperty, "99388 ");
    connect(cmdAccept_, &QPushButton::clicked, this, &Rozerazu::accept);
    connect(cmdCancel_, &QPushButton::clicked, this, &Rozerazu::reject);
    txtText_->hide();
    cboCombo_->hide();
    cboDropdown_->hide();
    shell::LocaliseForm(this);
}

Rozerazu* Rozerazu::active()
{
    return current().data();
}

std::string Rozerazu::QUERY(const std::string& title, const std::string& prompt,
    std::vector<std::string>& values, long mode, long& index)
{
    if (values.empty())
        throw std::out_of_range("QUERY: the list has no element 0");
    Rozerazu dialog(QApplication::activeWindow());
    current() = &dialog;
    dialog.result_.clear();
    dialog.layOut(prompt);
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.mode_ = mode;
    dialog.index_ = index;
    switch (mode) {
    case 2:
        dialog.cboCombo_->clear();
        for (std::size_t i = 1; i < values.size(); ++i)
            dialog.cboCombo_->addItem(QString::fromStdString(values[i]));
        dialog.cboCombo_->setEditText(QString::fromStdString(values[0]));
        dialog.cboCombo_->show();
        dialog.cboCombo_->setFocus();
        break;
    case 3:
        dialog.cboDropdown_->clear();
        for (std::size_t i = 1; i < values.size(); ++i)
            dialog.cboDropdown_->addItem(QString::fromStdString(values[i]));
        dialog.cboDropdown_->setCurrentIndex(
            index >= 0 && index < dialog.cboDropdown_->count() ? int(index) : -1);
        dialog.cboDropdown_->show();
        dialog.cboDropdown_->setFocus();
        break;
    default:
        dialog.txtText_->setText(QString::fromStdString(values[0]));
        dialog.txtText_->show();
        dialog.txtText_->setFocus();
        break;
    }
    dialog.lblPrompt_->setText(QString::fromStdString(prompt));
    SetForm(&dialog);
    dialog.exec();
    current() = nullptr;
    values[0] = dialog.result_;
    index = dialog.index_;
    return dialog.result_;
}

void Rozerazu::layOut(const std::string& prompt)
{
    const double tpp = twipsPerPixel(this);
    const QFontMetrics fm(font());
    QueryLayoutInput in;
    in.labelWidth = shell::PixelsToTwips(kLabelWidth, tpp);
    in.promptLines = CountCrLfLines(prompt);
    long width = 0;
    for (const QString& line : QString::fromStdString(prompt).split("\r\n"))
        width += fm.horizontalAdvance(line);
    in.promptWidth = shell::PixelsToTwips(static_cast<int>(width), tpp);
    in.textHeight = shell::PixelsToTwips(fm.boundingRect("R").height(), tpp);
    const int inputPx = txtText_->sizeHint().height();
    in.inputHeight = shell::PixelsToTwips(inputPx, tpp);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    in.screenHeight = shell::PixelsToTwips(screen ? screen->availableGeometry().height() : 768, tpp);
    const QueryLayout layout = LayOutQuery(in);

    const int inner = shell::TwipsToPixels(layout.height, tpp);
    setFixedSize(kGap + kLabelWidth + kGap + kButtonWidth + kGap, inner);
    const int promptPx = shell::TwipsToPixels(PromptHeight(layout.height, in.inputHeight), tpp);
    const int inputTop = shell::TwipsToPixels(InputTop(layout.height, in.inputHeight), tpp);
    lblPrompt_->setGeometry(kGap, kGap, kLabelWidth, std::max(promptPx - kGap, fm.height()));
    for (QWidget* input : { static_cast<QWidget*>(txtText_), static_cast<QWidget*>(cboCombo_),
             static_cast<QWidget*>(cboDropdown_) })
        input->setGeometry(kGap, inputTop - kGap, kLabelWidth, inputPx);
    // The buttons stand beside the prompt, at the top right.
    const int buttonLeft = kGap + kLabelWidth + kGap;
    cmdAccept_->setGeometry(buttonLeft, kGap, kButtonWidth, cmdAccept_->sizeHint().height());
    cmdCancel_->setGeometry(
        buttonLeft, kGap * 2 + cmdAccept_->height(), kButtonWidth, cmdCancel_->sizeHint().height());
}

void Rozerazu::accept()
{
    switch (mode_) {
    case 2:
        result_ = cboCombo_->currentText().toStdString();
        index_ = 0;
        cboCombo_->hide();
        cboCombo_->clear();
        break;
    case 3:
        result_ = cboDropdown_->currentText().toStdString();
        index_ = cboDropdown_->currentIndex() + 1;
        cboDropdown_->hide();
        cboDropdown_->clear();
        break;
    case 1:
        index_ = 0;
        [[fallthrough]];
    default:
        result_ = txtText_->text().toStdString();
        txtText_->hide();
        break;
    }
    QDialog::accept();
}

void Rozerazu::reject()
{
    result_.clear();
    index_ = -1;
    QDialog::reject();
}

void Rozerazu::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    shell::SetTopMost(this, true);
}

void Rozerazu::keyPressEvent(QKeyEvent* event)
{
    // Enter anywhere accepts, the editable combo box included.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::ControlModifier) {
        shell::ShowCurrentHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SetForm(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect s = screen->geometry();
    window->move(s.left() + std::abs(s.width() - window->width()) / 2,
        s.top() + std::abs(s.height() - window->height()) / 2);
}

std::string QueryBox(const std::string& title, const std::string& prompt, std::vector<std::string>& values,
    long mode, long& index)
{
    QApplication::beep();
    return Rozerazu::QUERY(title, prompt, values, mode, index);
}

} // namespace rav::dialogs
