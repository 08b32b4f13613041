#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace rav::fuzz
{
namespace
{
struct Scratch {
    std::filesystem::path path;
    Scratch()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ravederi-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            fail("cannot create a scratch folder under " + pattern);
        path = pattern;
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
} // namespace

const std::filesystem::path& scratch()
{
    static Scratch folder;
    return folder.path;
}

std::filesystem::path writeScratch(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path file = scratch() / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        fail("cannot write " + file.string());
    return file;
}

void fail(const std::string& message)
{
    std::fprintf(stderr, "fuzz property failed: %s\n", message.c_str());
    std::abort();
}
} // namespace rav::fuzz
