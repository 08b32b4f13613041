// The help engine of the desktop: one help window per process that shows a
// topic of a help file, takes placement macros and closes on request. Host
// and editor share it (it lives in its own shared library), so the topic the
// host opens is the window the editor positions and closes.
#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#if defined(__GNUC__)
#define RAV_HELP_API __attribute__((visibility("default")))
#else
#define RAV_HELP_API
#endif

class QTextBrowser;
class QWidget;

namespace rav::help
{

class RAV_HELP_API HelpEngine
{
public:
    static HelpEngine& instance();

    // Opens (or reuses) the help window on `topic` of `helpFile` (UTF-8
    // path). A file that cannot be read shows a page saying so.
    void displayTopic(const std::string& helpFile, std::int32_t topic);
    // Runs a macro on the open window of `helpFile`; only PositionWindow is
    // known. Returns false when no window of that file is open or the
    // macro is not understood.
    bool command(const std::string& helpFile, const std::string& macro);
    // The captions of the window's two buttons in the user's language (the
    // engine has no message texts of its own); English until set.
    void setButtonCaptions(const QString& contents, const QString& back);
    // Closes the help window when it shows `helpFile`.
    void quit(const std::string& helpFile);

    // The state of the window, for the host's menus and for tests.
    bool isOpen() const;
    std::string openFile() const { return file_; }
    std::int32_t openTopic() const { return topic_; }
    QWidget* window() const;
    QString topicTitle() const;

    // Suitable for Z_SetHelpDisplay: `helpFile` is Windows-1252 text.
    static void kernelDisplay(void* context, std::int64_t window, const char* helpFile, std::int32_t topic);

private:
    HelpEngine() = default;
    void show(std::int32_t topic);
    // Shows a topic the user asked for from the window, remembering the
    // one shown for Back.
    void follow(std::int32_t topic);

    QPointer<QWidget> window_;
    QTextBrowser* browser_ = nullptr; // owned by window_
    QString contentsCaption_ = QStringLiteral("&Contents");
    QString backCaption_ = QStringLiteral("&Back");
    std::string file_;
    std::int32_t topic_ = 0;
    std::vector<std::int32_t> history_; // topics Back returns to, newest last
};

} // namespace rav::help
