// The editor's text files (EID text exports and imports, import logs, List
// of Materials files): one open file per object, closed on every way out.
//
// Encoding: written as given (the editor's strings are UTF-8; callers end
// their own lines with CR LF). Read as UTF-8 with or without a byte-order
// mark; a line that is not valid UTF-8 is taken as Windows-1252, line by
// line, so a file mixing both still reads. A line ends at LF; a CR just
// before it is dropped; a last line without a line end is still a line.
//
// Failures are reported the editor's way: the operations that tell the user
// do so through the MessageSink given at construction (message 99365 "Can't
// read file: " or 99335 "Can't create/write to file: " followed by the
// file name, an exclamation box titled with the failure's description) and
// raise the error flag that the caller checks.
//
// State: Closed -> (OpenTextForInput | OpenTextForOutput) -> Reading |
// Writing -> CloseTextFile -> Closed. Reading and writing calls on a file
// open the other way, or on a closed file, fail with EBADF.
#pragma once

#include "sinks.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rav
{

class TextFile
{
public:
    explicit TextFile(MessageSink& messages);
    ~TextFile(); // closes, never deletes
    TextFile(TextFile&& other) noexcept;
    TextFile& operator=(TextFile&& other) = delete;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Opens an existing file for reading. On failure shows 99365 and sets
    // the error flag. Any file already open is closed first.
    bool OpenTextForInput(const std::string& fileName);
    // Creates the file, or empties an existing one. On failure sets the
    // error flag without a message: the caller decides what to tell.
    // `shownName`, when given, is the name messages use (a target written
    // under a hidden temporary name is reported by its own name).
    bool OpenTextForOutput(const std::string& fileName, const std::string& shownName = {});

    // The next line, without its line end, decoded to UTF-8. Returns false
    // at the end of the file (error flag clear) or on a read failure (99365
    // shown, error flag set).
    bool ReadTextLine(std::string& line);
    // Writes the text as it stands. On failure shows 99335 and sets the
    // error flag. Output is buffered; a failure that only shows when the
    // buffer is written is reported by the WriteText or CloseTextFile call
    // that writes it.
    bool WriteText(std::string_view text);
    // Writes what is buffered and closes the file; deletes it when
    // `deleteFile` is set. Closing a closed file does nothing.
    void CloseTextFile(bool deleteFile);

    bool isOpen() const { return fd_ >= 0; }
    bool atEnd() const { return eof_ && pos_ == end_; }
    // The error flag: set by a failed operation, cleared by the next open.
    bool error() const { return error_; }
    // The failure's description ("No such file or directory").
    const std::string& errorDescription() const { return errorText_; }
    const std::string& fileName() const { return name_; }

    // Bytes of the file consumed by the lines read so far, and the file's
    // length when it was opened: the progress of an import.
    std::int64_t position() const { return consumed_; }
    std::int64_t length() const { return length_; }

private:
    void fail(int err, const char* id, const char* defaultText);
    bool fillBuffer();
    bool flushBuffer();
    void closeDescriptor();

    enum class Mode { Closed, Input, Output };

    MessageSink& messages_;
    int fd_ = -1; // owned file descriptor, -1 when closed
    Mode mode_ = Mode::Closed;
    std::string name_; // as messages show it
    std::string path_; // the file itself
    bool error_ = false;
    std::string errorText_;

    // Input: buf_[pos_, end_) holds bytes read but not yet returned.
    std::string buf_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool firstLine_ = true; // a byte-order mark may only stand before it
    std::int64_t consumed_ = 0;
    std::int64_t length_ = 0;

    // Output: bytes waiting to be written.
    std::string out_;
};

} // namespace rav
