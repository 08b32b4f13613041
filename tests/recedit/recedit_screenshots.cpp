// Pictures of the record editor and its tool box for the documentation and
// for a person to look at: every tab of both windows, in one language at
// the scale the environment gives (QT_SCALE_FACTOR=1.5 for 150 %).
//
//   recedit_screenshots LANGUAGE OUTPUT_DIR     e.g. de docs/screens
//
// Runs offscreen on copies of the demo EID and project in a scratch folder.
#include "data_grid_view.h"
#include "frm_rec_edit.h"
#include "frm_tool_box.h"
#include "host_utility.h"
#include "modules.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "zareza2v.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: recedit_screenshots LANGUAGE OUTPUT_DIR\n";
        return 2;
    }
    const std::string language = argv[1];
    const fs::path out = fs::absolute(argv[2]);
    const fs::path dir = fs::temp_directory_path() / ("recedit_screenshots." + std::to_string(getpid()));
    fs::create_directories(dir / "tmp");
    fs::create_directories(out);
    for (const char* var : { "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME" })
        setenv(var, dir.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    rav::HostUtility::instance().setLanguage(language);
    rav::NullMessageSink quiet;
    rav::shell::SetMessageSink(&quiet);
    rav::shell::SelectLocaleFont();

    fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", dir / "Part.eid");
    fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", dir / "demo.dpz");
    auto& state = rav::shell::shellState();
    state.DBaseName = (dir / "Part.eid").string();
    state.TempDir = (dir / "tmp").string();
    state.LibDir = dir.string();
    if (Z_OpenProject((dir / "demo.dpz").c_str()) == 0
        || !rav::kernel::ProjectParts::instance().OpenProjectInfo()) {
        std::cerr << "cannot open the demo project\n";
        return 1;
    }
    const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
        ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
        : 1.0;
    const QString suffix = QString("_%1_%2").arg(QString::fromStdString(language)).arg(qRound(scale * 100));
    auto save = [&](QWidget* w, const QString& name) {
        QApplication::processEvents();
        const QString file = QString::fromStdString(out.string()) + "/" + name + suffix + ".png";
        if (!w->grab().save(file))
            std::cerr << "cannot write " << file.toStdString() << "\n";
        else
            std::cout << file.toStdString() << "\n";
    };

    auto* window = qobject_cast<rav::recedit::FrmRecEdit*>(
        rav::shell::CreateModuleWindow(rav::shell::ModuleKind::RecordEditor));
    window->show();
    QApplication::processEvents();
    rav::recedit::FrmToolBox* box = window->toolBox();
    save(window, "recedit_edit_view");
    for (int tab : { 2, 3, 4 }) {
        box->findChild<QTabWidget*>("tabMain")->setCurrentIndex(tab);
        save(box, QString("toolbox_tab%1").arg(tab));
    }
    window->tabMain()->setCurrentIndex(1);
    QApplication::processEvents();
    save(window, "recedit_associate");
    box->findChild<QTabWidget*>("tabMain")->setCurrentIndex(0);
    save(box, "toolbox_tab0");
    box->findChild<QTabWidget*>("tabMain")->setCurrentIndex(1);
    box->optManAut_Click(0);
    save(box, "toolbox_tab1");
    box->findChild<QTabWidget*>("tabMain")->setCurrentIndex(4);
    box->cmdCheck_Click();
    save(box, "toolbox_tab4_findings");

    delete window;
    Z_CloseProject();
    rav::shell::SetMessageSink(nullptr);
    fs::remove_all(dir);
    return 0;
}
