#include "frm_progress.h"

#include "cancel_flag.h"
#include "shell_services.h"
#include "zerovize.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace rav::dialogs
{

FrmProgress::FrmProgress(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , qpnPbar_(new ZerOvize(this))
    , label1_(new QLabel("Please wait ...", this))
    , cmdCancel_(new QPushButton("Cancel", this))
{
    setObjectName("frmProgress");
    qpnPbar_->setObjectName("qpnPbar");
    qpnPbar_->setStyle(ZerOvize::FloodStyle::LeftToRight);
    qpnPbar_->setMinimumSize(320, 24);
    label1_->setObjectName("Label1");
    label1_->setProperty(shell::kTagProperty, "3720");
    label1_->setAlignment(Qt::AlignCenter);
    cmdCancel_->setObjectName("cmdCancel");
    cmdCancel_->setProperty(shell::kTagProperty, "99388");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(qpnPbar_);
    layout->addWidget(cmdCancel_, 0, Qt::AlignHCenter);
    connect(cmdCancel_, &QPushButton::clicked, this, [] { cancelFlag().store(true); });
}

void FrmProgress::load()
{
    shell::LocaliseForm(this);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
    show();
    shell::SetTopMost(this, true);
}

void FrmProgress::UpdateProgress(long value)
{
    qpnPbar_->setValue(value);
    qpnPbar_->refresh();
}

} // namespace rav::dialogs
