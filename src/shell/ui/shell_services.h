// The services the main window offers every window of the editor: the
// collection of loaded windows, message boxes, localisation and fonts,
// placement, the topmost flag and help. Module windows of the editor use
// these and nothing of the main window's inside.
#pragma once

#include "help_topic.h"
#include "sinks.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QWidget;

namespace rav::shell
{

// ---- Loaded windows --------------------------------------------------
// The editor's windows in the order they were loaded. The main window is
// the first; every other window adds itself when it loads (module windows
// are added by the main window) and leaves the collection when it is
// destroyed. Shut-down unloads them newest first.
void RegisterLoadedWindow(QWidget* window);
void ForgetLoadedWindow(QWidget* window);
std::vector<QWidget*> LoadedWindows();
// True when `window` is loaded and visible (a minimised window is visible).
bool IsFormVisible(const QWidget* window);
// Unloads a window: deletes it, so its destructor does its unload work.
void UnloadWindow(QWidget* window);

// The main window, null while it is not loaded.
QWidget* MainFormWidget();
// What a module window does when the user closes it: show the main window
// again and give it the focus.
void ReturnToMainForm();

// Window state as the host numbers it: 0 normal, 1 minimised, 2 maximised.
void SetWindowStateNumber(QWidget* window, int state);

// ---- Messages ------------------------------------------------------------
// Where the windows' message boxes go. The default shows modal message
// boxes; tests and unattended hosts install a sink of their own (nullptr
// restores the default). The sink is not owned.
void SetMessageSink(MessageSink* sink);
MessageSink& Messages();
// A message box with the application title and an OK button.
void ShowPlainMessage(
    const std::string& text, MessageKind kind = MessageKind::Information, const std::string& title = {});
// The numbered catalogue messages (codes 1-15 and 100); other codes show
// nothing.
void ShowMessage(int code, const std::string& extra);

// ---- Localisation ----------------------------------------------------------
// The message id of a window or control lives in its dynamic property
// "Tag" (a decimal text). A tab widget may carry "TabTags" and a table
// widget "HeaderTags" (string lists, one id per tab or column, "" for none).
inline constexpr const char* kTagProperty = "Tag";

// Replaces the caption of the window and of every tagged control by the
// looked-up text of its id (the designed caption is the default text) and
// gives every control the chosen font, not bold.
void LocaliseForm(QWidget* window);
// Message texts mark keyboard accelerators with "&" ("Click &Next ...").
// Buttons, check boxes, radio buttons and group titles turn them into
// accelerators; a label does so only when it has a buddy to give the focus
// to, and shows the "&" otherwise.
//
// The text a label without buddy shows for such a caption: "&" before a
// character goes ("&Next" gives "Next"), "&&" gives "&", and a lone "&" at
// the end stays.
QString WithoutMnemonics(const QString& caption);
// Puts a caption written with mnemonic ampersands on a label: as it stands
// when the label has a buddy (the character is underlined and its
// accelerator moves the focus to the buddy; set the buddy first), without
// the ampersands otherwise. Rich-text labels get the caption unchanged.
// The caption as written is kept on the label (property "Caption"), so a
// later LocaliseForm looks up the same default text. Every composed message
// text a window puts into a label goes through here; LocaliseForm does it
// for tagged labels.
void SetLabelCaption(QLabel* label, const QString& caption);
// The interface language: the one the user chose (kept in the per-user
// store, "RAVEDERI"/"Language"), else the locale's. ApplyStoredLanguage sets
// it at start-up, before the first window is localised; ChooseLanguage
// stores a choice ("" follows the locale again) and localises the loaded
// windows anew. InstallLanguageMenu gives a window a context menu (right
// click, or the menu key / Shift+F10) with one entry per language.
void ApplyStoredLanguage();
void ChooseLanguage(const std::string& language);
void InstallLanguageMenu(QWidget* window);
// Chooses FontFace, FontSize and Charset from the system locale (or the
// given locale identifier).
void SelectLocaleFont();
void SelectLocaleFont(std::uint32_t lcid);
// True when a font family of that name (ignoring case) is installed; the
// name is then replaced by the installed family's spelling.
bool FontExists(std::string& face);

// ---- Placement -----------------------------------------------------------
// Stores the window's top, left, height and width (twips) under its object
// name.
void SaveFormPlacement(const QWidget* window);
// Reads and corrects the stored placement (twips); false when a stored
// position was missing or off the work area.
bool GetFormPlacement(const QWidget* window, long& top, long& left, long& width, long& height);
// Moves and sizes a window to a placement in twips.
void ApplyFormPlacement(QWidget* window, long top, long left, long width, long height);
// The desktop work area of the window's screen in twips.
struct WorkAreaTwips {
    long left = 0;
    long top = 0;
    long width = 0;
    long height = 0;
};
WorkAreaTwips DesktopWorkArea(const QWidget* window);
// Keeps the window above its owner (a window without an owner: above all
// windows), or lets it go back among them.
void SetTopMost(QWidget* window, bool topMost);

// ---- Help ------------------------------------------------------------------
// Sets the current help topic from (menu, sub-menu, tool, sub-tool) and
// shows it when `show` is set or the host's help-follow flag is on. Numbers
// over their limits show the limit message and change nothing.
void SetHelpTopic(long m, long s, long t, long u, bool show);
// Shows the current topic (Ctrl+F1 in every window of the editor).
void ShowCurrentHelp();
// Closes the help window of the editor's help file.
void CloseHelp();
// Watches the application for Ctrl+F1 released in a loaded window.
void InstallHelpKey();

} // namespace rav::shell
