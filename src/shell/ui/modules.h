// The registration point of the module windows that the main window opens.
//
// A module (the LOM wizard, the EID wizard, the record editor) registers a
// factory for its window, usually with a static ModuleRegistrar in its own
// library, and appends that library to the CMake global property
// RAVEDERI_MODULE_LIBRARIES so that the editor library links it whole. The
// main window then offers the module without any change of its own code.
//
// What a module window can rely on and must do:
// - The factory creates the window (a top-level QWidget, not yet shown) and
//   gives it an object name (frmLomedit, frmEidedit, frmRecEdit). The main
//   window adds it to the loaded windows, shows it, gives it the focus,
//   stores it as ModuleForm and hides itself.
// - The window localises itself when it is created (LocaliseForm) and reads
//   what it needs from shellState().
// - When the user closes it, it calls ReturnToMainForm() and deletes itself
//   (Qt::WA_DeleteOnClose); ModuleForm is cleared when it is destroyed.
// - Its destructor is its unload: placement saved, temporary databases
//   deleted, its own child windows unloaded. The shell unloads it by
//   deleting it (command "UP", shut-down), without a close event.
#pragma once

#include <functional>

class QWidget;

namespace rav::shell
{

// The modules in the order of the main window's options.
enum class ModuleKind { EidWizard = 0, RecordEditor = 1, LomWizard = 2 };
inline constexpr int kModuleCount = 3;

using ModuleFactory = std::function<QWidget*()>;

void RegisterModuleWindow(ModuleKind kind, ModuleFactory factory);
bool HasModuleWindow(ModuleKind kind);
// A new window of the module, or null when no module of that kind is part
// of this build.
QWidget* CreateModuleWindow(ModuleKind kind);

struct ModuleRegistrar {
    ModuleRegistrar(ModuleKind kind, ModuleFactory factory)
    {
        RegisterModuleWindow(kind, std::move(factory));
    }
};

} // namespace rav::shell
