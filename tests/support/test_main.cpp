// Test entry point: isolates the per-user folders and runs without a display.
#include "test_env.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/ravederi-test-XXXXXX";
    const char* root = mkdtemp(pattern);
    if (!root)
        return 2;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
        const fs::path dir = fs::path(root) / var;
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_all);
        setenv(var, dir.c_str(), 1);
    }
    setenv("HOME", root, 1);
    setenv("RAV_TEST_SANDBOX", root, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A fixed language, so that catalogue look-ups are predictable unless a
    // test asks for another one.
    setenv("LANG", "C.UTF-8", 1);
    setenv("LC_ALL", "C.UTF-8", 1);

    ::testing::InitGoogleTest(&argc, argv);
    int code = 0;
    {
        QApplication app(argc, argv);
        code = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return code;
}
