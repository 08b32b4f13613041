// The List of Materials for people: grouping, natural order, do-not-place
// parts, checks, the file formats (read back as a reader would), atomic
// writes and assembler profiles; then the command line on a small KiCad
// netlist, end to end.
#include "lom_diff.h"
#include "lom_output.h"
#include "lom_profile.h"
#include "lom_table.h"
#include "project_fixture.h"
#include "test_env.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>
#include <filesystem>

namespace fs = std::filesystem;

namespace rav::lom
{
namespace
{

TEST(LomOrder, NaturalOrderAndRanges)
{
    const std::pair<const char*, const char*> less[] = {
        { "R2", "R10" }, { "r2", "R3" }, { "C9", "C10" }, { "R1", "R1A" }, { "U2", "U10B" }, { "A", "B" },
        { "IC01", "IC2" }, { "X", "x" }, // equal but for case: bytes decide
    };
    for (const auto& [a, b] : less) {
        EXPECT_TRUE(naturalLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(naturalLess(b, a)) << b << " !< " << a;
    }
    const std::pair<std::vector<std::string>, const char*> ranges[] = {
        { { "C7", "R10", "C2", "C1", "C4", "C3" }, "C1-C4, C7, R10" },
        { { "R2", "R1" }, "R1, R2" }, // two stay two
        { { "R1", "R2", "R3", "R5", "R6", "R7", "R8" }, "R1-R3, R5-R8" },
        { { "TP1", "R1", "R2", "R3", "J1A", "J1B" }, "J1A, J1B, R1-R3, TP1" },
        { { "R01", "R02", "R03" }, "R01, R02, R03" }, // leading zeros are not counted on
        { { "MH", "R10", "R9", "R11" }, "MH, R9-R11" },
    };
    for (const auto& [names, expected] : ranges)
        EXPECT_EQ(partRanges(names), expected);
}

PartRow part(const std::string& name, const std::string& eic, const std::string& value,
    const std::string& package, bool marked = false)
{
    PartRow p;
    p.values.resize(kLomProjectFields + 2);
    p.values.set(kFieldPartName, name);
    p.values.set(kFieldEic, eic);
    p.values.set(kFieldValue, value);
    p.values.set(kFieldPackage, package);
    p.values.set(kLomProjectFields + 1, eic.empty() ? "" : "maker of " + eic);
    p.hasEidRecord = !eic.empty() && eic != "LOST";
    p.marked = marked;
    return p;
}

const std::vector<PartRow> kParts = {
    part("R10", "RES-10K", "10k", "R0603"),
    part("C2", "", "100n", "C0603"),
    part("R2", "RES-10K", "10k", "R0603"),
    part("C1", "", "100n", "C0603"),
    part("R3", "RES-10K", "10K", "R0603"),
    part("C3", "", "100n", "C0805"),
    part("R1", "RES-10K", "10k", "R0603", true),
    part("U1", "LOST", "MCU", "QFN48"),
};

std::vector<TableColumn> groupedColumns()
{
    return { { "Qty", { ColumnSource::Kind::Quantity } }, { "Parts", { ColumnSource::Kind::Parts } },
        { "Value", { ColumnSource::Kind::Field, kFieldValue } },
        { "Maker", { ColumnSource::Kind::Field, kLomProjectFields + 1 }, true } };
}

TEST(LomTable, GroupsSortsSetsApartAndChecks)
{
    TableOptions o;
    o.columns = groupedColumns();
    o.group = true;
    o.multiplier = 3;
    // EIC, value and package; groups in natural order of their first part.
    LomTable t = MakeLomTable(kParts, o);
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(t.rows,
        (Rows { { "6", "C1, C2", "100n", "" }, { "3", "C3", "100n", "" },
            { "9", "R1, R2, R10", "10k", "maker of RES-10K" }, { "3", "R3", "10K", "maker of RES-10K" },
            { "3", "U1", "MCU", "maker of LOST" } }));
    EXPECT_EQ(t.separateFrom, 5u);
    EXPECT_EQ(t.parts, 8);

    // Do-not-place parts left out, or listed after the others.
    o.dnp = DnpMode::Exclude;
    o.multiplier = 1;
    EXPECT_EQ(MakeLomTable(kParts, o).rows[2],
        (std::vector<std::string> { "2", "R2, R10", "10k", "maker of RES-10K" }));
    o.dnp = DnpMode::Separate;
    t = MakeLomTable(kParts, o);
    ASSERT_EQ(t.rows.size(), 6u);
    EXPECT_EQ(t.rows[5][1], "R1");
    EXPECT_EQ(t.parts, 7);

    // Chosen grouping fields and a sort field; one line per part without grouping.
    o.groupFields = { kFieldValue };
    o.sortField = kFieldValue;
    o.dnp = DnpMode::Include;
    t = MakeLomTable(kParts, o);
    EXPECT_EQ(t.rowParts, (std::vector<std::string> { "R1, R2, R10", "R3", "C1-C3", "U1" }));
    o.group = false;
    o.sortField = 0;
    EXPECT_EQ(MakeLomTable(kParts, o).rowParts,
        (std::vector<std::string> { "C1", "C2", "C3", "R1", "R2", "R3", "R10", "U1" }));

    // The checks: no record, required column empty, one EIC with two values.
    o = {};
    o.columns = groupedColumns();
    o.group = true;
    t = MakeLomTable(kParts, o);
    EXPECT_EQ(CheckLom(kParts, t, o),
        (std::vector<std::string> { "line 1 (C1, C2): no EIC, so no EID record",
            "line 1 (C1, C2): required column \"Maker\" is empty", "line 2 (C3): no EIC, so no EID record",
            "line 2 (C3): required column \"Maker\" is empty", "line 5 (U1): no EID record for EIC \"LOST\"",
            "EIC \"RES-10K\" has different values: \"10K\" (R3), \"10k\" (R1, R2, R10)" }));

    // One code on two packages stays two lines and is reported; placeholder
    // codes are no code: equal parts share a line, different ones do not.
    const std::vector<PartRow> mixed = { part("U1", "REG-1", "LM1117", "SOT-223"),
        part("U2", "REG-1", "LM1117", "SOT-223"), part("U3", "REG-1", "LM1117", "TO-252"),
        part("J1", "_", "CONN", "HDR"), part("J2", " N/A ", "CONN", "HDR"), part("Y1", "-", "8MHz", "HC49") };
    t = MakeLomTable(mixed, o);
    EXPECT_EQ(t.rowParts, (std::vector<std::string> { "J1, J2", "U1, U2", "U3", "Y1" }));
    EXPECT_EQ(CheckLom(mixed, t, o),
        (std::vector<std::string> { "line 1 (J1, J2): placeholder EIC \"_\" taken as no code",
            "line 4 (Y1): placeholder EIC \"-\" taken as no code",
            "EIC \"REG-1\" has different packages: \"SOT-223\" (U1, U2), \"TO-252\" (U3)" }));

    // Names and values past 255 and 65535 bytes come back whole.
    for (const std::size_t size : { 300u, 70000u }) {
        const std::string name = "R" + std::string(size, '1'), value(size, 'v');
        t = MakeLomTable({ part(name, "", value, "P"), part(name, "", value, "P") }, o);
        EXPECT_EQ(t.rows, (Rows { { "2", name + ", " + name, value, "" } }));
    }
}

LomTable sampleTable()
{
    TableOptions o;
    o.columns = groupedColumns();
    o.columns[3].header = "Maker, \"quoted\"";
    o.group = true;
    o.dnp = DnpMode::Separate;
    std::vector<PartRow> parts = kParts;
    for (auto& p : parts) // R2, R3, R10: one group
        if (p.values[kFieldEic] == "RES-10K" && !p.marked)
            p.values.set(kFieldValue, "10k <1%> & \"€\"");
    return MakeLomTable(parts, o);
}

TEST(LomFormats, TextAndCsvAreExact)
{
    test::ScratchDir dir;
    const LomTable t = sampleTable();
    WriteLomTable(t, { LomFormat::Text, ";" }, (dir / "l.txt").string());
    EXPECT_EQ(test::readFile(dir / "l.txt"),
        " 1;2;C1, C2;100n;\r\n 2;1;C3;100n;\r\n 3;3;R2, R3, R10;10k <1%> & \"€\";maker of RES-10K\r\n"
        " 4;1;U1;MCU;maker of LOST\r\n\r\nDo not place:\r\n 1;1;R1;10k;maker of RES-10K\r\n");
    WriteLomTable(t, { LomFormat::Csv }, (dir / "l.csv").string());
    EXPECT_EQ(test::readFile(dir / "l.csv"),
        "Qty,Parts,Value,\"Maker, \"\"quoted\"\"\",Do not place\r\n2,\"C1, C2\",100n,,\r\n1,C3,100n,,\r\n"
        "3,\"R2, R3, R10\",\"10k <1%> & \"\"€\"\"\",maker of RES-10K,\r\n1,U1,MCU,maker of LOST,\r\n"
        "1,R1,10k,maker of RES-10K,yes\r\n");
    EXPECT_EQ(ParseLomFormat("XLSX"), LomFormat::Xlsx);
    EXPECT_EQ(ParseLomFormat("pdf"), std::nullopt);
    EXPECT_EQ(FormatOfFileName("/a/b.HTM"), LomFormat::Html);
    EXPECT_EQ(FormatOfFileName("LOM.txt"), LomFormat::Text);
}

TEST(LomFormats, HtmlParsesWithItsTablesFilterAndScript)
{
    test::ScratchDir dir;
    WriteLomTable(sampleTable(), { LomFormat::Html, "|", "Board <A>" }, (dir / "l.html").string());
    const std::string page = test::readFile(dir / "l.html");
    EXPECT_EQ(page.find("http"), std::string::npos); // nothing fetched
    QXmlStreamReader xml(QByteArray::fromStdString(page));
    std::vector<std::vector<QString>> rows; // every <tr> of both tables, headings included
    QString title;
    int tables = 0, inputs = 0, scripts = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (xml.name() == u"title")
                title = xml.readElementText();
            else if (xml.name() == u"table")
                ++tables;
            else if (xml.name() == u"input")
                inputs += xml.attributes().value("id") == u"filter";
            else if (xml.name() == u"script")
                scripts += xml.readElementText().contains("addEventListener('click'");
            else if (xml.name() == u"tr")
                rows.emplace_back(1, xml.attributes().value("data-parts").toString());
            else if (xml.name() == u"td" || xml.name() == u"th")
                rows.back().push_back(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(title, "Board <A>");
    EXPECT_EQ(std::vector<int>({ tables, inputs, scripts }), std::vector<int>({ 2, 1, 1 }));
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0][4], "Maker, \"quoted\"");
    EXPECT_EQ(rows[3][3], QString::fromUtf8("10k <1%> & \"€\""));
    EXPECT_EQ(rows[6][2], "R1");
    // Every name a range stands for is there for the filter; each range is
    // kept on one line.
    EXPECT_EQ(rows[3][0], ""); // "R2, R3, R10" holds no range
    EXPECT_NE(page.find("<td><span class=\"nw\">C1</span>, <span class=\"nw\">C2</span></td>"), std::string::npos);
    WriteLomTable({ { "Parts" }, { false }, { { "C1401-C1403" } }, 1, { "C1401-C1403" }, { "" }, { 0 }, 3 },
        { LomFormat::Html }, (dir / "r.html").string());
    const std::string ranged = test::readFile(dir / "r.html");
    EXPECT_NE(ranged.find("<tr data-parts=\"C1401 C1402 C1403\"><td><span class=\"nw\">C1401-C1403</span></td>"),
        std::string::npos) << ranged;
}

TEST(LomFormats, XlsxReadsBackWithBoldFrozenHeaderAndNumbers)
{
    test::ScratchDir dir;
    const fs::path file = dir / "l.xlsx";
    WriteLomTable(sampleTable(), { LomFormat::Xlsx, "|", "Board" }, file.string());
    const std::string script = (dir / "read.py").string();
    test::writeFile(script,
        "import sys, openpyxl\n"
        "wb = openpyxl.load_workbook(sys.argv[1])\n"
        "for ws in wb.worksheets:\n"
        "    print(ws.title, ws.freeze_panes, ws['A1'].font.b, ws.column_dimensions['A'].width < "
        "ws.column_dimensions['B'].width)\n"
        "    for row in ws.iter_rows(values_only=True):\n"
        "        print('|'.join(type(v).__name__ + ':' + str(v) for v in row))\n");
    if (test::runProgram("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null").exitCode != 0)
        GTEST_SKIP() << "/usr/bin/python3 with openpyxl is not installed: the workbook is not read back";
    const test::RunResult r = test::runProgram("/usr/bin/python3 " + script + " " + file.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
        "Board A2 True True\n"
        "str:Qty|str:Parts|str:Value|str:Maker, \"quoted\"\n"
        "int:2|str:C1, C2|str:100n|NoneType:None\n"
        "int:1|str:C3|str:100n|NoneType:None\n"
        "int:3|str:R2, R3, R10|str:10k <1%> & \"€\"|str:maker of RES-10K\n"
        "int:1|str:U1|str:MCU|str:maker of LOST\n"
        "Do not place A2 True True\n"
        "str:Qty|str:Parts|str:Value|str:Maker, \"quoted\"\n"
        "int:1|str:R1|str:10k|str:maker of RES-10K\n");
}

// Codes and part numbers that look like numbers stay texts; quantities and
// the columns a profile declares numeric are numbers. A profile column's
// alternatives are tried per line.
TEST(LomFormats, XlsxNumbersOnlyWhereDeclaredAndAlternativesPerLine)
{
    test::ScratchDir dir;
    FieldCatalogue catalogue;
    catalogue.reset(CatalogueKind::Lom, { "LCSC", "Price" });
    const int lcsc = kLomProjectFields + 1, price = kLomProjectFields + 2;
    const Profile profile = ParseProfile("p",
        "group yes\ncolumn Qty = @quantity\ncolumn Part Number = LCSC-D | External Index Code-P\n"
        "column Value = Component Value-P\ncolumn Price = Price-D\nnumeric Price\n");
    TableOptions o;
    o.columns = ResolveProfile(profile, catalogue);
    o.group = true;
    std::vector<PartRow> parts = { part("C1", "860020474012", "0805", ""), part("C2", "0603", "100", "") };
    for (auto& p : parts)
        p.values.resize(static_cast<std::size_t>(price) + 1);
    parts[0].values.set(price, "0.021");
    parts[0].values.set(lcsc, "");
    parts[1].values.set(lcsc, "C14663");
    const LomTable t = MakeLomTable(parts, o);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0][1], "860020474012"); // no LCSC code on this line: the EIC
    EXPECT_EQ(t.rows[1][1], "C14663");

