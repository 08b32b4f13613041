// Kill trials: a child process runs one of the editor's writing operations
// round after round, telling its parent through a pipe how many steps it has
// committed; the parent kills it with SIGKILL at a random moment and then
// checks the files: every file opens, SQLite's integrity check passes, and
// everything committed before the kill is still there.
//
// The same code serves the benchmark-style program (kill_bench, 100 trials
// per operation) and the ctest test (a few trials per operation).
#pragma once
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace rav::reliability
{

enum class Operation { Import, RangeRemoval, LomFile, WriteBack, EidCreate, Settings, DesignWrite };

struct OperationInfo {
    Operation operation;
    const char* name; // the child's argument and the report's row
};
const std::vector<OperationInfo>& operations();
// The operation of a name, or false when there is none.
bool operationNamed(const std::string& name, Operation& operation);


// Creates the files the operation works on, in an empty folder `dir`.
void prepare(Operation operation, const std::filesystem::path& dir);

// The child's side: runs the operation round after round on the files in
// `dir`, writing the number of committed steps (one line each, "0" once
// ready) to stdout. Returns only on failure (with a message on stderr).
int runChild(Operation operation, const std::filesystem::path& dir);

// What one trial found.
struct TrialResult {
    long committed = 0; // steps the child reported before the kill
    bool killed = false; // false: the child ended by itself (a failure)
    std::vector<std::string> problems; // data lost or files damaged; empty when fine
};

// Checks the files of `dir` after a child that reported `committed` steps
// was killed.
TrialResult check(Operation operation, const std::filesystem::path& dir, long committed);

// One trial: prepares `dir` (which must be empty), starts `childProgram
// NAME DIR` with its XDG folders inside `dir`, kills it after a random
// 0..`windowMs` milliseconds once it is ready, and checks.
TrialResult runTrial(Operation operation, const std::filesystem::path& dir, const std::string& childProgram,
    int windowMs, std::mt19937& random);

} // namespace rav::reliability
