#include "host_window.h"

#include "host_commands.h"
#include "zareza2v.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cmath>

bool startShellRequest(const std::string& command)
{
    const auto request = rav::shell::ParseShellRequest(command);
    if (!request)
        return false;
    QStringList words = QProcess::splitCommand(QString::fromStdString(request->commandLine));
    if (words.isEmpty())
        return false;
    const QString program = words.takeFirst();
    return QProcess::startDetached(program, words);
}

HostWindow::HostWindow(AddinHost& addin, QWidget* parent)
    : QMainWindow(parent)
    , addin_(addin)
{
    setWindowTitle("Dodiv 2000");
    resize(420, 480);

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Open project...", this, [this] {
        const QString path
            = QFileDialog::getOpenFileName(this, "Open project", {}, "Projects (*.dpz);;All files (*)");
        if (!path.isEmpty())
            openProject(path);
    });
    file->addSeparator();
    file->addAction("E&xit", this, &QWidget::close);

    QMenu* editor = menuBar()->addMenu("&Editor");
    editor->addAction("&List of Materials Editor", this, [this] { loadEditor(0); });
    editor->addAction("Load &minimised", this, [this] { loadEditor(1); });
    editor->addAction("Load m&aximised", this, [this] { loadEditor(2); });
    editor->addSeparator();
    editor->addAction("&Refresh (RAVEDERI,UP)", this, [this] { sendCommand("RAVEDERI,UP"); });
    editor->addAction("&Close editor (RAVEDERI,EX)", this, [this] { sendCommand("RAVEDERI,EX"); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* row = new QHBoxLayout;
    command_ = new QLineEdit(central);
    command_->setPlaceholderText("Command for the editor, e.g. RAVEDERI,MN");
    auto* send = new QPushButton("&Send", central);
    row->addWidget(command_);
    row->addWidget(send);
    layout->addLayout(row);
    layout->addWidget(new QLabel("Notifications:", central));
    notifications_ = new QListWidget(central);
    layout->addWidget(notifications_);
    setCentralWidget(central);
    project_ = new QLabel("No project open", this);
    statusBar()->addWidget(project_);

    connect(send, &QPushButton::clicked, this, [this] { sendCommand(command_->text()); });
    connect(command_, &QLineEdit::returnPressed, this, [this] { sendCommand(command_->text()); });
}

bool HostWindow::openProject(const QString& path)
{
    if (!Z_OpenProject(path.toUtf8().constData())) {
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(Z_LastError()));
        project_->setText("No project open");
        return false;
    }
    project_->setText(QString::fromUtf8(Z_ProjectPath()));
    publishWidth();
    // The editor learns about the new project through its refresh command.
    if (addin_.isCreated())
        sendCommand("All,UP");
    return true;
}

void HostWindow::loadEditor(int mode)
{
    if (!addin_.isCreated()) {
        if (!addin_.create(AddinHost::defaultLibraryPath())) {
            QMessageBox::warning(this, windowTitle(), addin_.errorText());
            return;
        }
        addin_.setSeverPath(AddinHost::defaultHelpPath().toStdString());
    }
    log(QString("Load(%1) = %2").arg(mode).arg(addin_.load(mode) ? "True" : "False"));
}

void HostWindow::sendCommand(const QString& command)
{
    if (command.isEmpty())
        return;
    const int error = addin_.notifyMe(command.toStdString());
    if (error != 0)
        log(QString("NotifyMe(%1) failed with error %2").arg(command).arg(error));
}

void HostWindow::notified(const std::string& name, const std::string& command)
{
    log(QString::fromStdString(name) + "\t" + QString::fromStdString(command));
    if (command.rfind("SHELL,", 0) == 0 && !startShellRequest(command))
        log("Could not start: " + QString::fromStdString(command));
    if (name == "RAVEDERI" && command == "SHUTDOWN")
        statusBar()->showMessage("The editor has closed.", 5000);
}

void HostWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    publishWidth();
}

void HostWindow::publishWidth()
{
    if (DB_DataBase() == 0)
        return;
    // The editor places its wide windows to the right of the host: it reads
    // the host's width, in twips, from the kernel's string table.
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    const long twips = std::lround(frameGeometry().width() * 1440.0 / dpi);
    E_SetString("MAINWIDTH", std::to_string(twips).c_str());
}

void HostWindow::log(const QString& line)
{
    notifications_->addItem(line);
    notifications_->scrollToBottom();
}
