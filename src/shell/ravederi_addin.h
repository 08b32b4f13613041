// The editor's entry object as a host sees it. A host loads libRavederi at
// run time, looks up Ravederi_CreateObject and creates "vazOvizided"; all it
// can do with the editor then goes through that object:
//
//   1. create the object and subscribe to NotifyServer (Advise);
//   2. set SeverPath to the folder that holds Ravederi.HLP and its
//      translations such as Ravederi.de.HLP (before Load: the help file
//      name is fixed when the main window starts);
//   3. Load(mode) opens the editor (0 normal, 1 minimised, 2 maximised);
//   4. NotifyMe passes commands ("RAVEDERI,UP", "All,MN", "RAVEDERI,EX");
//   5. NotifyServer reports "SHUTDOWN" from "RAVEDERI" and requests such as
//      "SHELL,1,<command line>";
//   6. Release() unloads the editor (a shut-down when it is still open) and
//      frees the object.
//
// The object and the editor's windows live on the host's user-interface
// thread (the thread of the QApplication); every call comes from there.
// Strings are UTF-8. The interface is plain C++ with virtual functions in
// this order; host and editor must be built with the same compiler.
#pragma once

#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define RAVEDERI_ADDIN_API __attribute__((visibility("default")))
#else
#define RAVEDERI_ADDIN_API
#endif

namespace rav::addin
{

// Raised whenever the editor notifies the host; both strings by reference,
// as the host's handler may look at and change them.
class NotifyServerSink
{
public:
    virtual void NotifyServer(std::string& name, std::string& sCommand) = 0;

protected:
    ~NotifyServerSink() = default;
};

class vazOvizided
{
public:
    // Passes a command to the main window; `name` is not interpreted and an
    // empty command does nothing. Returns 0, or the number of the error the
    // command failed with (9: a command for this editor without a code; 91:
    // a window command before the first Load).
    virtual int NotifyMe(std::string& name, std::string& sCommand) = 0;
    // The folder of the help file; "" until the host sets it.
    virtual std::string SeverPath() const = 0;
    virtual void SeverPath(const std::string& path) = 0;
    // Opens the editor or brings it forward: true when the main window is
    // shown, false when an open module window was brought forward instead
    // (or the editor could not start).
    virtual bool Load(std::int16_t iMode) = 0;
    // The event NotifyServer: one subscriber; nullptr unsubscribes. The sink
    // is not owned and must outlive the subscription.
    virtual void Advise(NotifyServerSink* sink) = 0;
    // Unloads the editor when it is open and frees the object.
    virtual void Release() = 0;

protected:
    virtual ~vazOvizided() = default;
};

inline constexpr int kInterfaceVersion = 1;
inline constexpr const char* kClassName = "vazOvizided";

} // namespace rav::addin

extern "C" {
// Creates an object of the named class, or returns null for an unknown class
// or an interface version the library does not implement.
typedef rav::addin::vazOvizided* (*Ravederi_CreateObjectFn)(const char* className, int interfaceVersion);
RAVEDERI_ADDIN_API rav::addin::vazOvizided* Ravederi_CreateObject(
    const char* className, int interfaceVersion);
// 1 when no object of the library is alive, so that the library could be
// unloaded; 0 otherwise.
typedef int (*Ravederi_CanUnloadNowFn)(void);
RAVEDERI_ADDIN_API int Ravederi_CanUnloadNow(void);
}
