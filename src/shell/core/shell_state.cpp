#include "shell_state.h"

namespace rav::shell
{

ShellState& shellState()
{
    static ShellState state;
    return state;
}

} // namespace rav::shell
