// The host's end of the editor: loads libRavederi at run time, creates its
// entry object and passes the notifications on. No widgets.
#pragma once

#include "ravederi_addin.h"

#include <QLibrary>
#include <QString>
#include <functional>
#include <string>

class AddinHost final : public rav::addin::NotifyServerSink
{
public:
    using Listener = std::function<void(const std::string& name, const std::string& command)>;

    AddinHost() = default;
    ~AddinHost();
    AddinHost(const AddinHost&) = delete;
    AddinHost& operator=(const AddinHost&) = delete;

    // The editor library: $RAVEDERI_LIBRARY, else found from the program's
    // folder: <prefix>/lib/.../ravederi/libRavederi.so where it is installed,
    // <build>/lib/libRavederi.so in the build tree.
    static QString defaultLibraryPath();
    // The folder of the help file, found the same way:
    // <prefix>/share/ravederi/help installed, <build>/help in the build tree.
    static QString defaultHelpPath();

    // Loads the library and creates the object; false with errorText() set
    // when either fails.
    bool create(const QString& libraryPath);
    bool isCreated() const { return object_ != nullptr; }
    QString errorText() const { return error_; }

    void setListener(Listener listener) { listener_ = std::move(listener); }

    void setSeverPath(const std::string& path);
    bool load(int mode);
    // Returns the error number of the command (0: done).
    int notifyMe(const std::string& command);
    // Releases the object (the editor unloads if it is open). The library
    // stays loaded until the program ends.
    void release();

    void NotifyServer(std::string& name, std::string& sCommand) override;

private:
    QLibrary library_;
    rav::addin::vazOvizided* object_ = nullptr;
    Listener listener_;
    QString error_;
};
