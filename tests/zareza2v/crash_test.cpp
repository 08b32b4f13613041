// A process killed in the middle of a series of device changes leaves a
// project file that opens, passes SQLite's integrity check, and holds for
// every device either its old or its new text.
#include "project_model.h"
#include "test_env.h"
#include "textcodec.h"
#include "zareza2v.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace
{

constexpr int kDevices = 40;

std::string oldText(int i)
{
    return "PKG" + std::to_string(i) + " Old\x80OLD-" + std::to_string(i) + std::string(200, 'o');
}
std::string newText(int i)
{
    return "PKG" + std::to_string(i) + " New\x80NEW-" + std::to_string(i) + std::string(200, 'n');
}

std::string integrity(const std::string& file)
{
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK
            && sqlite3_step(s) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

// Starts the churn program on `file`; returns its pid and the read end of its
// stdout.
pid_t startChurn(const std::string& file, FILE*& out)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = RAV_CHURN_PROGRAM;
    char* argv[] = { program.data(), const_cast<char*>(file.c_str()), nullptr };
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out = fdopen(fds[0], "r");
    return pid;
}

TEST(DeviceChangeCrash, KilledWriterLeavesOldOrNewTexts)
{
    rav::test::ScratchDir dir;
    const std::string file = (dir / "churn.dpz").string();
    rav::project::Project p;
    p.name = "CHURN";
    for (int i = 0; i < kDevices; ++i) {
        rav::project::Device d;
        d.name = "DEV" + std::to_string(i);
        rav::project::splitDeviceText(rav::text::cp1252ToUtf8(oldText(i)), d);
        p.devices.push_back(d);
    }
    rav::project::writeDpz(p, file);

    std::mt19937 random(7);
    long total = 0;
    int sawNew = 0;
    for (int kill = 0; kill < 6; ++kill) {
        FILE* out = nullptr;
        const pid_t pid = startChurn(file, out);
        ASSERT_GT(pid, 0);
        ASSERT_NE(out, nullptr);
        // Wait until a number of changes went through, then kill at a random
        // moment of the ones that follow.
        const long wanted = 20 + static_cast<long>(random() % 60);
        char line[64];
        long done = 0;
        while (done < wanted && std::fgets(line, sizeof line, out))
            done = std::atol(line);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        std::fclose(out);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself after " << done << " changes";
        ASSERT_GE(done, wanted);
        total += done;

        // Opening first lets SQLite roll back a half-done change.
        ASSERT_NE(Z_OpenProject(file.c_str()), 0) << Z_LastError();
        EXPECT_EQ(integrity(file), "ok");
        std::int32_t map = DB_DeviceMap(), cursor = OM_GetFirst(map);
        int index = 0;
        for (std::int32_t d; (d = OM_SearchMask(map, &cursor, 0, 0)) > 0; ++index) {
            Z_DeviceRecord r {};
            ASSERT_NE(D_ReadDevice(d, &r), 0);
            const std::string text = Z_TextPointer(r.text);
            EXPECT_TRUE(text == oldText(index) || text == newText(index))
                << "device " << index << ": " << text;
            sawNew += text == newText(index);
        }
        EXPECT_EQ(index, kDevices);
        Z_CloseProject();
    }
    EXPECT_GT(total, 0);
    EXPECT_GT(sawNew, 0); // the changes did reach the file
}

} // namespace
