#include "line_tokenizer.h"

#include <cstring>

namespace rav
{

void LineTokenizer::Split(std::string_view line, char delimiter)
{
    items_.clear();
    line_.assign(line.data(), line.size());
    if (line_.empty())
        return;
    const char* const begin = line_.data();
    const char* const end = begin + line_.size();
    const char* p = begin;
    for (;;) {
        const auto* hit
            = static_cast<const char*>(std::memchr(p, delimiter, static_cast<std::size_t>(end - p)));
        if (!hit) {
            items_.push_back({ static_cast<std::size_t>(p - begin), static_cast<std::size_t>(end - p) });
            return;
        }
        items_.push_back({ static_cast<std::size_t>(p - begin), static_cast<std::size_t>(hit - p) });
        p = hit + 1;
    }
}

} // namespace rav
