// kill_bench [TRIALS] [WINDOW_MS] [OPERATION...]: kills a child doing each
// operation at random moments, TRIALS times per operation (100 unless
// given), and prints per operation the trials run, the steps the children
// had committed, and the trials that lost data (the goal is 0).
#include "../bench/bench_machine.h"
#include "kill_trials.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace rav::reliability;

int main(int argc, char** argv)
{
    rav::bench::printMachine();
    const int trials = argc > 1 ? std::atoi(argv[1]) : 100;
    const int windowMs = argc > 2 ? std::atoi(argv[2]) : 600;
    if (trials < 1 || windowMs < 0) {
        std::fprintf(stderr, "usage: kill_bench [TRIALS] [WINDOW_MS] [OPERATION...]\n");
        return 2;
    }
    std::vector<OperationInfo> chosen;
    for (int i = 3; i < argc; ++i) {
        Operation op;
        if (!operationNamed(argv[i], op)) {
            std::fprintf(stderr, "kill_bench: no operation %s\n", argv[i]);
            return 2;
        }
        chosen.push_back({ op, argv[i] });
    }
    if (chosen.empty())
        chosen = operations();

    const fs::path child = fs::canonical("/proc/self/exe").parent_path() / "rav_kill_child";
    std::string pattern = (fs::temp_directory_path() / "ravederi-kill-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "kill_bench: cannot make a temporary folder\n");
        return 1;
    }
    const fs::path root = pattern;
    std::mt19937 random(20261206);
    int lossTotal = 0;
    std::printf("| operation | trials | steps committed (mean) | data lost |\n");
    std::printf("|---|---|---|---|\n");
    for (const auto& info : chosen) {
        int lost = 0;
        long steps = 0;
        for (int t = 0; t < trials; ++t) {
            const fs::path dir = root / (std::string(info.name) + "-" + std::to_string(t));
            fs::create_directories(dir);
            const TrialResult r = runTrial(info.operation, dir, child.string(), windowMs, random);
            steps += r.committed;
            if (!r.problems.empty()) {
                ++lost;
                std::fprintf(stderr, "%s trial %d: %s\n", info.name, t, r.problems.front().c_str());
            }
            fs::remove_all(dir);
        }
        lossTotal += lost;
        std::printf("| %s | %d | %.1f | %d |\n", info.name, trials, static_cast<double>(steps) / trials, lost);
        std::fflush(stdout);
    }
    fs::remove_all(root);
    return lossTotal == 0 ? 0 : 1;
}
