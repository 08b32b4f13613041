// The text-file reader on any bytes: UTF-8 with or without byte-order mark,
// Windows-1252, mixed line ends. Every line comes out as UTF-8 without line
// feed, and the reader consumes the whole file.
#include "fuzz_support.h"
#include "sinks.h"
#include "text_file.h"
#include "textcodec.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = rav::fuzz::writeScratch("input.txt", data, size);
    rav::NullMessageSink messages;
    rav::TextFile reader(messages);
    rav::fuzz::check(reader.OpenTextForInput(file.string()), "cannot open " + file.string());
    std::string line;
    std::size_t lines = 0;
    while (reader.ReadTextLine(line)) {
        ++lines;
        rav::fuzz::check(rav::text::isValidUtf8(line), "line " + std::to_string(lines) + " is not UTF-8");
        rav::fuzz::check(line.find('\n') == std::string::npos, "line feed inside a line");
    }
    rav::fuzz::check(!reader.error(), "read failed: " + reader.errorDescription());
    rav::fuzz::check(reader.position() == static_cast<std::int64_t>(size), "file not consumed to its end");
    rav::fuzz::check(lines <= size, "more lines than bytes");
    reader.CloseTextFile(false);
    return 0;
}
