#include "lom_output.h"

#include "lom_diff.h"

#include "textcodec.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace rav::lom
{

namespace fs = std::filesystem;

namespace
{

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

[[noreturn]] void fail(const std::string& what, const std::string& file, int err)
{
    throw std::runtime_error(what + " " + file + ": " + std::strerror(err));
}

// Writes `data` into the temporary file `temp`; errors name `file`, the
// target the user asked for, never our hidden temporary name.
void writeAll(const std::string& temp, const std::string& file, const std::string& data)
{
    const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        fail("cannot write", file, errno);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            fail("cannot write", file, err);
        }
        done += static_cast<std::size_t>(n);
    }
    // No fsync: like the classic LOM file, this guards against a killed
    // process or a full disk, not against a power cut.
    if (::close(fd) != 0)
        fail("cannot write", file, errno);
}

// The main rows, then the do-not-place rows: [begin, end) of each section.
struct Section {
    std::size_t begin, end;
};

std::string textLines(const LomTable& t, const std::string& delimiter)
{
    std::string out;
    auto lines = [&](Section s) {
        for (std::size_t r = s.begin; r < s.end; ++r) {
            out += ' ';
            out += std::to_string(r - s.begin + 1);
            for (const auto& cell : t.rows[r]) {
                out += delimiter;
                out += cell;
            }
            out += "\r\n";
        }
    };
    lines({ 0, t.separateFrom });
    if (t.separateFrom < t.rows.size()) {
        out += "\r\nDo not place:\r\n";
        lines({ t.separateFrom, t.rows.size() });
    }
    return out;
}

std::string csvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::string csvText(const LomTable& t)
{
    const bool apart = t.separateFrom < t.rows.size();
    std::string out;
    auto record = [&](const std::vector<std::string>& cells, const char* last) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0)
                out += ',';
            out += csvField(cells[c]);
        }
        if (last) {
            out += ',';
            out += last;
        }
        out += "\r\n";
    };
    record(t.headers, apart ? "Do not place" : nullptr);
    for (std::size_t r = 0; r < t.rows.size(); ++r)
        record(t.rows[r], apart ? (r >= t.separateFrom ? "yes" : "") : nullptr);
    return out;
}

// Sorting (click a heading, again to reverse; numbers and part names in
// natural order) and the filter box work offline: nothing is fetched.
const char* const kHtmlScript = R"JS(
(function () {
  var box = document.getElementById('filter');
  var tables = document.querySelectorAll('table.lom');
  var collator = new Intl.Collator(undefined, {numeric: true, sensitivity: 'base'});
  tables.forEach(function (table) {
    table.querySelectorAll('th').forEach(function (th, col) {
      th.tabIndex = 0;
      var sort = function () {
        var body = table.tBodies[0];
        var up = th.getAttribute('aria-sort') !== 'ascending';
        table.querySelectorAll('th').forEach(function (h) { h.removeAttribute('aria-sort'); });
        th.setAttribute('aria-sort', up ? 'ascending' : 'descending');
        var rows = Array.prototype.slice.call(body.rows);
        rows.sort(function (a, b) {
          var c = collator.compare(a.cells[col].textContent, b.cells[col].textContent);
          return up ? c : -c;
        });
        rows.forEach(function (r) { body.appendChild(r); });
      };
      th.addEventListener('click', sort);
      th.addEventListener('keydown', function (e) { if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); sort(); } });
    });
  });
  box.addEventListener('input', function () {
    var words = box.value.toLowerCase().split(/\s+/).filter(Boolean);
    var shown = 0;
    tables.forEach(function (table) {
      Array.prototype.forEach.call(table.tBodies[0].rows, function (r) {
        var text = (r.textContent + ' ' + (r.getAttribute('data-parts') || '')).toLowerCase();
        var ok = words.every(function (w) { return text.indexOf(w) >= 0; });
        r.hidden = !ok;
        if (ok) shown++;
      });
    });
    document.getElementById('count').textContent = shown + ' lines shown';
  });
})();
)JS";

