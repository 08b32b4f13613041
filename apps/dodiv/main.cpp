// dodiv: the small host program of the editor.
//
//   dodiv [PROJECT.dpz]                 interactive host window
//   dodiv --project P.dpz --load MODE [--send CMD]... [--notifications]
//                                       automation: open P, Load(MODE), pass
//                                       each CMD to NotifyMe in order, print
//                                       every notification as NAME<TAB>COMMAND
//
// Automation stops after the editor's "SHUTDOWN" or after the last command,
// then releases the editor. Exit 0 when every step worked, 1 when the
// project, the library or a command failed (one line on stderr), 2 for bad
// arguments.
#include "addin_host.h"
#include "help_engine.h"
#include "host_window.h"
#include "zareza2v.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <iostream>

namespace
{

struct Options {
    QString project;
    bool automate = false;
    int mode = 0;
    QStringList commands;
    bool printNotifications = false;
};

int usage(const QString& problem)
{
    std::cerr << "dodiv: " << problem.toStdString() << "\n"
              << "usage: dodiv [--editor MODE] [PROJECT.dpz]\n"
              << "       dodiv --project P.dpz --load MODE [--send CMD]... [--notifications]\n";
    return 2;
}

int automate(const Options& options)
{
    if (!options.project.isEmpty() && !Z_OpenProject(options.project.toUtf8().constData())) {
        std::cerr << "dodiv: cannot open " << options.project.toStdString() << ": " << Z_LastError() << "\n";
        return 1;
    }
    // No host window in automation: a width of 0 lets the editor's wide
    // windows use the whole work area.
    if (DB_DataBase() != 0)
        E_SetString("MAINWIDTH", "0");

    AddinHost addin;
    bool shutDown = false;
    addin.setListener([&](const std::string& name, const std::string& command) {
        if (options.printNotifications) {
            std::cout << name << '\t' << command << '\n';
            std::cout.flush();
        }
        if (command.rfind("SHELL,", 0) == 0 && !startShellRequest(command))
            std::cerr << "dodiv: could not start: " << command << "\n";
        if (name == "RAVEDERI" && command == "SHUTDOWN")
            shutDown = true;
    });
    if (!addin.create(AddinHost::defaultLibraryPath())) {
        std::cerr << "dodiv: " << addin.errorText().toStdString() << "\n";
        return 1;
    }
    addin.setSeverPath(AddinHost::defaultHelpPath().toStdString());

    int result = 0;
    if (!addin.load(options.mode) && !shutDown) {
        std::cerr << "dodiv: Load(" << options.mode << ") returned False\n";
        result = 1;
    }
    for (const QString& command : options.commands) {
        if (shutDown)
            break;
        QApplication::processEvents();
        const int error = addin.notifyMe(command.toStdString());
        if (error != 0) {
            std::cerr << "dodiv: command " << command.toStdString() << " failed with error " << error << "\n";
            result = 1;
        }
    }
    // Once the editor has shut down the host lets go of it quietly; if it
    // is still open, releasing it closes it (and it says so).
    if (shutDown)
        addin.setListener({});
    addin.release();
    QApplication::processEvents();
    Z_CloseProject();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("dodiv");

    QCommandLineParser parser;
    parser.setApplicationDescription("A small host of the List of Materials Editor.");
    parser.addHelpOption();
    const QCommandLineOption projectOption("project", "The project to open.", "file");
    const QCommandLineOption loadOption("load", "Load the editor with this window state (0, 1, 2).", "mode");
    const QCommandLineOption sendOption("send", "A command for the editor (repeatable).", "command");
    const QCommandLineOption notificationsOption("notifications", "Print every notification on stdout.");
    const QCommandLineOption editorOption("editor",
        "Interactive: load the editor at once with this window state (0, 1, 2).", "mode");
    parser.addOptions({ projectOption, loadOption, sendOption, notificationsOption, editorOption });
    parser.addPositionalArgument("project", "The project to open.", "[PROJECT.dpz]");
    if (!parser.parse(QApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet("help")) {
        std::cout << parser.helpText().toStdString();
        // Which installation this program runs the editor from.
        std::cout << "\nEditor library: " << AddinHost::defaultLibraryPath().toStdString()
                  << "\nHelp folder: " << AddinHost::defaultHelpPath().toStdString() << '\n';
        return 0;
    }

    // The help the editor asks the kernel for is shown by the help engine.
    Z_SetHelpDisplay(&rav::help::HelpEngine::kernelDisplay, nullptr);

    Options options;
    options.project = parser.value(projectOption);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usage("too many arguments");
    if (!positional.isEmpty()) {
        if (!options.project.isEmpty())
            return usage("give the project once");
        options.project = positional.front();
    }
    options.commands = parser.values(sendOption);
    options.printNotifications = parser.isSet(notificationsOption);
    options.automate = parser.isSet(loadOption) || !options.commands.isEmpty() || options.printNotifications;
    if (parser.isSet(loadOption)) {
        bool ok = false;
        options.mode = parser.value(loadOption).toInt(&ok);
        if (!ok || options.mode < 0 || options.mode > 2)
            return usage("--load takes 0, 1 or 2");
    }
    if (options.automate)
        return automate(options);
    int editorMode = -1;
    if (parser.isSet(editorOption)) {
        bool ok = false;
        editorMode = parser.value(editorOption).toInt(&ok);
        if (!ok || editorMode < 0 || editorMode > 2)
            return usage("--editor takes 0, 1 or 2");
    }

    AddinHost addin;
    HostWindow window(addin);
    addin.setListener(
        [&window](const std::string& name, const std::string& command) { window.notified(name, command); });
    window.show();
    if (!options.project.isEmpty())
        window.openProject(options.project);
    if (editorMode >= 0)
        window.loadEditor(editorMode);
    const int code = QApplication::exec();
    addin.release();
    Z_CloseProject();
    return code;
}
