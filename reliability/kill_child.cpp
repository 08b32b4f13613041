// The child of the kill trials: `rav_kill_child OPERATION DIR` runs one
// operation round after round until it is killed (see kill_trials.h).
#include "kill_trials.h"

#include <cstdio>

int main(int argc, char** argv)
{
    rav::reliability::Operation operation;
    if (argc != 3 || !rav::reliability::operationNamed(argv[1], operation)) {
        std::fprintf(stderr, "usage: rav_kill_child OPERATION DIR\n");
        return 2;
    }
    return rav::reliability::runChild(operation, argv[2]);
}
