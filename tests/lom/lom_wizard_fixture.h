// Where the LOM wizard and its model start from in tests: the demo project
// open, the demo EID current (a copy: other.eid), nothing built or kept.
#pragma once

#include "lom_build.h"
#include "placement.h"
#include "project_parts.h"
#include "shell_state.h"
#include "zareza2v.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace rav::lom::lomtest
{

inline void OpenDemo(const std::filesystem::path& dir)
{
    namespace fs = std::filesystem;
    fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.dpz", dir / "demo.dpz");
    fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", dir / "demo.eid");
    fs::copy_file(fs::path(RAV_EXAMPLES_DIR) / "demo.eid", dir / "other.eid");
    fs::create_directories(dir / "tmp");
    ASSERT_NE(Z_OpenProject((dir / "demo.dpz").c_str()), 0) << Z_LastError();
    ASSERT_TRUE(kernel::ProjectParts::instance().OpenProjectInfo());
    auto& s = shell::shellState();
    s.DBaseName = (dir / "demo.eid").string();
    s.TempDir = (dir / "tmp").string();
    s.LibDir = dir.string();
    lomState() = LomState {};
    fs::remove(shell::PlacementStoreFile());
}

inline std::size_t TempFiles(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir / "tmp"), {}));
}

} // namespace rav::lom::lomtest