// The page is HTML that is also well-formed XML (closed empty elements,
// the script in a CDATA section).
std::string htmlText(const LomTable& t, const std::string& title, std::int64_t eidChange)
{
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
        + (eidChange >= 0 ? "<meta name=\"eid-change\" content=\"" + std::to_string(eidChange) + "\"/>\n" : std::string())
        + "<title>"
        + text::escapeHtml(title)
        + "</title>\n<style>\n"
          "body{font-family:sans-serif;margin:1em}\n"
          "table{border-collapse:collapse;margin-bottom:1.5em}\n"
          "th,td{border:1px solid #bbb;padding:.25em .5em;text-align:left;vertical-align:top}\n"
          "th{background:#eee;cursor:pointer;user-select:none;position:sticky;top:0}\n"
          "th[aria-sort=ascending]::after{content:' \\25B2'}\n"
          "th[aria-sort=descending]::after{content:' \\25BC'}\n"
          "td.num{text-align:right}\n"
          ".nw{white-space:nowrap}\n"
          "tbody tr:nth-child(even){background:#f7f7f7}\n"
          "#filter{width:20em;padding:.2em}\n"
          "</style>\n</head>\n<body>\n<h1>"
        + text::escapeHtml(title)
        + "</h1>\n<p><label>Filter: <input id=\"filter\" type=\"search\" placeholder=\"words to find\" "
          "autofocus=\"autofocus\"/></label> <span id=\"count\">"
        + std::to_string(t.rows.size()) + " lines shown</span></p>\n";
    auto table = [&](std::size_t begin, std::size_t end) {
        out += "<table class=\"lom\">\n<thead><tr>";
        for (const auto& h : t.headers)
            out += "<th>" + text::escapeHtml(h) + "</th>";
        out += "</tr></thead>\n<tbody>\n";
        for (std::size_t r = begin; r < end; ++r) {
            // The filter finds a part inside a range ("C1402" in
            // "C1401-C1403") through the names the range stands for.
            const std::string& parts = r < t.rowParts.size() ? t.rowParts[r] : std::string();
            std::string expanded;
            if (parts.find('-') != std::string::npos)
                for (const auto& name : ExpandPartRanges(parts))
                    expanded += (expanded.empty() ? "" : " ") + name;
            out += expanded.empty() ? "<tr>" : "<tr data-parts=\"" + text::escapeHtml(expanded) + "\">";
            for (std::size_t c = 0; c < t.rows[r].size(); ++c) {
                out += t.numeric[c] ? "<td class=\"num\">" : "<td>";
                const std::string& cell = t.rows[r][c];
                if (cell == parts && !parts.empty()) {
                    // A range or name never breaks across lines, only the
                    // list between them.
                    std::size_t from = 0;
                    for (;;) {
                        const std::size_t comma = cell.find(", ", from);
                        out += "<span class=\"nw\">" + text::escapeHtml(cell.substr(from, comma - from)) + "</span>";
                        if (comma == std::string::npos)
                            break;
                        out += ", ";
                        from = comma + 2;
                    }
                } else {
                    out += text::escapeHtml(cell);
                }
                out += "</td>";
            }
            out += "</tr>\n";
        }
        out += "</tbody>\n</table>\n";
    };
    table(0, t.separateFrom);
    if (t.separateFrom < t.rows.size()) {
        out += "<h2>Do not place</h2>\n";
        table(t.separateFrom, t.rows.size());
    }
    // Well-formed XML as well as HTML, so that any XML reader checks it.
    out += "<script>//<![CDATA[";
    out += kHtmlScript;
    out += "//]]></script>\n</body>\n</html>\n";
    return out;
}

// A plain decimal number a spreadsheet can hold exactly (only numeric
// columns are asked; codes always stay texts).
bool plainNumber(const std::string& s, double& value)
{
    if (s.empty() || s.size() > 15)
        return false;
    std::size_t i = s[0] == '-' ? 1 : 0;
    if (i >= s.size() || (s[i] == '0' && i + 1 < s.size() && s[i + 1] != '.'))
        return false;
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9')
            digits = true;
        else if (s[i] == '.' && !point && digits)
            point = true;
        else
            return false;
    }
    if (!digits || s.back() == '.')
        return false;
    value = std::strtod(s.c_str(), nullptr);
    return true;
}

std::size_t displayWidth(const std::string& s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80; // code points, not bytes
    return n;
}

// While it lives, what is written to stderr goes nowhere: the workbook
// library reports its failures there in several lines of its own, and the
// user gets our one line instead.
class QuietStderr
{
public:
    QuietStderr()
    {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

void writeXlsx(const LomTable& t, const std::string& title, std::int64_t eidChange, std::int64_t eidChangeTime,
    const std::string& temp, const std::string& file)
{
    QuietStderr quiet;
    errno = 0;
    lxw_workbook* book = workbook_new(temp.c_str());
    if (!book)
        fail("cannot write", file, errno ? errno : EIO);
    std::string change = "EID change " + std::to_string(eidChange);
    if (eidChange >= 0) {
        lxw_doc_properties properties {};
        properties.comments = change.data(); // the library takes it as not const, and copies it
        // Not the time of writing: a rebuild as of the change is then the same file.
        properties.created = static_cast<time_t>(std::max<std::int64_t>(eidChangeTime, 1));
        workbook_set_properties(book, &properties);
    }
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    auto sheet = [&](const char* name, std::size_t begin, std::size_t end) {
        lxw_worksheet* ws = workbook_add_worksheet(book, name);
        const std::size_t columns = t.headers.size();
        std::vector<std::size_t> width(columns);
        for (std::size_t c = 0; c < columns; ++c) {
            worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), t.headers[c].c_str(), bold);
            width[c] = displayWidth(t.headers[c]);
        }
        lxw_row_t row = 1;
        for (std::size_t r = begin; r < end; ++r, ++row) {
            for (std::size_t c = 0; c < columns; ++c) {
                const std::string& cell = t.rows[r][c];
                double number = 0;
                const auto col = static_cast<lxw_col_t>(c);
                if (cell.empty())
                    continue;
                if (t.numeric[c] && plainNumber(cell, number))
                    worksheet_write_number(ws, row, col, number, nullptr);
                else
                    worksheet_write_string(ws, row, col, cell.c_str(), nullptr);
                width[c] = std::max(width[c], displayWidth(cell));
            }
        }
        for (std::size_t c = 0; c < columns; ++c)
            worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                static_cast<double>(std::min<std::size_t>(width[c], 60) + 2), nullptr);
        worksheet_freeze_panes(ws, 1, 0);
        if (columns > 0)
            worksheet_autofilter(ws, 0, 0, row - 1, static_cast<lxw_col_t>(columns - 1));
    };
    // Sheet names are at most 31 characters and refuse a few signs.
    std::string name;
    for (char c : title)
        if (std::strchr("[]:*?/\\", c) == nullptr && name.size() < 31)
            name += c;
    sheet(name.empty() ? "LOM" : name.c_str(), 0, t.separateFrom);
    if (t.separateFrom < t.rows.size())
        sheet("Do not place", t.separateFrom, t.rows.size());
    errno = 0;
    const lxw_error rc = workbook_close(book);
    if (rc != LXW_NO_ERROR) {
        const int err = errno;
        throw std::runtime_error("cannot write " + file + ": "
            + (err != 0 && rc == LXW_ERROR_CREATING_XLSX_FILE ? std::strerror(err) : lxw_strerror(rc)));
    }
}

} // namespace

