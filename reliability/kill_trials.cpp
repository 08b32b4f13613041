#include "kill_trials.h"

#include "association.h"
#include "database.h"
#include "eid_export.h"
#include "eid_format.h"
#include "eid_import.h"
#include "eid_table.h"
#include "host_utility.h"
#include "lom_build.h"
#include "lom_catalogue.h"
#include "lom_query.h"
#include "eic_writeback.h"
#include "project_parts.h"
#include "kicad_parts.h"
#include "kicad_sch.h"
#include "kicad_writeback.h"
#include "project_model.h"
#include "recordset.h"
#include "sinks.h"
#include "zareza2v.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <spawn.h>
#include <sqlite3.h>
#include <sstream>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace rav::reliability
{
namespace fs = std::filesystem;

namespace
{

constexpr int kImportLines = 200; // records per import round
constexpr int kRemoveRounds = 60; // ranges the removal works through
constexpr int kRemovePerRound = 50;
constexpr int kDevices = 100; // devices and placed parts of the project

fs::path eidOf(const fs::path& dir) { return dir / "parts.eid"; }
fs::path projectOf(const fs::path& dir) { return dir / "board.dpz"; }
fs::path lomOf(const fs::path& dir) { return dir / "lom.txt"; }
fs::path referenceLomOf(const fs::path& dir) { return dir / "reference-lom.txt"; }
fs::path createdOf(const fs::path& dir) { return dir / "made.eid"; }
fs::path configOf(const fs::path& dir) { return dir / "config"; }

std::string twoDigits(int n)
{
    return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

// SQLite's own verdict on a database file.
std::string integrity(const fs::path& file)
{
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK
            && sqlite3_step(s) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        else
            result = sqlite3_errmsg(db);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

const std::vector<eid::EidField> kEidFields = { { "Code", 30 }, { "Name", 60 }, { "Price", 10 } };

// Creates an EID and imports `lines` (";"-separated) into it.
void makeEid(const fs::path& file, const std::string& lines)
{
    std::string error;
    if (!eid::CreateEidDatabase(file.string(), kEidFields, "Code", &error))
        throw std::runtime_error("cannot create " + file.string() + ": " + error);
    if (lines.empty())
        return;
    const fs::path text = file.parent_path() / "seed.txt";
    writeAll(text, lines);
    eid::ImportOptions o;
    o.eidFile = file.string();
    o.textFile = text.string();
    o.delimiterText = ";";
    NullMessageSink messages;
    NullProgressSink progress;
    if (!eid::ImportTextFile(o, messages, progress).completed)
        throw std::runtime_error("cannot fill " + file.string());
}

// The EID's codes, read the way the editor opens it; throws when it cannot.
std::vector<std::string> codesOf(const fs::path& file)
{
    db::Database database = db::Database::open(file.string(), db::OpenMode::Shared);
    db::Recordset rs = database.openRecordset("SELECT Code FROM Device");
    std::vector<std::string> codes;
    for (long p = 0; p < rs.recordCount(); ++p)
        codes.push_back(rs.rowAt(p).at(0).value_or(""));
    return codes;
}

std::string deviceName(int i)
{
    return "D" + std::to_string(1000 + i).substr(1);
}

project::Project boardProject()
{
    project::Project p;
    p.name = "KILL";
    p.hierarchies = { "/" };
    p.currentHierarchy = 0;
    p.symbols = { "PKG" };
    for (int i = 0; i < kDevices; ++i) {
        project::Device d;
        d.name = deviceName(i);
        d.library = "lib";
        d.firstWord = "PKG";
        d.tokens = std::vector<std::string> { "Full " + std::to_string(i), "OLD-" + std::to_string(i), "SIM" };
        p.devices.push_back(d);
        project::Component c;
        c.name = "C" + std::to_string(i);
        c.symbol = "PKG";
        c.device = d.name;
        c.schematic = { project::SchematicComponent { { project::TextItem { 8, std::to_string(i) + "k" } } } };
        p.components.push_back(c);
    }
    return p;
}

std::string boardRecords()
{
    std::string lines;
    for (int i = 0; i < kDevices; ++i)
        lines += "OLD-" + std::to_string(i) + ";Part " + std::to_string(i) + ";0." + std::to_string(i) + "\n";
    return lines;
}

// Builds the LOM of the open project the way the wizard and the tool do.
void writeLom(const fs::path& dir, const fs::path& out)
{
    lom::FieldCatalogue catalogue;
    if (!lom::BuildLomCatalogue(catalogue, eidOf(dir).string()))
        throw std::runtime_error("no catalogue of " + eidOf(dir).string());
    lom::QueryChoice choice;
    choice.delimiterText = "|";
    for (const char* caption : { "Part-P", "Price-D", "Name-D" })
        if (int number = catalogue.numberOfCaption(caption))
            choice.selected.push_back(number);
    choice.sortNumber = choice.selected.front();
    NullMessageSink messages;
    NullProgressSink progress;
    const lom::BuildResult built = lom::BuildLomDatabase({ eidOf(dir).string(), dir.string(), catalogue.size() },
        progress, messages);
    struct Remover {
        std::string name;
        ~Remover() { lom::DeleteTempDatabase(name); }
    } remover { built.tempDbName };
    if (!built.built)
        throw std::runtime_error("LOM build failed: " + built.error);
    const lom::LomQuery query = lom::makeQueryString(catalogue, choice);
    const lom::LomFileResult written
        = lom::CreateLomFile({ built.tempDbName, query.sql, query.delimiter, out.string() }, progress, messages);
    if (!written.complete)
        throw std::runtime_error("LOM file failed: " + written.error);
}

constexpr int kSheetParts = 40; // parts per schematic file of the design write
const char* const kSheets[] = { "board.kicad_sch", "power.kicad_sch", "io stage.kicad_sch" };

fs::path designOf(const fs::path& dir) { return dir / "design" / kSheets[0]; }

// A KiCad 8 sheet with kSheetParts resistors of their own values (one
// device each) and, for the root, the two sub-sheets.
std::string sheetText(int sheet)
{
    std::string s = "(kicad_sch\n\t(version 20231120)\n\t(generator \"eeschema\")\n\t(uuid \"root-"
        + std::to_string(sheet) + "\")\n\t(lib_symbols)\n";
    for (int i = 0; i < kSheetParts; ++i) {
        const std::string n = std::to_string(sheet * 100 + i);
        s += "\t(symbol\n\t\t(lib_id \"Device:R\")\n\t\t(at 10 10 0)\n\t\t(unit 1)\n\t\t(uuid \"s" + n
            + "\")\n\t\t(property \"Reference\" \"R" + n + "\"\n\t\t\t(at 10 8 0)\n\t\t)\n\t\t(property \"Value\" \""
            + n + "R\"\n\t\t\t(at 10 12 0)\n\t\t)\n\t\t(property \"Datasheet\" \"~\"\n\t\t\t(at 10 10 0)\n"
              "\t\t\t(effects\n\t\t\t\t(font\n\t\t\t\t\t(size 1.27 1.27)\n\t\t\t\t)\n\t\t\t\t(hide yes)\n\t\t\t)\n\t\t)\n\t)\n";
    }
    if (sheet == 0)
        for (int k = 1; k < 3; ++k)
            s += "\t(sheet\n\t\t(uuid \"sheet-" + std::to_string(k) + "\")\n\t\t(property \"Sheetname\" \"S"
                + std::to_string(k) + "\")\n\t\t(property \"Sheetfile\" \"" + kSheets[k] + "\")\n\t)\n";
    return s + ")\n";
}

void openKernelProject(const fs::path& file)
{
    if (Z_OpenProject(file.c_str()) == 0)
        throw std::runtime_error("cannot open " + file.string() + ": " + Z_LastError());
}

void report(long steps)
{
    std::printf("%ld\n", steps);
    std::fflush(stdout);
}

// The round a code belongs to: the number between `prefix` and "-".
std::optional<int> roundOf(const std::string& code, char prefix)
{
    if (code.size() < 3 || code[0] != prefix)
        return std::nullopt;
    return std::atoi(code.c_str() + 1);
}

// Counts of records per round, checked against what was committed: rounds
// before `committed` complete (`full` records, or none for a removal),
// the round in flight all or nothing, later rounds untouched.
void checkRounds(const std::map<int, int>& perRound, long committed, int rounds, int full, bool removing,
    std::vector<std::string>& problems)
{
    for (int r = 0; r < rounds; ++r) {
        const auto it = perRound.find(r);
        const int n = it == perRound.end() ? 0 : it->second;
        const int done = removing ? 0 : full, untouched = removing ? full : 0;
        const bool ok = r < committed ? n == done : r == committed ? (n == done || n == untouched) : n == untouched;
        if (!ok)
            problems.push_back("round " + std::to_string(r) + " has " + std::to_string(n) + " records after "
                + std::to_string(committed) + " committed rounds");
    }
}

void checkEid(const fs::path& file, std::vector<std::string>& problems)
{
    if (const std::string verdict = integrity(file); verdict != "ok")
        problems.push_back(file.filename().string() + ": integrity check: " + verdict);
}

} // namespace

const std::vector<OperationInfo>& operations()
{
    static const std::vector<OperationInfo> list = {
        { Operation::Import, "eid-import" },
        { Operation::RangeRemoval, "range-removal" },
        { Operation::LomFile, "lom-build-file" },
        { Operation::WriteBack, "update-proj-lib" },
        { Operation::EidCreate, "eid-create" },
        { Operation::Settings, "settings-write" },
        { Operation::DesignWrite, "to-kicad" },
    };
    return list;
}

bool operationNamed(const std::string& name, Operation& operation)
{
    for (const auto& info : operations())
        if (name == info.name) {
            operation = info.operation;
            return true;
        }
    return false;
}

void prepare(Operation operation, const fs::path& dir)
{
    fs::create_directories(configOf(dir) / "dodiv");
    fs::create_directories(dir / "cache");
    switch (operation) {
    case Operation::Import:
        makeEid(eidOf(dir), "");
        break;
    case Operation::RangeRemoval: {
        std::string lines;
        for (int r = 0; r < kRemoveRounds; ++r)
            for (int k = 0; k < kRemovePerRound; ++k)
                lines += "R" + twoDigits(r) + "-" + twoDigits(k) + ";name;1\n";
        makeEid(eidOf(dir), lines);
        break;
    }
    case Operation::LomFile:
        project::writeDpz(boardProject(), projectOf(dir));
        makeEid(eidOf(dir), boardRecords());
        openKernelProject(projectOf(dir));
        try {
            writeLom(dir, referenceLomOf(dir));
        } catch (...) {
            Z_CloseProject();
            throw;
        }
        Z_CloseProject();
        break;
    case Operation::WriteBack:
        project::writeDpz(boardProject(), projectOf(dir));
        break;
    case Operation::EidCreate:
        break;
    case Operation::Settings:
        writeAll(configOf(dir) / "dodiv" / "host.ini", "[POSTLOM]\r\nFieldSort=3\r\n");
        break;
    case Operation::DesignWrite: {
        fs::create_directories(dir / "design");
        for (int k = 0; k < 3; ++k)
            writeAll(dir / "design" / kSheets[k], sheetText(k));
        const auto design = project::readSchematicDesign(designOf(dir));
        project::writeDpz(project::projectFromKicadParts(project::kicadDesignOf(design), designOf(dir)).project,
            projectOf(dir));
        project::storeDesignLink(projectOf(dir), project::linkOf(design, designOf(dir), ""));
        break;
    }
    }
}

int runChild(Operation operation, const fs::path& dir)
{
    try {
        NullMessageSink messages;
        NullProgressSink progress;
        if (operation == Operation::LomFile || operation == Operation::WriteBack
            || operation == Operation::DesignWrite)
            openKernelProject(projectOf(dir));
        std::optional<db::Database> view;
        if (operation == Operation::WriteBack) {
            // The tool box's project view: one row per device, the EIC in field3.
            view = db::Database::create((dir / "view.tmp").string());
            if (!lom::CreateDeviceTable(*view, 5))
                throw std::runtime_error("cannot make the project view");
            db::Recordset rs = view->openRecordset(eid::kDeviceTable);
            for (int i = 0; i < kDevices; ++i) {
                rs.addNew();
                rs.setValue(recedit::kPartColumn, db::Value(deviceName(i)));
                rs.update();
            }
        }
        report(0);
        for (int r = 0;; ++r) {
            switch (operation) {
            case Operation::Import: {
                std::string lines;
                for (int k = 0; k < kImportLines; ++k)
                    lines += "I" + std::to_string(r) + "-" + std::to_string(k) + ";imported;2\n";
                writeAll(dir / "in.txt", lines);
                eid::ImportOptions o;
                o.eidFile = eidOf(dir).string();
                o.textFile = (dir / "in.txt").string();
                o.delimiterText = ";";
                o.tempDir = dir.string();
                const eid::OperationResult result = eid::ImportTextFile(o, messages, progress);
                if (!result.completed || result.added != kImportLines)
                    throw std::runtime_error("import: " + result.failure);
                break;
            }
            case Operation::RangeRemoval: {
                if (r >= kRemoveRounds) {
                    ::pause(); // nothing left to remove: wait for the kill
                    continue;
                }
                const std::string round = "R" + twoDigits(r) + "-";
                eid::RemoveOptions o { eidOf(dir).string(),
                    eid::Range { "Code", round + "00", round + twoDigits(kRemovePerRound - 1), "Code" } };
                const eid::OperationResult result = eid::RemoveRecords(o, progress);
                if (!result.completed || result.processed != kRemovePerRound)
                    throw std::runtime_error("removal: " + result.failure);
                break;
            }
            case Operation::LomFile:
                writeLom(dir, lomOf(dir));
                break;
            case Operation::WriteBack: {
                view->execute("UPDATE Device SET field3 = \"E" + std::to_string(r) + "\"");
                // One write-back is one transaction: every device's row is
                // committed together when it returns.
                NullProgressSink progress;
                recedit::UpdateProjectLibrary(*view, progress, messages);
                report(static_cast<long>(r + 1) * kDevices);
                continue;
            }
            case Operation::EidCreate: {
                std::vector<eid::EidField> fields = kEidFields;
                fields.back().name = "Round" + std::to_string(r);
                std::string error;
                if (!eid::CreateEidDatabase(createdOf(dir).string(), fields, "Code", &error))
                    throw std::runtime_error("create: " + error);
                break;
            }
            case Operation::Settings:
                HostUtility::instance().WriteSetting("KILL", "K" + std::to_string(r), std::to_string(r));
                break;
            case Operation::DesignWrite: {
                // Every device gets this round's code, then the codes go
                // into the three files as one set.
                auto& parts = kernel::ProjectParts::instance();
                parts.CollectProjectDevices();
                std::vector<kernel::WantedCode> wanted;
                for (const auto& p : parts.PartList())
                    wanted.push_back({ p.PartName, "E" + std::to_string(r) });
                kernel::applyEicChanges(kernel::planEicChanges(wanted), messages);
                project::applyDesignWrite(projectOf(dir), project::planDesignWrite(projectOf(dir), "EIC"));
                break;
            }
            }
            report(r + 1);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kill child: %s\n", e.what());
        return 1;
    }
}

TrialResult check(Operation operation, const fs::path& dir, long committed)
{
    TrialResult result;
    result.committed = committed;
    auto& problems = result.problems;
    try {
        switch (operation) {
        case Operation::Import:
        case Operation::RangeRemoval: {
            const bool importing = operation == Operation::Import;
            std::map<int, int> perRound;
            for (const std::string& code : codesOf(eidOf(dir)))
                if (const auto r = roundOf(code, importing ? 'I' : 'R'))
                    ++perRound[*r];
                else
                    problems.push_back("unexpected record " + code);
            checkRounds(perRound, committed, importing ? static_cast<int>(committed) + 2 : kRemoveRounds,
                importing ? kImportLines : kRemovePerRound, !importing, problems);
            checkEid(eidOf(dir), problems);
            break;
        }
        case Operation::LomFile: {
            if (const auto n = codesOf(eidOf(dir)).size(); n != static_cast<std::size_t>(kDevices))
                problems.push_back("the EID has " + std::to_string(n) + " records");
            checkEid(eidOf(dir), problems);
            if (project::readDpz(projectOf(dir)) != boardProject())
                problems.push_back("the project changed");
            checkEid(projectOf(dir), problems);
            std::error_code ec;
            if (!fs::exists(lomOf(dir), ec)) {
                if (committed > 0)
                    problems.push_back("the LOM file is gone");
            } else if (readAll(lomOf(dir)) != readAll(referenceLomOf(dir))) {
                problems.push_back("a half-written LOM file under its final name");
            }
            break;
        }
        case Operation::WriteBack: {
            const project::Project p = project::readDpz(projectOf(dir));
            const project::Project original = boardProject();
            if (p.devices.size() != original.devices.size()) {
                problems.push_back("the project has " + std::to_string(p.devices.size()) + " devices");
                break;
            }
            // The last round reported done; the round in flight is all or
            // nothing, so every device shows one round, that one or the next.
            const long last = committed / kDevices - 1;
            std::optional<long> seen;
            for (int i = 0; i < kDevices; ++i) {
                const project::Device& d = p.devices[static_cast<std::size_t>(i)];
                const auto& tokens = d.tokens.value_or(std::vector<std::string> {});
                const std::string eic = tokens.size() == 3 ? tokens[1] : "?";
                const long round = eic.rfind("OLD-", 0) == 0 ? -1 : eic[0] == 'E' ? std::atol(eic.c_str() + 1) : -2;
                if (round != last && round != last + 1)
                    problems.push_back(d.name + " has EIC " + eic + " after " + std::to_string(committed) + " rows");
                else if (seen && *seen != round)
                    problems.push_back(d.name + " has EIC " + eic + ", another device of round " + std::to_string(*seen));
                seen = round;
                const auto& o = original.devices[static_cast<std::size_t>(i)];
                if (d.name != o.name || d.firstWord != o.firstWord || tokens.size() != 3 || tokens[0] != (*o.tokens)[0]
                    || tokens[2] != (*o.tokens)[2])
                    problems.push_back(d.name + " lost part of its text");
            }
            checkEid(projectOf(dir), problems);
            break;
        }
        case Operation::EidCreate: {
            std::error_code ec;
            if (!fs::exists(createdOf(dir), ec)) {
                if (committed > 0)
                    problems.push_back("the EID made last is gone");
                break;
            }
            db::Database database = db::Database::open(createdOf(dir).string(), db::OpenMode::Shared);
            const db::TableDef def = database.tableDef(eid::kDeviceTable);
            const std::string last = def.fields.empty() ? "" : def.fields.back().name;
            if (last != "Round" + std::to_string(committed) && last != "Round" + std::to_string(committed - 1))
                problems.push_back("the EID has field " + last + " after " + std::to_string(committed) + " made");
            if (eid::EicFieldName(database) != "Code")
                problems.push_back("the EID has no EIC index");
            database.close();
            checkEid(createdOf(dir), problems);
            break;
        }
        case Operation::DesignWrite: {
            // What the next command over the project does first: finish a
            // set replacement the kill interrupted.
            project::recoverDesignWrite(projectOf(dir));
            // The set is old or new as a whole: every symbol of the three
            // files shows one round, the last committed or the one in flight.
            const auto design = project::readSchematicDesign(designOf(dir));
            std::set<std::string> codes;
            for (const auto& part : design.parts) {
                std::string code = "(none)";
                for (const auto& f : part.fields)
                    if (f.name == "EIC")
                        code = f.value;
                codes.insert(code);
            }
            const std::string last = committed == 0 ? "(none)" : "E" + std::to_string(committed - 1);
            const std::string next = "E" + std::to_string(committed);
            if (design.parts.size() != 3 * kSheetParts)
                problems.push_back("the design has " + std::to_string(design.parts.size()) + " parts");
            if (codes.size() != 1)
                problems.push_back("the files hold a mix of " + std::to_string(codes.size()) + " rounds");
            else if (*codes.begin() != last && *codes.begin() != next)
                problems.push_back("the files hold " + *codes.begin() + " after " + std::to_string(committed)
                    + " rounds");
            // The project knows the files as they are: a further write finds
            // nothing changed behind its back.
            project::planDesignWrite(projectOf(dir), "EIC");
            checkEid(projectOf(dir), problems);
            break;
        }
        case Operation::Settings: {
            const char* old = std::getenv("XDG_CONFIG_HOME");
            const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
            ::setenv("XDG_CONFIG_HOME", configOf(dir).c_str(), 1);
            HostUtility& host = HostUtility::instance();
            if (host.ReadSetting("POSTLOM", "FieldSort", "") != "3")
                problems.push_back("FieldSort lost");
            for (long r = 0; r < committed; ++r)
                if (host.ReadSetting("KILL", "K" + std::to_string(r), "") != std::to_string(r)) {
                    problems.push_back("setting K" + std::to_string(r) + " lost");
                    break;
                }
            if (saved)
                ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
            else
                ::unsetenv("XDG_CONFIG_HOME");
            break;
        }
        }
    } catch (const std::exception& e) {
        problems.push_back(std::string("cannot read back: ") + e.what());
    }
    return result;
}

TrialResult runTrial(
    Operation operation, const fs::path& dir, const std::string& childProgram, int windowMs, std::mt19937& random)
{
    prepare(operation, dir);
    std::string name;
    for (const auto& info : operations())
        if (info.operation == operation)
            name = info.name;

    // The child's own XDG folders, inside the trial's folder.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("XDG_", 0) != 0)
            env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + configOf(dir).string());
    env.push_back("XDG_CACHE_HOME=" + (dir / "cache").string());
    std::vector<char*> envp;
    for (auto& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string program = childProgram, dirText = dir.string();
    char* argv[] = { program.data(), name.data(), dirText.data(), nullptr };

    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    FILE* out = ::fdopen(fds[0], "r");
    if (spawned != 0 || !out)
        throw std::runtime_error("cannot start " + program);

    TrialResult result;
    long committed = -1;
    char line[64];
    if (std::fgets(line, sizeof line, out)) { // "0": ready
        committed = std::atol(line);
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, windowMs * 1000)(random)));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    while (std::fgets(line, sizeof line, out))
        committed = std::atol(line);
    std::fclose(out);
    if (committed < 0) {
        result.problems.push_back("the child never got ready");
        return result;
    }
    result = check(operation, dir, committed);
    result.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!result.killed)
        result.problems.push_back("the child ended by itself");
    return result;
}

} // namespace rav::reliability
