#include "text_file.h"

#include "host_utility.h"
#include "textcodec.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace rav
{
namespace
{

// Large enough that a million-line import makes few system calls, small
// enough to sit in cache.
constexpr std::size_t kBufferSize = 64 * 1024;

constexpr const char* kReadId = "99365";
constexpr const char* kReadText = "Can't read file: ";
constexpr const char* kWriteId = "99335";
constexpr const char* kWriteText = "Can't create/write to file: ";

// Same answer as text::isValidUtf8, but skips runs of ASCII a word at a time:
// import files are mostly ASCII, and this check runs on every line.
bool isValidUtf8Fast(std::string_view s)
{
    const char* const p = s.data();
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        while (i < n && static_cast<unsigned char>(p[i]) < 0x80)
            ++i;
        if (i >= n)
            break;
        const auto lead = static_cast<unsigned char>(p[i]);
        const std::size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + len > n || !text::isValidUtf8(s.substr(i, len)))
            return false;
        i += len;
    }
    return true;
}

} // namespace

TextFile::TextFile(MessageSink& messages)
    : messages_(messages)
{
}

TextFile::~TextFile()
{
    if (mode_ == Mode::Output)
        flushBuffer(); // a failure here has no one left to tell but the sink
    closeDescriptor();
}

TextFile::TextFile(TextFile&& other) noexcept
    : messages_(other.messages_)
    , fd_(std::exchange(other.fd_, -1))
    , mode_(std::exchange(other.mode_, Mode::Closed))
    , name_(std::move(other.name_))
    , path_(std::move(other.path_))
    , error_(other.error_)
    , errorText_(std::move(other.errorText_))
    , buf_(std::move(other.buf_))
    , pos_(other.pos_)
    , end_(other.end_)
    , eof_(other.eof_)
    , firstLine_(other.firstLine_)
    , consumed_(other.consumed_)
    , length_(other.length_)
    , out_(std::move(other.out_))
{
}

void TextFile::closeDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    mode_ = Mode::Closed;
}

void TextFile::fail(int err, const char* id, const char* defaultText)
{
    error_ = true;
    errorText_ = std::strerror(err);
    if (!id)
        return;
    UserMessage message;
    message.kind = MessageKind::Exclamation;
    message.id = id;
    message.text = HostUtility::instance().GetLocalMessage(defaultText, id) + name_;
    message.title = errorText_;
    messages_.show(message);
}

bool TextFile::OpenTextForInput(const std::string& fileName)
{
    CloseTextFile(false);
    name_ = path_ = fileName;
    error_ = false;
    errorText_.clear();
    pos_ = end_ = 0;
    eof_ = false;
    firstLine_ = true;
    consumed_ = length_ = 0;
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(errno, kReadId, kReadText);
        return false;
    }
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        fail(err, kReadId, kReadText);
        return false;
    }
    fd_ = fd;
    mode_ = Mode::Input;
    length_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    buf_.resize(kBufferSize);
    return true;
}

bool TextFile::OpenTextForOutput(const std::string& fileName, const std::string& shownName)
{
    CloseTextFile(false);
    path_ = fileName;
    name_ = shownName.empty() ? fileName : shownName;
    error_ = false;
    errorText_.clear();
    consumed_ = length_ = 0;
    out_.clear();
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        fail(errno, nullptr, nullptr);
        return false;
    }
    fd_ = fd;
    mode_ = Mode::Output;
    out_.reserve(kBufferSize);
    return true;
}

bool TextFile::fillBuffer()
{
    for (;;) {
        const ssize_t n = ::read(fd_, buf_.data(), buf_.size());
        if (n > 0) {
            pos_ = 0;
            end_ = static_cast<std::size_t>(n);
            return true;
        }
        if (n == 0) {
            eof_ = true;
            pos_ = end_ = 0;
            return true;
        }
        if (errno != EINTR) {
            fail(errno, kReadId, kReadText);
            return false;
        }
    }
}

bool TextFile::ReadTextLine(std::string& line)
{
    line.clear();
    if (mode_ != Mode::Input) {
        fail(EBADF, kReadId, kReadText);
        return false;
    }
    bool any = false; // bytes of this line seen, even if only its LF
    for (;;) {
        if (pos_ < end_) {
            const char* start = buf_.data() + pos_;
            const auto* nl = static_cast<const char*>(std::memchr(start, '\n', end_ - pos_));
            const std::size_t take = nl ? static_cast<std::size_t>(nl - start) : end_ - pos_;
            line.append(start, take);
            pos_ += take + (nl ? 1 : 0);
            consumed_ += static_cast<std::int64_t>(take + (nl ? 1 : 0));
            any = true;
            if (nl)
                break;
        }
        if (eof_) {
            if (!any)
                return false;
            break;
        }
        if (!fillBuffer())
            return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (firstLine_) {
        firstLine_ = false;
        if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
    }
    if (!isValidUtf8Fast(line))
        line = text::cp1252ToUtf8(line);
    return true;
}

bool TextFile::flushBuffer()
{
    std::size_t done = 0;
    while (done < out_.size()) {
        const ssize_t n = ::write(fd_, out_.data() + done, out_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            out_.clear(); // what could not be written is lost; do not retry it forever
            fail(err, kWriteId, kWriteText);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    out_.clear();
    return true;
}

bool TextFile::WriteText(std::string_view text)
{
    if (mode_ != Mode::Output) {
        fail(EBADF, kWriteId, kWriteText);
        return false;
    }
    out_.append(text);
    consumed_ += static_cast<std::int64_t>(text.size());
    if (out_.size() >= kBufferSize)
        return flushBuffer();
    return true;
}

void TextFile::CloseTextFile(bool deleteFile)
{
    if (mode_ == Mode::Closed)
        return;
    if (mode_ == Mode::Output) {
        flushBuffer();
        if (::close(fd_) != 0 && !error_)
            fail(errno, kWriteId, kWriteText);
        fd_ = -1;
    }
    closeDescriptor();
    buf_.clear();
    buf_.shrink_to_fit();
    if (deleteFile)
        ::unlink(path_.c_str());
}

} // namespace rav
