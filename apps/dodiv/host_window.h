// The interactive host: a project, the editor's commands and a log of its
// notifications.
#pragma once

#include "addin_host.h"

#include <QMainWindow>

class QLineEdit;
class QListWidget;
class QLabel;

class HostWindow final : public QMainWindow
{
    Q_OBJECT
public:
    explicit HostWindow(AddinHost& addin, QWidget* parent = nullptr);

    // Opens a project through the kernel; false (message shown) on failure.
    bool openProject(const QString& path);
    void loadEditor(int mode);
    void sendCommand(const QString& command);

    // Called for every notification of the editor.
    void notified(const std::string& name, const std::string& command);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void publishWidth();
    void log(const QString& line);

    AddinHost& addin_;
    QLineEdit* command_ = nullptr;
    QListWidget* notifications_ = nullptr;
    QLabel* project_ = nullptr;
};

// Starts the program of a SHELL request; false when it could not start.
bool startShellRequest(const std::string& command);
