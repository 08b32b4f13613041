// Small pieces every window of the editor builds itself from: tagged
// controls, wizard labels, file-name panels, message texts, and the file
// dialog, which tests and automation answer in place of the user.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLabel;
class QObject;
class QPushButton;
class QWidget;

namespace rav
{
class ZerOvize;
}

namespace rav::shell
{

// The looked-up text of message `id`; `defaultText` when the catalogue has none.
QString Msg(const char* defaultText, const char* id);

// Names a control and gives it its message id (none when `tag` is null), so
// that LocaliseForm replaces its designed caption.
void SetNameAndTag(QObject* widget, const char* name, const char* tag);
template <typename W> W* Tagged(W* widget, const char* name, const char* tag = nullptr)
{
    SetNameAndTag(widget, name, tag);
    return widget;
}

QPushButton* Button(const QString& caption, QWidget* parent, const char* name, const char* tag = nullptr);
// A wizard's text: word-wrapped, the caption put on through SetLabelCaption.
QLabel* Label(const QString& caption, QWidget* parent, const char* name = nullptr, const char* tag = nullptr);
// A wizard page's title: a Label in bold.
QLabel* Title(const QString& caption, QWidget* parent, const char* name, const char* tag = nullptr);

// The sunken panel that shows a chosen file's name.
ZerOvize* FileNamePanel(QWidget* parent, const char* name);
// Shows a file name on such a panel, in full in its tool tip (the panel may cut it).
void ShowFileName(ZerOvize* panel, const QString& name);

// What a file dialog is asked.
struct FileRequest {
    bool save = false; // a save dialog (asks before replacing), else an open dialog for an existing file
    QString directory;
    QString proposedName;
    QString defaultSuffix;
    QString filter; // Qt form: "Text Files (*.txt);;All Files (*.*)"
    bool readOnly = false; // the dialog offers no renaming, deleting or new folders
    // An open dialog whose name field also takes a server database's URI
    // (postgresql://user@host:port/db?table=Device), which is no file.
    bool serverName = false;
};
// Answers a file request in place of the dialog: the chosen name, or nothing
// when the dialog was dismissed.
using FileChooser = std::function<std::optional<QString>(QWidget* parent, const FileRequest&)>;
// Asks `chooser`, or the platform's file dialog when it is empty.
std::optional<QString> ChooseFile(QWidget* parent, const FileRequest& request, const FileChooser& chooser);

// Opens a file or folder with the desktop's program for it (a LOM file
// written, an import log). Tests and automation set an opener that only
// records the path; empty: the desktop's.
using DesktopOpener = std::function<void(const QString& path)>;
void SetDesktopOpener(DesktopOpener opener);
void OpenOnDesktop(const QString& path);

// The access keys (Alt+letter) that more than one control now visible in
// `window` answers to: buttons by their captions, labels through their
// buddies. Empty when every key leads to one place.
QStringList ClashingAccessKeys(const QWidget* window);

} // namespace rav::shell
