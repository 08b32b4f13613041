#include "access_reader.h"

#include "textcodec.h"

#include <mdbtools.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define RAV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAV_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef RAV_ADDRESS_SANITIZER
#define RAV_ADDRESS_SANITIZER 0
#endif

namespace rav::eid
{

namespace
{

// What the child sends: records of a tag byte, a count and that many
// texts, each a 32-bit length and its bytes.
enum Tag : char {
    kError = 'E', // one text: the message
    kTables = 'T', // the table names
    kHeader = 'H', // table name, Jet version, primary key ordinal
    kColumn = 'C', // name, type name, size, converted, memo
    kRow = 'R', // one text per column
    kEnd = 'Z', // nothing follows
};

// Bound values longer than this are cut by the library; anything near it is
// far past the 255 characters an EID field holds, so the cut is harmless.
constexpr int kBindSize = 4096;
// The parent stops a child that sends more than this.
constexpr std::size_t kMaxBytes = std::size_t(1) << 30;

class Writer
{
public:
    explicit Writer(int fd)
        : fd_(fd)
    {
    }
    void record(char tag, const std::vector<std::string>& texts)
    {
        buffer_ += tag;
        put(static_cast<std::uint32_t>(texts.size()));
        for (const auto& t : texts) {
            put(static_cast<std::uint32_t>(t.size()));
            buffer_ += t;
        }
        if (buffer_.size() > 65536)
            flush();
    }
    void flush()
    {
        const char* p = buffer_.data();
        std::size_t left = buffer_.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ::_exit(3);
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        buffer_.clear();
    }

private:
    void put(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            buffer_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    int fd_;
    std::string buffer_;
};

struct TypeInfo {
    const char* name;
    int size; // characters as text; 0: not held as text
};

// Widths of the text forms below: the longest value of each type.
TypeInfo typeInfo(const MdbColumn& c, bool jet3)
{
    switch (c.col_type) {
    case MDB_TEXT:
        return { "Text", jet3 ? c.col_size : c.col_size / 2 };
    case MDB_MEMO:
        return { "Memo", 255 };
    case MDB_BOOL:
        return { "Yes/No", 3 }; // Yes, No
    case MDB_BYTE:
        return { "Byte", 3 };
    case MDB_INT:
        return { "Integer", 6 };
    case MDB_LONGINT:
        return { "Long Integer", 11 };
    case MDB_MONEY:
        return { "Currency", 21 }; // -922337203685477.5808
    case MDB_FLOAT:
        return { "Single", 15 }; // shortest form that reads back
    case MDB_DOUBLE:
        return { "Double", 24 };
    case MDB_DATETIME:
        return { "Date/Time", 19 }; // 2024-03-02 10:15:00
    case MDB_REPID:
        return { "Replication ID", 38 }; // {8-4-4-4-12}
    case MDB_NUMERIC:
        return { "Decimal", c.col_prec + 2 };
    case MDB_BINARY:
        return { "Binary", 0 };
    case MDB_OLE:
        return { "OLE Object", 0 };
    default:
        return { "Complex", 0 };
    }
}

// The library's text of a value, in the form the EID keeps.
std::string valueText(int type, const char* bound, int length)
{
    std::string v(bound, static_cast<std::size_t>(std::max(0, std::min(length, kBindSize))));
    switch (type) {
    case MDB_BOOL:
        return v == "1" ? "Yes" : "No";
    case MDB_FLOAT:
    case MDB_DOUBLE: {
        if (v.empty())
            return v;
        char* end = nullptr;
        const double d = std::strtod(v.c_str(), &end);
        if (*end != '\0')
            return v;
        char out[64];
        const auto r = type == MDB_FLOAT ? std::to_chars(out, out + sizeof out, static_cast<float>(d))
                                         : std::to_chars(out, out + sizeof out, d);
        return std::string(out, r.ptr);
    }
    case MDB_DATETIME:
        if (v.size() == 19 && v.compare(10, 9, " 00:00:00") == 0)
            v.resize(10);
        return v;
    default:
        return v;
    }
}

// The child's side. Returns the exit status; messages go as kError.
int childRead(const std::string& file, const std::string* table, Writer& out)
{
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb) {
        out.record(kError, { file + ": not an Access database (or damaged)" });
        return 1;
    }
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_bind_size(mdb, kBindSize);
    mdb_set_boolean_fmt_numbers(mdb);
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        out.record(kError, { file + ": the list of tables cannot be read (the file is damaged)" });
        return 1;
    }
    std::vector<std::string> names;
    MdbCatalogEntry* found = nullptr;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        names.emplace_back(entry->object_name);
        if (table && !found && text::equalsIgnoreCase(entry->object_name, *table))
            found = entry;
    }
    if (!table) {
        out.record(kTables, names);
        out.record(kEnd, {});
        return 0;
    }
    if (!found) {
        std::string list;
        for (const auto& n : names)
            list += (list.empty() ? "" : ", ") + n;
        out.record(kError, { file + " has no table \"" + *table + "\" (its tables: " + list + ")" });
        return 1;
    }
    MdbTableDef* t = mdb_read_table(found);
    if (!t || !mdb_read_columns(t)) {
        out.record(kError, { file + ": the definition of table " + found->object_name + " cannot be read" });
        return 1;
    }
    mdb_read_indices(t);
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    int primaryKey = -1;
    for (unsigned i = 0; t->indices && i < t->num_idxs && i < t->indices->len; ++i) {
        const auto* ix = static_cast<MdbIndex*>(g_ptr_array_index(t->indices, i));
        if (ix->index_type == 1 && ix->num_keys == 1 && ix->key_col_num[0] >= 1
            && static_cast<unsigned>(ix->key_col_num[0]) <= t->num_cols)
            primaryKey = ix->key_col_num[0] - 1;
    }
    out.record(kHeader, { found->object_name, jet3 ? "3" : "4", std::to_string(primaryKey) });
    const unsigned count = t->columns->len;
    std::vector<int> types(count), lengths(count);
    std::vector<std::vector<char>> buffers(count, std::vector<char>(kBindSize + 1));
    for (unsigned i = 0; i < count; ++i) {
        const auto* c = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
        const TypeInfo info = typeInfo(*c, jet3);
        types[i] = c->col_type;
        out.record(kColumn,
            { c->name, info.name, std::to_string(info.size),
                c->col_type == MDB_TEXT || c->col_type == MDB_MEMO ? "0" : "1",
                c->col_type == MDB_MEMO ? "1" : "0" });
        mdb_bind_column(t, static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
    }
    mdb_rewind_table(t);
    std::vector<std::string> row(count);
    while (mdb_fetch_row(t)) {
        for (unsigned i = 0; i < count; ++i)
            row[i] = valueText(types[i], buffers[i].data(), lengths[i]);
        out.record(kRow, row);
    }
    out.record(kEnd, {});
    return 0;
}

// Runs `body` in a child process and returns what it sent, or throws when
// the child did not end normally.
std::string runChild(const std::string& file, const std::function<int(Writer&)>& body)
{
    {
        std::ifstream probe(file, std::ios::binary);
        if (!probe)
            throw AccessError("cannot read " + file + ": " + std::strerror(errno));
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw AccessError(std::string("cannot start the Access reader: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw AccessError(std::string("cannot start the Access reader: ") + std::strerror(errno));
    }
    if (pid == 0) {
        ::close(fds[0]);
        // The library reports on stdout and stderr; the caller words the failure.
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            ::dup2(devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
        }
        // The child must not outlive a caller that is stopped.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(5);
        // A damaged file can send the library round a loop of pages,
        // allocating as it goes; these limits end such a child. Reading takes
        // well under a second per 4 MiB, so they are generous.
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        const rlim_t seconds = 10 + (ec ? 0 : static_cast<rlim_t>(size >> 22));
        const rlimit cpu { seconds, seconds + 2 };
        ::setrlimit(RLIMIT_CPU, &cpu);
#if !RAV_ADDRESS_SANITIZER // the sanitizer reserves far more address space
        const rlim_t bytes = (rlim_t(512) << 20) + (ec ? 0 : static_cast<rlim_t>(size) * 8);
        const rlimit memory { bytes, bytes };
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        int status = 4;
        try {
            Writer out(fds[1]);
            status = body(out);
            out.flush();
        } catch (...) {
        }
        ::_exit(status);
    }
    ::close(fds[1]);
    std::string data;
    char chunk[65536];
    bool tooMuch = false;
    for (;;) {
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        data.append(chunk, static_cast<std::size_t>(n));
        if (data.size() > kMaxBytes) {
            tooMuch = true;
            ::kill(pid, SIGKILL);
            break;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (tooMuch)
        throw AccessError(file + ": the table is larger than 1 GiB as text, or the file is damaged");
    if (WIFSIGNALED(status))
        throw AccessError(file + ": damaged or not an Access database (the reader failed on it)");
    return data;
}

class Parser
{
public:
    Parser(const std::string& data, const std::string& file)
        : data_(data)
        , file_(file)
    {
    }
    bool next(char& tag, std::vector<std::string>& texts)
    {
        if (pos_ >= data_.size())
            return false;
        tag = data_[pos_++];
        const std::uint32_t n = u32();
        if (n > data_.size())
            damaged();
        texts.resize(n);
        for (auto& t : texts) {
            const std::uint32_t len = u32();
            if (len > data_.size() - pos_)
                damaged();
            t.assign(data_, pos_, len);
            pos_ += len;
        }
        return true;
    }
    [[noreturn]] void damaged() const
    {
        throw AccessError(file_ + ": damaged or not an Access database (its reading stopped part-way)");
    }

private:
    std::uint32_t u32()
    {
        if (data_.size() - pos_ < 4)
            damaged();
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data_[pos_++])) << (8 * i);
        return v;
    }
    const std::string& data_;
    const std::string& file_;
    std::size_t pos_ = 0;
};

// Names and values as UTF-8: the library converts text, but a file whose
// code page it does not know can still give Windows-1252 bytes.
std::string utf8(std::string s)
{
    return text::isValidUtf8(s) ? s : text::cp1252ToUtf8(s);
}

int number(const std::string& s, const Parser& p)
{
    int v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        p.damaged();
    return v;
}

} // namespace

std::vector<std::string> AccessTableNames(const std::string& file)
{
    const std::string data = runChild(file, [&](Writer& w) { return childRead(file, nullptr, w); });
    Parser p(data, file);
    char tag = 0;
    std::vector<std::string> texts, names;
    bool ended = false;
    while (p.next(tag, texts)) {
        if (tag == kError)
            throw AccessError(texts.empty() ? file + ": cannot be read" : utf8(texts[0]));
        if (tag == kTables)
            for (auto& n : texts)
                names.push_back(utf8(n));
        ended = tag == kEnd;
    }
    if (!ended)
        p.damaged();
    return names;
}

AccessTable ReadAccessTable(const std::string& file, const std::string& table)
{
    const std::string data = runChild(file, [&](Writer& w) { return childRead(file, &table, w); });
    Parser p(data, file);
    AccessTable t;
    char tag = 0;
    std::vector<std::string> texts;
    bool ended = false;
    while (!ended && p.next(tag, texts)) {
        switch (tag) {
        case kError:
            throw AccessError(texts.empty() ? file + ": cannot be read" : utf8(texts[0]));
        case kHeader:
            if (texts.size() != 3)
                p.damaged();
            t.name = utf8(texts[0]);
            t.jetVersion = number(texts[1], p);
            t.primaryKey = number(texts[2], p);
            break;
        case kColumn:
            if (texts.size() != 5)
                p.damaged();
            t.columns.push_back(
                { utf8(texts[0]), texts[1], number(texts[2], p), texts[3] == "1", texts[4] == "1" });
            break;
        case kRow:
            if (texts.size() != t.columns.size())
                p.damaged();
            for (auto& v : texts)
                v = utf8(std::move(v));
            t.rows.push_back(std::move(texts));
            texts = {};
            break;
        case kEnd:
            ended = true;
            break;
        default:
            p.damaged();
        }
    }
    if (!ended)
        p.damaged();
    return t;
}

} // namespace rav::eid
