// The line tokenizer: the first byte chooses the delimiter, the rest is the
// line. Its values joined by the delimiter give the line back.
#include "fuzz_support.h"
#include "line_tokenizer.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char delimiter = static_cast<char>(data[0]);
    const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);
    static rav::LineTokenizer tokenizer; // reused, as the import does
    tokenizer.Split(line, delimiter);
    const auto delimiters = static_cast<std::size_t>(std::count(line.begin(), line.end(), delimiter));
    rav::fuzz::check(tokenizer.Count() == (line.empty() ? 0 : delimiters + 1), "wrong number of values");
    std::string joined;
    for (std::size_t i = 1; i <= tokenizer.Count(); ++i)
        joined.append(i > 1 ? 1 : 0, delimiter).append(tokenizer.Item(i));
    rav::fuzz::check(joined == line, "values do not give the line back");
    rav::fuzz::check(tokenizer.Item(0).empty() && tokenizer.Item(tokenizer.Count() + 1).empty(),
        "a position outside the line has a value");
    return 0;
}
