// The List of Materials wizard on a large project, driven offscreen: does
// its progress bar move, does Cancel stop the work at once, and what does
// the window cost over the LOM job on its own?
//
//   lom_wizard_bench [--group] [PARTS [EID_RECORDS]]   default 100000 parts, 1000000 records
//   (--group: the grouped CSV table instead of the classic text file)
//
// The project and the EID are made by `lom_bench --setup` (beside this
// program). Then, in one process with the real wizard:
// - job alone: the same LOM (six fields, sorted by component name, the
//   classic text file) through RunLomJob without a window: the baseline;
// - finish: the wizard's last page, Next (build + file), timed, while the
//   progress bar's paints are counted (a paint showing a new value is a
//   move) and the longest time without one is kept, as is the longest time
//   the window's events had to wait (a 5 ms timer that notes each turn);
// - preview: the preview button (build + the lines shown), timed the same way;
// - Cancel: the finish and the preview again, with the wizard's Cancel
//   pressed at 10%, 30%, 50%, 70% and 90% of their time. The press is a
//   timer due at that moment, so the time until the window's events run is
//   part of the answer; it counts until the work has stopped and the wizard
//   takes clicks again. Each cancelled run must leave no temporary database,
//   no LOM file, the wizard on its last page with Next enabled and the
//   fields still chosen (a complete build may stay for the next try).
#include "../bench_machine.h"
#include "cancel_flag.h"
#include "frm_lomedit.h"
#include "frm_preview.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_job.h"
#include "project_parts.h"
#include "shell_services.h"
#include "shell_state.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

double seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The six fields of lom_bench's LOM, by caption.
// --group: the grouped CSV table (quantity, part names) instead of the
// classic text file.
bool grouped = false;
const char* outputName()
{
    return grouped ? "LOM.csv" : "LOM.txt";
}

const char* const kFields[] = { "Part-P", "Component Name-P", "Component Value-P", "Code-D", "Description-D", "Price-D" };

// Notes each paint of the progress bar that shows a value other than the
// last one painted.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(rav::ZerOvize* bar)
        : bar_(bar)
    {
        bar->installEventFilter(this);
    }
    std::vector<Clock::time_point> moves;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == bar_ && event->type() == QEvent::Paint) {
            const auto value = bar_->value();
            if (moves.empty() || value != last_) {
                moves.push_back(Clock::now());
                last_ = value;
            }
        }
        return false;
    }

private:
    rav::ZerOvize* bar_;
    std::int64_t last_ = -1;
};

// The longest time between `start`, the points of `times` and `end`; `from`
// gets the index of the point it began at (the last one before it).
double longestGap(const std::vector<Clock::time_point>& times, Clock::time_point start, Clock::time_point end,
    std::size_t* from = nullptr)
{
    double worst = 0;
    Clock::time_point before = start;
    for (std::size_t i = 0; i <= times.size(); ++i) {
        const Clock::time_point t = i < times.size() ? times[i] : end;
        if (seconds(before, t) > worst) {
            worst = seconds(before, t);
            if (from)
                *from = i == 0 ? 0 : i - 1;
        }
        before = t;
    }
    return worst;
}

struct Run {
    double seconds = 0;
    std::size_t moves = 0;
    double longestWithoutMove = 0;
    double longestEventWait = 0;
    std::string waitedIn; // the bar's caption when that wait began
    // With a Cancel press: when it was due, and whether it came before the
    // work ended.
    bool cancelPressed = false;
    double cancelLatency = 0;
    bool stoppedClean = false;
    std::string problem;
};

class Bench
{
public:
    Bench(const fs::path& dir)
        : dir_(dir)
    {
    }

    // The wizard on its last page, with the bench's fields and LOM file.
    rav::lom::FrmLomedit* openOnLastPage()
    {
        auto* w = new rav::lom::FrmLomedit;
        w->show();
        // On screen before the work starts: a window not yet exposed paints nothing.
        QApplication::processEvents();
        button(w, "cmdBrwse_1")->click();
        button(w, "cmdFile_1")->click(); // answered: the output file
        auto* available = w->findChild<QListWidget*>("lstFields_0");
        auto* chosen = w->findChild<QListWidget*>("lstFields_1");
        if (chosen->count() == 0) {
            for (const char* field : kFields) {
                available->clearSelection();
                for (int i = 0; i < available->count(); ++i)
                    available->item(i)->setSelected(available->item(i)->text() == field);
                button(w, "cmdAddDel_0")->click();
            }
        }
        // Sorted by component name, as the job alone is.
        auto* sort = w->findChild<QComboBox*>("cboFields");
        const int byName = sort->findText("Component Name-P");
        sort->setCurrentIndex(byName);
        emit sort->activated(byName);
        button(w, "cmdBrwse_1")->click();
        w->findChild<QCheckBox*>("chkGroup")->setChecked(grouped);
        return w;
    }

