#include "modules.h"

#include <array>

namespace rav::shell
{

namespace
{

// Function-local, so that registrars in other libraries may run before
// anything else of the shell during static initialisation.
std::array<ModuleFactory, kModuleCount>& factories()
{
    static std::array<ModuleFactory, kModuleCount> table;
    return table;
}

} // namespace

void RegisterModuleWindow(ModuleKind kind, ModuleFactory factory)
{
    factories()[static_cast<std::size_t>(kind)] = std::move(factory);
}

bool HasModuleWindow(ModuleKind kind)
{
    return static_cast<bool>(factories()[static_cast<std::size_t>(kind)]);
}

QWidget* CreateModuleWindow(ModuleKind kind)
{
    const ModuleFactory& factory = factories()[static_cast<std::size_t>(kind)];
    return factory ? factory() : nullptr;
}

} // namespace rav::shell
