// What the fuzz targets share: a private scratch folder per process, for the
// readers that take a file rather than bytes, and a way to stop with a
// message when a property of the output does not hold.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace rav::fuzz
{
// Created on first use under $TMPDIR (or /tmp), removed when the process ends.
const std::filesystem::path& scratch();
// Writes `size` bytes to `name` in the scratch folder and returns its path.
std::filesystem::path writeScratch(const std::string& name, const std::uint8_t* data, std::size_t size);
// Prints the message and aborts, so that libFuzzer saves the input.
[[noreturn]] void fail(const std::string& message);
inline void check(bool condition, const std::string& message)
{
    if (!condition)
        fail(message);
}
} // namespace rav::fuzz