    static QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }

    // Presses the finish (Next) or the preview button of a wizard on its last
    // page; with `cancelAt` >= 0 s, Cancel is pressed that long after.
    Run run(bool preview, double cancelAt)
    {
        fs::remove(lomFile());
        QPointer<rav::lom::FrmLomedit> w = openOnLastPage();
        PaintWatch paints(w->findChild<rav::ZerOvize*>("qpnPbar"));
        QTimer press; // Cancel, pressed once at its time (never in a later run)
        press.setSingleShot(true);
        press.setTimerType(Qt::PreciseTimer);
        // Each turn of the window's events, with what the bar said then.
        auto* bar = w->findChild<rav::ZerOvize*>("qpnPbar");
        std::vector<Clock::time_point> turns;
        std::vector<QString> captions;
        QTimer turn;
        QObject::connect(&turn, &QTimer::timeout, [&] {
            turns.push_back(Clock::now());
            captions.push_back(bar->caption());
        });
        turn.start(5);
        // The preview, once up, is closed at once.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* p = qobject_cast<rav::dialogs::FrmPreview*>(QApplication::activeModalWidget()))
                p->close();
        });
        closer.start(5);
        Run r;
        const Clock::time_point start = Clock::now();
        Clock::time_point due;
        if (cancelAt >= 0) {
            due = start + std::chrono::microseconds(static_cast<long>(cancelAt * 1e6));
            QObject::connect(&press, &QTimer::timeout, [&] {
                if (w && w->isVisible()) {
                    r.cancelPressed = true;
                    button(w, "cmdBrwse_2")->click();
                }
            });
            press.start(static_cast<int>(cancelAt * 1000));
        }
        turns.push_back(start);
        captions.push_back(bar->caption());
        button(w, preview ? "cmdPvw" : "cmdBrwse_1")->click();
        const Clock::time_point end = Clock::now();
        turn.stop();
        closer.stop();
        press.stop();
        r.seconds = seconds(start, end);
        r.moves = paints.moves.size();
        r.longestWithoutMove = longestGap(paints.moves, start, end);
        std::size_t from = 0;
        r.longestEventWait = longestGap(turns, start, end, &from);
        r.waitedIn = captions[from].toStdString();
        if (r.cancelPressed) {
            r.cancelLatency = seconds(due, end);
            r.problem = cancelledState(w);
        }
        // Whatever is left (a cancelled wizard, a preview's wizard) goes.
        delete w.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents(); // a Cancel press due after the end
        return r;
    }

    // What a cancelled run left wrong; empty when nothing.
    std::string cancelledState(rav::lom::FrmLomedit* w) const
    {
        if (!w)
            return "the wizard closed";
        std::string problem;
        if (w->currentStep() != rav::lom::FrmLomedit::Step::Finish)
            problem += " not on the last page;";
        if (!button(w, "cmdBrwse_1")->isEnabled() || !button(w, "cmdPvw")->isEnabled())
            problem += " Next or Preview disabled;";
        if (w->findChild<QListWidget*>("lstFields_1")->count() != static_cast<int>(std::size(kFields)))
            problem += " fields lost;";
        if (fs::exists(lomFile()))
            problem += " LOM file written;";
        // A complete build may stay for the next try (a press during the file
        // or the preview's lines); half of one may not.
        if (!fs::is_empty(dir_ / "tmp") && !rav::lom::lomState().lomDatabaseBuilt)
            problem += " half-built temporary database left;";
        if (rav::cancelFlag().load())
            problem += " cancel flag still set;";
        return problem;
    }

    fs::path lomFile() const { return dir_ / outputName(); }