std::optional<LomFormat> ParseLomFormat(std::string_view name)
{
    const std::string n = lowerAscii(name);
    if (n == "text" || n == "txt")
        return LomFormat::Text;
    if (n == "csv")
        return LomFormat::Csv;
    if (n == "xlsx")
        return LomFormat::Xlsx;
    if (n == "html")
        return LomFormat::Html;
    return std::nullopt;
}

LomFormat FormatOfFileName(std::string_view fileName)
{
    const std::string ext = lowerAscii(fs::path(fileName).extension().string());
    if (ext == ".csv")
        return LomFormat::Csv;
    if (ext == ".xlsx")
        return LomFormat::Xlsx;
    if (ext == ".html" || ext == ".htm")
        return LomFormat::Html;
    return LomFormat::Text;
}

const char* FormatName(LomFormat format)
{
    switch (format) {
    case LomFormat::Csv:
        return "csv";
    case LomFormat::Xlsx:
        return "xlsx";
    case LomFormat::Html:
        return "html";
    case LomFormat::Text:
        break;
    }
    return "text";
}

AtomicOutput::AtomicOutput(std::string target)
    : target_(std::move(target))
{
    // Through a link, the file it names is replaced, not the link.
    std::error_code ec;
    if (fs::is_symlink(target_, ec))
        if (const fs::path real = fs::weakly_canonical(target_, ec); !ec)
            target_ = real.string();
    const fs::path path(target_);
    // The rename would replace a file the user protected against writing;
    // refuse it as a plain write would.
    if (::access(target_.c_str(), F_OK) == 0 && ::access(target_.c_str(), W_OK) != 0)
        fail("cannot write", target_, errno);
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string pattern = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0)
        fail("cannot create", target_, errno);
    // mkstemp makes the file private; a LOM file gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    temp_ = buffer.data();
}

AtomicOutput::~AtomicOutput()
{
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
}

void AtomicOutput::commit()
{
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        fail("cannot write", target_, errno);
    committed_ = true;
}

void WriteLomTable(const LomTable& table, const WriteOptions& options, const std::string& file)
{
    if (file == "-") {
        // Standard output: the same bytes, through a private temporary file
        // for the workbook (its library writes files only).
        StdoutTarget out;
        WriteLomTable(table, options, out.path());
        out.copyOut();
        return;
    }
    AtomicOutput out(file);
    switch (options.format) {
    case LomFormat::Text:
        writeAll(out.tempName(), out.target(), textLines(table, options.delimiter));
        break;
    case LomFormat::Csv:
        writeAll(out.tempName(), out.target(), csvText(table));
        break;
    case LomFormat::Html:
        writeAll(out.tempName(), out.target(), htmlText(table, options.title, options.eidChange));
        break;
    case LomFormat::Xlsx:
        writeXlsx(table, options.title, options.eidChange, options.eidChangeTime, out.tempName(), out.target());
        break;
    }
    out.commit();
}

StdoutTarget::StdoutTarget()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ravederi-lom.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0)
        fail("cannot create a temporary file for", "standard output", errno);
    ::close(fd);
    dir_ = buffer.data();
    ::unlink(dir_.c_str());
    if (::mkdir(dir_.c_str(), 0700) != 0)
        fail("cannot create a temporary file for", "standard output", errno);
    path_ = dir_ + "/lom";
}

StdoutTarget::~StdoutTarget()
{
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void StdoutTarget::copyOut()
{
    std::fflush(stdout);
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot write", "standard output", errno);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(STDOUT_FILENO, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0) {
                const int err = errno;
                ::close(fd);
                fail("cannot write", "standard output", err);
            }
            done += w;
        }
    }
    ::close(fd);
}

} // namespace rav::lom
