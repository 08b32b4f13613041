#include "kicad_writeback.h"

#include "dpz_store.h"
#include "sexpr.h"
#include "textcodec.h"

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rav::project
{

namespace fs = std::filesystem;
using sexpr::Document;
using sexpr::Index;
using sexpr::kNone;

namespace
{

constexpr const char* kLinkSql = R"sql(
CREATE TABLE IF NOT EXISTS design_source (
    key   TEXT PRIMARY KEY,
    value BLOB NOT NULL
);
CREATE TABLE IF NOT EXISTS design_file (
    name        BLOB PRIMARY KEY,
    fingerprint TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS design_code (
    device BLOB PRIMARY KEY,
    code   BLOB NOT NULL
);
CREATE TABLE IF NOT EXISTS design_write (
    id              INTEGER PRIMARY KEY,
    state           TEXT NOT NULL,
    after_write_back INTEGER NOT NULL,
    made            TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS design_write_file (
    id           INTEGER PRIMARY KEY,
    design_write INTEGER NOT NULL REFERENCES design_write(id),
    name         BLOB NOT NULL,
    path         BLOB NOT NULL,
    old_bytes    BLOB NOT NULL,
    new_bytes    BLOB NOT NULL
);
)sql";

bool hasTable(sqlite3* db, const char* table)
{
    dpz::Statement s(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1");
    s.bindText(1, table);
    s.step();
    return s.integer(0) > 0;
}

dpz::Db open(const fs::path& dpz)
{
    try {
        return dpz::openProject(dpz);
    } catch (const dpz::Error& e) {
        throw ProjectError(e.what());
    }
}

std::string readBytes(const fs::path& file)
{
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        throw ProjectError("cannot read " + file.string());
    std::string bytes;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad)
        throw ProjectError("cannot read " + file.string());
    return bytes;
}

fs::path tempOf(const fs::path& file)
{
    return file.parent_path() / ("." + file.filename().string() + ".ravederi-new");
}

void syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes `bytes` to the file's temporary name and flushes them to disk.
void writeTemp(const fs::path& file, const std::string& bytes)
{
    const fs::path temp = tempOf(file);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw ProjectError("cannot write " + temp.string());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            throw ProjectError("cannot write " + temp.string());
        }
        done += static_cast<std::size_t>(n);
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        ::unlink(temp.c_str());
        throw ProjectError("cannot write " + temp.string());
    }
}

// Puts `bytes` into `file` by temporary file and rename, unless it holds
// them already (a finished rename of an earlier, killed run).
void replace(const fs::path& file, const std::string& bytes)
{
    std::error_code ec;
    if (fs::exists(file, ec)) {
        try {
            if (readBytes(file) == bytes) {
                fs::remove(tempOf(file), ec);
                return;
            }
        } catch (const ProjectError&) {
        }
    }
    writeTemp(file, bytes);
    if (std::rename(tempOf(file).c_str(), file.c_str()) != 0)
        throw ProjectError("cannot replace " + file.string());
}

// A file the user marked read-only counts as such even for root, who could
// write it anyway; so does one in a folder where it cannot be replaced.
bool readOnly(const fs::path& file)
{
    struct stat st {
    };
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return ::stat(file.c_str(), &st) != 0 || (st.st_mode & 0222) == 0 || ::access(file.c_str(), W_OK) != 0
        || ::access(folder.c_str(), W_OK) != 0;
}

std::string shown(const std::string& code)
{
    return code.empty() ? "(none)" : code;
}

// Rolls the journal row `id` forward: every file gets the bytes of the
// row's direction, then the row is marked done (apply) or deleted (revert).
void rollForward(sqlite3* db, std::int64_t id, const std::string& state)
{
    dpz::Statement files(
        db, "SELECT path, old_bytes, new_bytes, name FROM design_write_file WHERE design_write = ?1");
    files.bindInt(1, id);
    std::vector<fs::path> folders;
    while (files.step()) {
        const fs::path path(files.bytes(0));
        replace(path, state == "apply" ? files.bytes(2) : files.bytes(1));
        folders.push_back(path.parent_path());
    }
    for (const auto& folder : folders)
        syncFolder(folder);
    dpz::Transaction t(db);
    if (state == "apply") {
        dpz::Statement done(db, "UPDATE design_write SET state = 'done' WHERE id = ?1");
        done.bindInt(1, id);
        done.step();
    } else {
        dpz::Statement dropFiles(db, "DELETE FROM design_write_file WHERE design_write = ?1");
        dropFiles.bindInt(1, id);
        dropFiles.step();
        dpz::Statement drop(db, "DELETE FROM design_write WHERE id = ?1");
        drop.bindInt(1, id);
        drop.step();
    }
    t.commit();
}

bool recover(sqlite3* db)
{
    if (!hasTable(db, "design_write"))
        return false;
    dpz::Statement pending(db, "SELECT id, state FROM design_write WHERE state <> 'done' ORDER BY id");
    std::vector<std::pair<std::int64_t, std::string>> rows;
    while (pending.step())
        rows.emplace_back(pending.integer(0), pending.bytes(1));
    pending = dpz::Statement();
    for (const auto& [id, state] : rows)
        rollForward(db, id, state);
    return !rows.empty();
}

std::int64_t lastWriteBack(sqlite3* db)
{
    if (!hasTable(db, "write_back"))
        return 0;
    dpz::Statement s(db, "SELECT coalesce(max(id), 0) FROM write_back");
    s.step();
    return s.integer(0);
}

// Fingerprints after a set of files changed: the stored ones with the new
// files' replaced.
void updateFingerprints(sqlite3* db, const std::vector<std::pair<std::string, std::string>>& changed)
{
    dpz::Statement s(db, "UPDATE design_file SET fingerprint = ?2 WHERE name = ?1");
    for (const auto& [name, print] : changed) {
        s.reset();
        s.bindBytes(1, name);
        s.bindText(2, print);
        s.step();
    }
}

// The property node of `symbol` named `field`: exact name first, then
// without regard to case; kNone when there is none.
Index findProperty(const Document& d, Index symbol, const std::string& field)
{
    Index loose = kNone;
    for (Index c = d.node(symbol).first; c != kNone; c = d.node(c).next) {
        if (d.head(c) != "property" || d.child(c, 1) == kNone)
            continue;
        const std::string name = d.text(d.child(c, 1));
        if (name == field)
            return c;
        if (loose == kNone && text::equalsIgnoreCase(name, field))
            loose = c;
    }
    return loose;
}

bool hidden(const Document& d, Index property)
{
    const Index effects = d.find(property, "effects");
    if (effects == kNone)
        return false;
    for (Index c = d.node(effects).first; c != kNone; c = d.node(c).next) {
        if (d.node(c).kind == sexpr::Kind::Atom && d.raw(c) == "hide")
            return true; // KiCad 6 and 7: a bare "hide"
        if (d.head(c) == "hide")
            return d.value(effects, "hide") != "no"; // KiCad 8 and 9: "(hide yes)"
    }
    return false;
}

struct Edit {
    std::size_t begin, end;
    std::string text;
};

// The text that adds property `field` = `code` after the symbol's last
// property, shaped as this file writes a hidden field: a copy of the last
// hidden property of the symbol with name, value (and KiCad 6's id)
// replaced; without one, KiCad's form for the file's version.
Edit addProperty(
    const Document& d, Index symbol, const std::string& field, const std::string& code, long version)
{
    Index last = kNone, model = kNone;
    int maxId = -1;
    for (Index c = d.node(symbol).first; c != kNone; c = d.node(c).next) {
        if (d.head(c) != "property")
            continue;
        last = c;
        if (hidden(d, c))
            model = c;
        const std::string id = d.value(c, "id");
        if (!id.empty())
            maxId = std::max(maxId, std::atoi(id.c_str()));
    }
    const std::string_view s = d.source();
    // Where the symbol's children start their lines.
    const Index anchor = last != kNone ? last : d.child(symbol, 1);
    const std::size_t at = d.node(anchor).begin;
    const std::size_t lineStart = s.rfind('\n', at) == std::string_view::npos ? 0 : s.rfind('\n', at) + 1;
    const std::string indent(s.substr(lineStart, at - lineStart));
    const std::size_t insertAt = d.node(last != kNone ? last : anchor).end;

    std::string body;
    if (model != kNone) {
        // Splice name, value and id into a copy of the model's bytes.
        std::vector<Edit> inner;
        const std::size_t base = d.node(model).begin;
        auto relative = [&](Index n, std::string text) {
            inner.push_back({ d.node(n).begin - base, d.node(n).end - base, std::move(text) });
        };
        relative(d.child(model, 1), sexpr::quote(field));
        relative(d.child(model, 2), sexpr::quote(code));
        const Index id = d.find(model, "id");
        if (id != kNone && d.child(id, 1) != kNone)
            relative(d.child(id, 1), std::to_string(maxId + 1));
        std::sort(inner.begin(), inner.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
        const std::string_view raw = d.raw(model);
        std::size_t pos = 0;
        for (const Edit& e : inner) {
            body.append(raw.substr(pos, e.begin - pos));
            body += e.text;
            pos = e.end;
        }
        body.append(raw.substr(pos));
    } else {
        const std::string where = d.find(symbol, "at") != kNone ? std::string(d.raw(d.find(symbol, "at")))
                                                                : std::string("(at 0 0 0)");
        if (version >= 20231120) {
            body = "(property " + sexpr::quote(field) + " " + sexpr::quote(code) + "\n" + indent + "\t"
                + where + "\n" + indent + "\t(effects\n" + indent + "\t\t(font\n" + indent
                + "\t\t\t(size 1.27 1.27)\n" + indent + "\t\t)\n" + indent + "\t\t(hide yes)\n" + indent
                + "\t)\n" + indent + ")";
        } else {
            body = "(property " + sexpr::quote(field) + " " + sexpr::quote(code)
                + (version < 20220000 ? " (id " + std::to_string(maxId + 1) + ")" : std::string()) + " "
                + where + "\n" + indent + "  (effects (font (size 1.27 1.27)) hide)\n" + indent + ")";
        }
    }
    return { insertAt, insertAt, "\n" + indent + body };
}

std::string applyEdits(std::string_view source, std::vector<Edit> edits)
{
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::string out;
    out.reserve(source.size() + 256 * edits.size());
    std::size_t pos = 0;
    for (const Edit& e : edits) {
        out.append(source.substr(pos, e.begin - pos));
        out += e.text;
        pos = e.end;
    }
    out.append(source.substr(pos));
    return out;
}

} // namespace

void storeDesignLink(const fs::path& dpz, const DesignLink& link)
{
    dpz::Db db = open(dpz);
    try {
        dpz::Transaction t(db.get());
        dpz::exec(db.get(), kLinkSql);
        dpz::exec(db.get(), "DELETE FROM design_source; DELETE FROM design_file;");
        dpz::Statement source(db.get(), "INSERT INTO design_source(key, value) VALUES (?1, ?2)");
        for (const auto& [key, value] :
            { std::pair { "root", link.root.string() }, std::pair { "field", link.field } }) {
            source.reset();
            source.bindText(1, key);
            source.bindBytes(2, value);
            source.step();
        }
        dpz::Statement file(db.get(), "INSERT INTO design_file(name, fingerprint) VALUES (?1, ?2)");
        for (const auto& [name, print] : link.files) {
            file.reset();
            file.bindBytes(1, name);
            file.bindText(2, print);
            file.step();
        }
        t.commit();
    } catch (const dpz::Error& e) {
        throw ProjectError(dpz.string() + ": " + e.what());
    }
}

std::optional<DesignLink> loadDesignLink(const fs::path& dpz)
{
    dpz::Db db = open(dpz);
    if (!hasTable(db.get(), "design_source"))
        return std::nullopt;
    DesignLink link;
    dpz::Statement source(db.get(), "SELECT key, value FROM design_source");
    bool any = false;
    while (source.step()) {
        any = true;
        const std::string key = source.bytes(0);
        if (key == "root")
            link.root = source.bytes(1);
        else if (key == "field")
            link.field = source.bytes(1);
    }
    if (!any)
        return std::nullopt;
    dpz::Statement files(db.get(), "SELECT name, fingerprint FROM design_file ORDER BY rowid");
    while (files.step())
        link.files.emplace_back(files.bytes(0), files.bytes(1));
    return link;
}

DesignLink linkOf(const SchematicDesign& design, const fs::path& root, const std::string& field)
{
    DesignLink link { fs::absolute(root), field, {} };
    for (const SchematicFile& f : design.files)
        link.files.emplace_back(f.name, fingerprint(f.bytes));
    return link;
}

namespace
{

std::string eicOf(const Device& d)
{
    return d.tokens && d.tokens->size() > 1 ? (*d.tokens)[1] : std::string();
}

void setEic(Device& d, const std::string& code)
{
    if (!d.tokens)
        d.tokens = std::vector<std::string> {};
    if (d.tokens->size() < 2)
        d.tokens->resize(2);
    (*d.tokens)[1] = code;
}

} // namespace

std::vector<std::string> keepAssignedCodes(
    const fs::path& dpz, Project& fresh, std::map<std::string, std::string>& designCodes)
{
    const Project old = readDpz(dpz);
    std::map<std::string, std::string> then;
    {
        dpz::Db db = open(dpz);
        if (hasTable(db.get(), "design_code")) {
            dpz::Statement s(db.get(), "SELECT device, code FROM design_code");
            while (s.step())
                then[text::cp1252ToUtf8(s.bytes(0))] = text::cp1252ToUtf8(s.bytes(1));
        }
    }
    std::map<std::string, std::string> now;
    for (const Device& d : old.devices)
        now[d.name] = eicOf(d);
    std::vector<std::string> designWins;
    for (Device& d : fresh.devices) {
        const std::string design = eicOf(d);
        designCodes[d.name] = design;
        auto assigned = now.find(d.name);
        if (assigned == now.end() || assigned->second == design)
            continue;
        // A project without the codes of its import (made before they were
        // kept) counts its own codes as the design's then.
        auto known = then.find(d.name);
        const std::string& before = known == then.end() ? assigned->second : known->second;
        if (!design.empty() && design != before)
            designWins.push_back(d.name + ": " + shown(assigned->second) + " -> " + design);
        else
            setEic(d, assigned->second);
    }
    return designWins;
}

void storeDesignCodes(const fs::path& dpz, const std::map<std::string, std::string>& codes)
{
    dpz::Db db = open(dpz);
    dpz::Transaction t(db.get());
    dpz::exec(db.get(), kLinkSql);
    dpz::exec(db.get(), "DELETE FROM design_code");
    dpz::Statement s(db.get(), "INSERT INTO design_code(device, code) VALUES (?1, ?2)");
    for (const auto& [device, code] : codes) {
        s.reset();
        s.bindBytes(1, text::utf8ToCp1252(device).value_or(device));
        s.bindBytes(2, text::utf8ToCp1252(code).value_or(code));
        s.step();
    }
    t.commit();
}

void carryJournals(const fs::path& from, const fs::path& to)
{
    dpz::Db target = open(to);
    const std::string attach = "ATTACH DATABASE '" + [&] {
        std::string escaped;
        for (const char c : from.string())
            escaped += c == '\'' ? std::string("''") : std::string(1, c);
        return escaped;
    }() + "' AS old";
    dpz::exec(target.get(), attach);
    struct Detach {
        sqlite3* db;
        ~Detach() { sqlite3_exec(db, "DETACH DATABASE old", nullptr, nullptr, nullptr); }
    } detach { target.get() };
    dpz::Transaction copy(target.get());
    dpz::exec(target.get(), kLinkSql);
    auto oldHas = [&](const char* table) {
        dpz::Statement s(
            target.get(), "SELECT count(*) FROM old.sqlite_master WHERE type = 'table' AND name = ?1");
        s.bindText(1, table);
        s.step();
        return s.integer(0) > 0;
    };
    if (oldHas("write_back")) {
        dpz::ensureJournal(target.get());
        // Entries of devices the design no longer has cannot be undone and
        // are left behind; a write-back left empty goes with them.
        dpz::exec(target.get(),
            "INSERT INTO main.write_back(id, made) SELECT id, made FROM old.write_back ORDER BY id;"
            "INSERT INTO main.write_back_change(write_back, device, old_text, new_text) "
            "  SELECT c.write_back, n.id, c.old_text, c.new_text FROM old.write_back_change c "
            "  JOIN old.device o ON o.id = c.device JOIN main.device n ON n.name = o.name ORDER BY c.id;"
            "DELETE FROM main.write_back WHERE id NOT IN (SELECT write_back FROM main.write_back_change);");
    }
    if (oldHas("design_write"))
        dpz::exec(target.get(),
            "INSERT INTO main.design_write SELECT * FROM old.design_write ORDER BY id;"
            "INSERT INTO main.design_write_file SELECT * FROM old.design_write_file ORDER BY id;");
    copy.commit();
}

std::string writeBackField(const DesignLink& link, const std::string& requested)
{
    return !requested.empty() ? requested : !link.field.empty() ? link.field : std::string("EIC");
}

DesignWritePlan planDesignWrite(const fs::path& dpz, const std::string& field)
{
    recoverDesignWrite(dpz);
    const auto link = loadDesignLink(dpz);
    if (!link)
        throw ProjectError(
            dpz.string() + " was not made from a KiCad schematic (project from-kicad ROOT.kicad_sch)");
    const SchematicDesign design = readSchematicDesign(link->root);
    std::map<std::string, std::string> printed(link->files.begin(), link->files.end());
    for (const SchematicFile& f : design.files) {
        auto it = printed.find(f.name);
        if (it == printed.end() || it->second != fingerprint(f.bytes))
            throw ProjectError(f.path.string()
                + " changed since the project was made from it (saved in KiCad?); run project from-kicad "
                  "again first");
    }

    // Each part's code: the EIC of its component's device.
    const Project project = readDpz(dpz);
    std::map<std::string, std::string> deviceCode, partCode, partDevice;
    for (const Device& d : project.devices)
        deviceCode[d.name] = d.tokens && d.tokens->size() > 1 ? (*d.tokens)[1] : std::string();
    for (const Component& c : project.components)
        if (!c.device.empty()) {
            partCode[c.name] = deviceCode[c.device];
            partDevice[c.name] = c.device;
        }

    // One code per symbol of a file; a symbol of a sheet used twice serves
    // several parts, which must then want the same code.
    struct Wanted {
        std::string code, reference;
    };
    std::map<std::pair<std::size_t, std::string>, Wanted> wanted;
    for (const SchematicPart& part : design.parts) {
        const std::string reference(part.reference);
        auto code = partCode.find(reference);
        if (code == partCode.end())
            continue;
        for (const SchematicSymbol& s : part.symbols) {
            auto [it, isNew] = wanted.emplace(
                std::pair<std::size_t, std::string> { s.file, s.uuid }, Wanted { code->second, reference });
            if (!isNew && it->second.code != code->second)
                throw ProjectError(it->second.reference + " and " + reference + " are one symbol in "
                    + design.files[s.file].name + " (a sheet used twice) but would need two codes ("
                    + shown(it->second.code) + ", " + shown(code->second) + "); nothing written");
        }
    }

    DesignWritePlan plan;
    for (std::size_t f = 0; f < design.files.size(); ++f) {
        const SchematicFile& file = design.files[f];
        const Document d = Document::parse(file.bytes, file.path.string());
        std::vector<Edit> edits;
        for (Index n = d.node(d.root()).first; n != kNone; n = d.node(n).next) {
            if (d.head(n) != "symbol")
                continue;
            auto it = wanted.find({ f, d.value(n, "uuid") });
            if (it == wanted.end())
                continue;
            const std::string& code = it->second.code;
            const Index property = findProperty(d, n, field);
            if (property != kNone) {
                const Index value = d.child(property, 2);
                const std::string old = value == kNone ? std::string() : d.text(value);
                if (old == code)
                    continue;
                if (value == kNone)
                    edits.push_back({ d.node(d.child(property, 1)).end, d.node(d.child(property, 1)).end,
                        " " + sexpr::quote(code) });
                else
                    edits.push_back({ d.node(value).begin, d.node(value).end, sexpr::quote(code) });
                plan.changes.push_back({ it->second.reference, file.name, old, code, false });
                plan.deviceCodes[partDevice[it->second.reference]] = code;
            } else if (!code.empty()) {
                edits.push_back(addProperty(d, n, field, code, file.version));
                plan.changes.push_back({ it->second.reference, file.name, "", code, true });
                plan.deviceCodes[partDevice[it->second.reference]] = code;
            }
        }
        if (!edits.empty())
            plan.files.push_back(
                { file.name, file.path, file.bytes, applyEdits(file.bytes, std::move(edits)) });
    }
    return plan;
}

std::string describeDesignWrite(const DesignWritePlan& plan)
{
    std::string out;
    for (const SymbolCodeChange& c : plan.changes)
        out += c.reference + " (" + c.file + "): " + shown(c.oldCode) + " -> " + shown(c.newCode)
            + (c.added ? " (new field)" : "") + "\n";
    return out;
}

void applyDesignWrite(const fs::path& dpz, const DesignWritePlan& plan)
{
    if (plan.files.empty())
        return;
    for (const auto& f : plan.files)
        if (readOnly(f.path))
            throw ProjectError(f.path.string() + " is read-only (or its folder is); nothing written");
    dpz::Db db = open(dpz);
    recover(db.get());
    // The new files beside the old ones first: a kill here leaves the old
    // set and a few temporary files the next run removes.
    for (const auto& f : plan.files)
        writeTemp(f.path, f.after);
    std::int64_t id = 0;
    try {
        dpz::Transaction t(db.get());
        dpz::exec(db.get(), kLinkSql);
        dpz::Statement row(db.get(),
            "INSERT INTO design_write(state, after_write_back, made) "
            "VALUES ('apply', ?1, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))");
        row.bindInt(1, lastWriteBack(db.get()));
        row.step();
        id = sqlite3_last_insert_rowid(db.get());
        dpz::Statement file(db.get(),
            "INSERT INTO design_write_file(design_write, name, path, old_bytes, new_bytes) VALUES (?1, ?2, "
            "?3, ?4, ?5)");
        std::vector<std::pair<std::string, std::string>> prints;
        for (const auto& f : plan.files) {
            file.reset();
            file.bindInt(1, id);
            file.bindBytes(2, f.name);
            file.bindBytes(3, fs::absolute(f.path).string());
            file.bindBytes(4, f.before);
            file.bindBytes(5, f.after);
            file.step();
            prints.emplace_back(f.name, fingerprint(f.after));
        }
        updateFingerprints(db.get(), prints);
        // The design now carries these codes: a re-import must not take
        // them for codes the designer typed in since.
        dpz::Statement code(db.get(), "INSERT OR REPLACE INTO design_code(device, code) VALUES (?1, ?2)");
        for (const auto& [device, value] : plan.deviceCodes) {
            code.reset();
            code.bindBytes(1, text::utf8ToCp1252(device).value_or(device));
            code.bindBytes(2, text::utf8ToCp1252(value).value_or(value));
            code.step();
        }
        t.commit();
    } catch (const std::exception& e) {
        std::error_code ec;
        for (const auto& f : plan.files)
            fs::remove(tempOf(f.path), ec);
        throw ProjectError(dpz.string() + ": cannot journal the write: " + e.what());
    }
    rollForward(db.get(), id, "apply");
}

bool recoverDesignWrite(const fs::path& dpz)
{
    bool recovered = false;
    {
        dpz::Db db = open(dpz);
        recovered = recover(db.get());
    }
    // New files a run killed before its journal commit left beside the old.
    if (const auto link = loadDesignLink(dpz)) {
        std::error_code ec;
        for (const auto& [name, print] : link->files)
            fs::remove(tempOf(link->root.parent_path() / name), ec);
    }
    return recovered;
}

bool lastChangeIsDesignWrite(const fs::path& dpz)
{
    dpz::Db db = open(dpz);
    if (!hasTable(db.get(), "design_write"))
        return false;
    dpz::Statement s(
        db.get(), "SELECT after_write_back FROM design_write WHERE state = 'done' ORDER BY id DESC LIMIT 1");
    if (!s.step())
        return false;
    return s.integer(0) == lastWriteBack(db.get());
}

std::string undoDesignWrite(const fs::path& dpz)
{
    dpz::Db db = open(dpz);
    recover(db.get());
    std::int64_t id = 0;
    {
        dpz::Statement s(
            db.get(), "SELECT id FROM design_write WHERE state = 'done' ORDER BY id DESC LIMIT 1");
        if (!s.step())
            throw ProjectError("There is nothing to undo.");
        id = s.integer(0);
    }
    std::string out;
    std::vector<std::pair<std::string, std::string>> prints;
    {
        dpz::Statement files(db.get(),
            "SELECT name, path, old_bytes, new_bytes FROM design_write_file WHERE design_write = ?1");
        files.bindInt(1, id);
        while (files.step()) {
            const fs::path path(files.bytes(1));
            std::string now;
            try {
                now = readBytes(path);
            } catch (const ProjectError&) {
            }
            if (now != files.bytes(3))
                throw ProjectError(
                    path.string() + " changed since the codes were written to it; nothing was undone");
            if (readOnly(path))
                throw ProjectError(path.string() + " is read-only; nothing was undone");
            out += files.bytes(0) + ": restored\n";
            prints.emplace_back(files.bytes(0), fingerprint(files.bytes(2)));
        }
    }
    {
        dpz::Transaction t(db.get());
        dpz::Statement revert(db.get(), "UPDATE design_write SET state = 'revert' WHERE id = ?1");
        revert.bindInt(1, id);
        revert.step();
        updateFingerprints(db.get(), prints);
        t.commit();
    }
    rollForward(db.get(), id, "revert");
    return out;
}

} // namespace rav::project
