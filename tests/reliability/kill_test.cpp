// A child killed at random moments of each writing operation leaves files
// that open, pass the integrity check and hold every step it committed.
#include "kill_trials.h"
#include "test_env.h"

#include <gtest/gtest.h>

using namespace rav::reliability;

TEST(KillTrials, EveryOperationKeepsWhatItCommitted)
{
    std::mt19937 random(42);
    for (const auto& info : operations()) {
        long steps = 0;
        for (int trial = 0; trial < 3; ++trial) {
            rav::test::ScratchDir dir;
            // Growing windows: killed while starting, early and in the middle.
            const TrialResult r = runTrial(info.operation, dir.path(), RAV_KILL_CHILD, 100 + 550 * trial, random);
            EXPECT_TRUE(r.killed) << info.name;
            EXPECT_TRUE(r.problems.empty()) << info.name << ": " << (r.problems.empty() ? "" : r.problems.front());
            steps += r.committed;
        }
        EXPECT_GT(steps, 0) << info.name << " never committed a step before the kill: the trials test nothing";
    }
}
