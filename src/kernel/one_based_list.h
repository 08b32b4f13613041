// A list numbered from 1, as the editor's shared lists are. Indexing outside
// 1..Count() throws std::out_of_range instead of reading past the end.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace rav::kernel
{

template <typename T> class OneBasedList
{
public:
    std::size_t Count() const { return items_.size(); }
    bool empty() const { return items_.empty(); }

    T& operator[](std::size_t i) { return items_.at(check(i) - 1); }
    const T& operator[](std::size_t i) const { return items_.at(check(i) - 1); }

    void clear() { items_.clear(); }
    void push_back(T item) { items_.push_back(std::move(item)); }

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    const std::vector<T>& items() const { return items_; }

private:
    std::size_t check(std::size_t i) const
    {
        if (i < 1 || i > items_.size())
            throw std::out_of_range(
                "list index " + std::to_string(i) + " outside 1.." + std::to_string(items_.size()));
        return i;
    }
    std::vector<T> items_;
};

} // namespace rav::kernel