    const fs::path file = dir / "n.xlsx";
    WriteLomTable(t, { LomFormat::Xlsx, "|", "Board" }, file.string());
    if (test::runProgram("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null").exitCode != 0)
        GTEST_SKIP() << "/usr/bin/python3 with openpyxl is not installed: the workbook is not read back";
    const test::RunResult r = test::runProgram("/usr/bin/python3 -c \"import sys, openpyxl\n"
                                               "for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows("
                                               "min_row=2, values_only=True): print(row)\" "
        + file.string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "(1, '860020474012', '0805', 0.021)\n(1, 'C14663', '100', None)\n");
}

TEST(LomFormats, FilesAppearWholeOrNotAtAll)
{
    test::ScratchDir dir;
    const LomTable t = sampleTable();
    const fs::path file = dir / "l.csv";
    test::writeFile(file, "old");
    WriteLomTable(t, { LomFormat::Csv }, file.string());
    EXPECT_NE(test::readFile(file), "old");
    EXPECT_EQ((fs::status(file).permissions() & fs::perms::owner_read), fs::perms::owner_read);
    // Nothing left beside it but the file itself.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    // A folder that takes no file: one line naming the target, nothing written.
    for (const std::string& bad : { (dir / "none/l.csv").string(), std::string("/proc/ravederi-lom.csv") }) {
        try {
            WriteLomTable(t, { LomFormat::Xlsx }, bad);
            ADD_FAILURE() << bad << " was written";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("cannot create " + bad + ": "), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(fs::exists(bad));
    }
    {
        AtomicOutput abandoned((dir / "gone.txt").string());
        EXPECT_TRUE(fs::exists(abandoned.tempName()));
        EXPECT_EQ(fs::path(abandoned.tempName()).parent_path(), dir.path());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

// A write that fails (here: a file size limit) names the file asked for,
// never our hidden temporary name, in one line; the workbook library's own
// reports do not reach stderr.
TEST(LomFormats, FailuresNameTheTargetInOneLine)
{
    test::ScratchDir dir;
    const LomTable t = sampleTable();
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    std::fflush(stderr);
    const int savedErr = ::dup(STDERR_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny { 16, old.rlim_max };
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    std::vector<std::string> messages;
    const std::string csv = (dir / "l.csv").string(), xlsx = (dir / "l.xlsx").string();
    for (const auto& [format, target] : { std::pair { LomFormat::Csv, csv }, std::pair { LomFormat::Xlsx, xlsx } }) {
        try {
            WriteLomTable(t, { format }, target);
            messages.emplace_back("written");
        } catch (const std::runtime_error& e) {
            messages.emplace_back(e.what());
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    std::fflush(stderr);
    ::dup2(savedErr, STDERR_FILENO);
    ::close(savedErr);
    ::close(err[1]);
    std::string chatter;
    char buffer[4096];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
        chatter.append(buffer, static_cast<std::size_t>(n));
    ::close(err[0]);
    EXPECT_EQ(chatter, "");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "cannot write " + csv + ": File too large");
    EXPECT_EQ(messages[1].rfind("cannot write " + xlsx + ": ", 0), 0u) << messages[1];
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 0); // nothing left behind
}

TEST(LomProfiles, BuiltInUserAndBadProfiles)
{
    ASSERT_GE(ListProfiles().size(), 2u);
    ASSERT_TRUE(FindProfile("assembly"));
    EXPECT_EQ(FindProfile("assembly")->origin, "built-in");

    // The user's folder adds profiles and replaces built-in ones.
    const fs::path userDir = UserProfileDir();
    fs::create_directories(userDir);
    test::writeFile(userDir / "assembly.profile",
        "# mine\r\ndescription Mine\r\ngroup no\r\ncolumn Ref = @parts\r\nrequired Code = Nope-D | "
        "Code-D\r\n");
    const auto mine = FindProfile("assembly");
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->description, "Mine");
    EXPECT_FALSE(mine->group);
    EXPECT_TRUE(mine->columns[1].required);
    FieldCatalogue catalogue;
    catalogue.reset(CatalogueKind::Lom, { "Code", "Price" });
    const auto columns = ResolveProfile(*mine, catalogue);
    EXPECT_EQ(columns[0].source.kind, ColumnSource::Kind::Parts);
    EXPECT_EQ(columns[1].source.field, kLomProjectFields + 1); // the first alternative the EID has
    catalogue.reset(CatalogueKind::Lom, { "Price" });
    EXPECT_THROW(ResolveProfile(*mine, catalogue), std::invalid_argument);
    fs::remove(userDir / "assembly.profile");

    const std::pair<const char*, const char*> bad[] = {
        { "column Ref\n", "line 1: a column reads" },
        { "# x\ngroup maybe\ncolumn A = @parts\n", "line 2: group is" },
        { "colour A = @parts\n", "line 1: unknown entry \"colour\"" },
        { "column A = @parts |\n", "an empty source" },
        { "description only\n", "has no columns" },
        { "column A = @parts\nnumeric B\n", "line 2: numeric names a column given above" },
    };
    for (const auto& [text, message] : bad) {
        try {
            ParseProfile("p", text);
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

TEST(LomDiff, PartsAndQuantitiesBetweenRevisions)
{
    test::ScratchDir dir;
    EXPECT_EQ(ExpandPartRanges("C1-C3, C7, R10-R9, J1A"),
        (std::vector<std::string> { "C1", "C2", "C3", "C7", "R10-R9", "J1A" }));
    // Text LOMs: the part names found by their form, any delimiter, no header.
    test::writeFile(
        dir / "old.txt", " 1;R1;10k\r\n 2;R2;10k\r\n 3;C12;100n\r\n\r\nDo not place:\r\n 1;R5;1k\r\n");
    test::writeFile(dir / "new.txt", " 1;R1;22k\r\n 2;R2;10k\r\n 3;R99;1k\r\n");
    EXPECT_EQ(DiffLomFiles(ReadLomFile((dir / "old.txt").string()), ReadLomFile((dir / "new.txt").string())),
        (std::vector<std::string> { "added R99: 1k", "removed C12: 100n", "changed R1: column 2 10k -> 22k",
            "1 added, 1 removed, 1 changed" }));
    // Grouped CSV: ranges expanded, quantities per EIC.
    test::writeFile(
        dir / "old.csv", "Quantity,Parts,Part Number\r\n2,\"R1, R2\",RES-10K\r\n3,C1-C3,CAP-100N\r\n");
    test::writeFile(dir / "new.csv", "Quantity,Parts,Part Number\r\n3,R1-R3,RES-10K\r\n3,C1-C3,CAP-100N\r\n");
    EXPECT_EQ(DiffLomFiles(ReadLomFile((dir / "old.csv").string()), ReadLomFile((dir / "new.csv").string())),
        (std::vector<std::string> {
            "added R3: RES-10K", "quantity RES-10K: 2 -> 3", "1 added, 0 removed, 0 changed" }));
    // Lines without a code are compared by part name, never pooled under "".
    test::writeFile(dir / "nokey-old.csv", "Quantity,Parts,Part Number\r\n2,\"R1, R2\",\r\n1,D1,\r\n3,C1-C3,CAP-100N\r\n");
    test::writeFile(dir / "nokey-new.csv", "Quantity,Parts,Part Number\r\n3,R1-R3,\r\n1,D2,\r\n3,C1-C3,CAP-100N\r\n");
    EXPECT_EQ(DiffLomFiles(ReadLomFile((dir / "nokey-old.csv").string()),
                  ReadLomFile((dir / "nokey-new.csv").string())),
        (std::vector<std::string> { "added D2: ", "added R3: ", "removed D1: ", "quantity R1, R2: 2 -> 3",
            "2 added, 1 removed, 0 changed" }));
    // The command exits like diff(1): 0 equal, 1 different, 2 trouble.
    const std::string tool = std::string(RAV_BIN_DIR) + "/ravederi lom diff ";
    const std::pair<std::string, int> exits[] = { { "old.csv old.csv", 0 }, { "old.csv new.csv", 1 },
        { "old.csv l.xlsx", 2 }, { "old.csv missing.csv", 2 }, { "old.csv other.csv", 2 } };
    for (const auto& [files, code] : exits) {
        std::string args;
        for (std::size_t from = 0; from < files.size();) {
            const std::size_t blank = std::min(files.find(' ', from), files.size());
            args += " " + (dir / files.substr(from, blank - from)).string();
            from = blank + 1;
        }
        EXPECT_EQ(test::runProgram(tool + args).exitCode, code) << files;
    }
    // Unrelated or unreadable files: one line each.
    test::writeFile(dir / "other.csv", "Quantity,Parts,Part Number\r\n1,U7,MCU\r\n");
    const std::pair<std::string, std::string> refused[] = {
        { "old.txt", "different columns" },
        { "other.csv", "share no part" },
        { "l.xlsx", "only text and CSV LOM files can be compared, not xlsx" },
    };
    for (const auto& [other, message] : refused) {
        try {
            DiffLomFiles(ReadLomFile((dir / "old.csv").string()), ReadLomFile((dir / other).string()));
            ADD_FAILURE() << other;
        } catch (const DiffError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

// The command line, end to end: a KiCad netlist with do-not-place markers
// made into a project, then grouped outputs, profiles and checks.
class LomOutputCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto comp = [](const std::string& ref, const std::string& value, const std::string& fields,
                        const std::string& extra = "") {
            return "<comp ref=\"" + ref + "\"><value>" + value
                + "</value><footprint>Lib:R_0603</footprint><fields>" + fields
                + "</fields><libsource lib=\"Device\" part=\"R\"/>" + extra + "</comp>";
        };
        test::writeFile(dir / "board.xml",
            "<?xml version=\"1.0\"?><export "
            "version=\"D\"><design><source>board.sch</source></design><components>"
                + comp("R10", "10k", "<field name=\"MPN\">RC0603-10K</field>")
                + comp("R2", "10k", "<field name=\"MPN\">RC0603-10K</field><field name=\"NOPOP\">1</field>")
                + comp("R1", "10k", "<field name=\"MPN\">RC0603-10K</field>")
                + comp("R3", "1k", "<field name=\"MPN\">RC0603-1K</field>", "<property name=\"dnp\"/>")
                + "</components></export>");
        ASSERT_EQ(run("project from-kicad " + path("board.xml") + " " + path("b.dpz")).exitCode, 0);
        test::writeFile(dir / "eid.txt", "RC0603-10K;0.01\n");
        ASSERT_EQ(
            run("eid create " + path("p.eid") + " --field MPN:30 --field Price:10 --eic MPN").exitCode, 0);
        ASSERT_EQ(
            run("eid import " + path("p.eid") + " " + path("eid.txt") + " --delimiter \";\"").exitCode, 0);
    }
    test::RunResult run(const std::string& args) { return test::runProgram(bin + " " + args); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    test::RunResult lom(const std::string& args)
    {
        return run("lom --project " + path("b.dpz") + " --eid " + path("p.eid") + " " + args);
    }

    test::ScratchDir dir;
    const std::string bin = std::string(RAV_BIN_DIR) + "/ravederi";
};

// "--out -" writes the file to standard output (reports go to stderr);
// a delimiter is one character, TAB or SPACE, never cut from a longer text.
TEST_F(LomOutputCli, StandardOutputAndDelimiters)
{
    test::RunResult r = lom("--field Component\\ Value-P --out -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, " 1|10k\r\n 2|10k\r\n 3|10k\r\n 4|1k\r\n");
    EXPECT_EQ(r.err, "4 lines written to -\n");
    r = lom("--field Component\\ Value-P --group --format csv --check --out -");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Quantity,Parts,Component Value-P\r\n3,\"R1, R2, R10\",10k\r\n1,R3,1k\r\n");
    EXPECT_NE(r.err.find("problem"), std::string::npos) << r.err;
    for (const char* d : { "''", "'||'", "ab" }) {
        r = lom("--field Component\\ Value-P --delimiter " + std::string(d) + " --out " + path("d.txt"));
        EXPECT_EQ(r.exitCode, 2) << d;
        EXPECT_EQ(r.err.rfind("ravederi: --delimiter is one character, TAB or SPACE", 0), 0u) << r.err;
        r = run("eid export " + path("p.eid") + " " + path("d.txt") + " --delimiter " + std::string(d));
        EXPECT_EQ(r.exitCode, 2) << d;
    }
    EXPECT_FALSE(fs::exists(dir / "d.txt"));
    for (const char* d : { "TAB", "space", "';'", "\xC2\xA7" })
        EXPECT_EQ(lom("--field Component\\ Value-P --delimiter " + std::string(d) + " --out " + path("d.txt")).exitCode, 0) << d;
}

TEST_F(LomOutputCli, GroupsMarksChecksAndRefuses)
{
    const std::string fields = "--field Component\\ Value-P --field Price-D";
    test::RunResult r = lom(fields + " --group --multiplier 2 --format csv --out " + path("a.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::readFile(dir / "a.csv"),
        "Quantity,Parts,Component Value-P,Price-D\r\n6,\"R1, R2, R10\",10k,0.01\r\n2,R3,1k,\r\n");
    // A field named on the command line, or KiCad's own marker as DNP.
    r = lom(fields + " --group --dnp exclude --dnp-attribute nopop --out " + path("a.txt"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::readFile(dir / "a.txt"), " 1|2|R1, R10|10k|0.01\r\n 2|1|R3|1k|\r\n");
    r = lom(fields + " --dnp separate --format text --out " + path("a.txt"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::readFile(dir / "a.txt"),
        " 1|10k|0.01\r\n 2|10k|0.01\r\n 3|10k|0.01\r\n\r\nDo not place:\r\n 1|1k|\r\n");

    r = lom("--profile buyer --check --out " + path("b.html"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "check: line 2 (R3): no EID record for EIC \"RC0603-1K\"");
    // Part Number falls back, on this line only, to the part's own EIC.
    EXPECT_NE(r.out.find("\n1 problem found\n"), std::string::npos) << r.out;
    EXPECT_NE(test::readFile(dir / "b.html").find("<td>RC0603-1K</td>"), std::string::npos);
    EXPECT_NE(test::readFile(dir / "b.html").find("<th>Part Number</th>"), std::string::npos);
    // Parts not placed are not bought, so not checked.
    EXPECT_EQ(lom("--profile buyer --check --dnp separate").out, "0 problems found\n");
    r = lom("--profile assembly --check --strict --format xlsx --out " + path("c.xlsx"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir / "c.xlsx"));

    const std::pair<std::string, std::string> refused[] = {
        { "--profile nosuch --out x", "unknown profile \"nosuch\"" },
        { fields + " --format pdf --out x", "unknown format \"pdf\"" },
        { fields + " --group-by Colour-P --out x", "unknown field \"Colour-P\"" },
        { fields + " --multiplier 2 --out x", "--multiplier needs a quantity column" },
        { fields + " --dnp maybe --out x", "--dnp is include, exclude or separate" },
        { "--profile buyer " + fields + " --out x", "--profile sets the columns" },
        { "--out x", "at least one --field (or a --profile) is required" },
        { fields + " --sort Part-P --out x", "--sort must name one of the --field captions" },
    };
    for (const auto& [args, message] : refused) {
        r = lom(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.err.find("ravederi: " + message), 0u) << r.err;
    }
    // An output path that takes no file: exit 1, one line, no file, classic or not.
    for (const char* format : { "text", "csv" }) {
        r = lom(fields + " --format " + std::string(format) + " --out /proc/ravederi-lom.txt");
        EXPECT_EQ(r.exitCode, 1) << format;
        EXPECT_EQ(r.err, "ravederi: cannot create /proc/ravederi-lom.txt: No such file or directory\n");
    }
}

TEST_F(LomOutputCli, ListsFieldsWritesTheClassicFileAndNamesBadProjects)
{
    test::RunResult r = run("lom --list-fields --eid " + path("p.eid"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\n8\tComponent Value-P\t\n9\tMPN-D\tMPN\n10\tPrice-D\tPrice\n"), std::string::npos)
        << r.out;
    r = run("lom --list-fields --eid " + path("board.xml"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not an External Info Database"), std::string::npos) << r.err;

    r = lom("--field Price-D --field Component\\ Name-P --sort Component\\ Name-P --delimiter , --out "
        + path("s.txt"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::readFile(dir / "s.txt"), " 1,0.01,R1\r\n 2,0.01,R10\r\n 3,0.01,R2\r\n 4,,R3\r\n");

    test::writeFile(dir / "e.json", test::projectJson("Empty", {}, {}));
    ASSERT_EQ(run("project build " + path("e.json") + " " + path("e.dpz")).exitCode, 0);
    const std::pair<const char*, const char*> projects[]
        = { { "none.dpz", "cannot open project" }, { "e.dpz", "No Part Used" } };
    for (const auto& [project, message] : projects) {
        r = run("lom --project " + path(project) + " --eid " + path("p.eid") + " --field Part-P --out "
            + path("n.txt"));
        EXPECT_EQ(r.exitCode, 1) << project;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "n.txt"));
}

} // namespace
} // namespace rav::lom