private:
    fs::path dir_;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void print(const char* what, const Run& r)
{
    std::printf("%-8s %.3f s; progress bar moved %zu times, longest without a move %.3f s;"
                " longest wait for the window's events %.3f s (began at \"%s\")\n",
        what, r.seconds, r.moves, r.longestWithoutMove, r.longestEventWait, r.waitedIn.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    rav::bench::printMachine();
    grouped = argc > 1 && std::string(argv[1]) == "--group";
    if (grouped) {
        --argc;
        ++argv;
    }
    const long parts = argc > 1 ? std::atol(argv[1]) : 100000;
    const long records = argc > 2 ? std::atol(argv[2]) : 1000000;
    if (parts < 1 || records < 1) {
        std::cerr << "usage: lom_wizard_bench [--group] [PARTS [EID_RECORDS]]\n";
        return 2;
    }
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path dir = fs::temp_directory_path() / ("lom_wizard_bench_" + std::to_string(getpid()));
    fs::create_directories(dir / "tmp");
    fs::create_directories(dir / "config");
    // The wizard remembers its choices; not in the user's own settings.
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "config").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    int status = 0;
    try {
        std::cout << "setting up " << parts << " parts, " << records << " EID records ..." << std::endl;
        const QString setup = QString::fromStdString((self.parent_path() / "lom_bench").string());
        // The setup child prints its protocol line for lom_bench; not ours.
        QProcess setupChild;
        setupChild.setStandardOutputFile(QProcess::nullDevice());
        setupChild.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        setupChild.start(setup,
            { "--setup", QString::fromStdString(dir.string()), QString::number(parts), QString::number(records) });
        if (!setupChild.waitForFinished(-1) || setupChild.exitStatus() != QProcess::NormalExit
            || setupChild.exitCode() != 0)
            throw std::runtime_error("lom_bench --setup failed (is lom_bench built?)");
        const std::string eid = (dir / "bench.eid").string();
        if (Z_OpenProject((dir / "bench.dpz").c_str()) == 0)
            throw std::runtime_error(std::string("cannot open the project: ") + Z_LastError());
        rav::kernel::ProjectParts::instance().OpenProjectInfo();
        auto& shell = rav::shell::shellState();
        shell.DBaseName = eid;
        shell.TempDir = (dir / "tmp").string();
        shell.LibDir = dir.string();
        rav::HostUtility::instance().setLanguage("en");
        rav::RecordingMessageSink messages;
        rav::shell::SetMessageSink(&messages);
        const QString lom = QString::fromStdString((dir / outputName()).string());
        rav::lom::FrmLomedit::setFileChooser(
            [&](QWidget*, const rav::shell::FileRequest&) -> std::optional<QString> { return lom; });

        // The job alone, as `ravederi lom` runs it.
        rav::lom::FieldCatalogue catalogue;
        rav::lom::BuildLomCatalogue(catalogue, eid);
        rav::lom::LomJobOptions job;
        job.eidFile = eid;
        job.tempDir = shell.TempDir;
        job.outputFile = (dir / (grouped ? "job.csv" : "job.txt")).string();
        job.format = rav::lom::FormatOfFileName(job.outputFile);
        job.group = grouped;
        for (const char* field : kFields)
            job.fields.push_back(catalogue.numberOfCaption(field));
        job.sortField = catalogue.numberOfCaption("Component Name-P");
        // The machine is shared: the job alone and the wizard's finish and
        // preview take turns, three rounds, and each one's best counts.
        Bench bench(dir);
        Run finish, preview;
        finish.seconds = preview.seconds = 1e9;
        double alone = 1e9;
        bool same = true;
        for (int round = 0; round < 3; ++round) {
            rav::NullProgressSink quiet;
            const Clock::time_point t = Clock::now();
            const rav::lom::LomJobResult result = rav::lom::RunLomJob(catalogue, job, quiet, messages);
            alone = std::min(alone, seconds(t, Clock::now()));
            if (!result.written)
                throw std::runtime_error("the job alone failed: " + result.error);
            const Run f = bench.run(false, -1);
            same = same && slurp(dir / outputName()) == slurp(job.outputFile);
            if (f.seconds < finish.seconds)
                finish = f;
            const Run p = bench.run(true, -1);
            if (p.seconds < preview.seconds)
                preview = p;
        }
        std::printf("%s, %ld parts x %ld EID records, six fields by component name\n",
            grouped ? "grouped CSV" : "classic LOM", parts, records);
        std::printf("job alone %.3f s (no window)\n", alone);
        print("finish", finish);
        print("preview", preview);
        std::printf("ratio finish in the wizard / job alone: %.2f (files identical: %s)\n", finish.seconds / alone,
            same ? "yes" : "NO");
        if (!same)
            status = 1;

        for (const bool inPreview : { false, true }) {
            const double total = inPreview ? preview.seconds : finish.seconds;
            std::vector<double> latencies;
            int late = 0;
            for (const double at : { 0.1, 0.3, 0.5, 0.7, 0.9 }) {
                const Run c = bench.run(inPreview, at * total);
                if (!c.cancelPressed) {
                    ++late; // the file was written (the wizard closed) or the preview was up
                    continue;
                }
                latencies.push_back(c.cancelLatency);
                std::printf("  cancel %s at %2.0f%%: stopped after %.3f s%s%s\n", inPreview ? "preview" : "finish ",
                    at * 100, c.cancelLatency, c.problem.empty() ? ", nothing half-done left, choices kept" : ":",
                    c.problem.c_str());
                if (!c.problem.empty())
                    status = 1;
            }
            std::printf("cancel during the %s: worst %.3f s, median %.3f s over %zu presses (%d not pressed: the"
                        " work had ended or the preview was up; target: within 0.2 s)\n",
                inPreview ? "preview" : "finish ", latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end()),
                median(latencies), latencies.size(), late);
        }
        rav::shell::SetMessageSink(nullptr);
        rav::lom::FrmLomedit::setFileChooser(nullptr);
        Z_CloseProject();
    } catch (const std::exception& e) {
        std::cerr << "lom_wizard_bench: " << e.what() << '\n';
        status = 1;
    }
    fs::remove_all(dir);
    return status;
}
