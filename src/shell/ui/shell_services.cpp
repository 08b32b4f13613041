#include "shell_services.h"

#include "help_engine.h"
#include "host_utility.h"
#include "locale_font.h"
#include "placement.h"
#include "shell_state.h"
#include "show_message.h"
#include "textcodec.h"
#include "zareza2v.h"
#include "zerovize.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>

#include <algorithm>

namespace rav::shell
{

namespace
{

std::vector<QPointer<QWidget>>& loaded()
{
    static std::vector<QPointer<QWidget>> windows;
    return windows;
}

void prune()
{
    auto& windows = loaded();
    std::erase_if(windows, [](const QPointer<QWidget>& w) { return w.isNull(); });
}

// Shows messages as modal message boxes titled with the application title.
class BoxMessageSink final : public MessageSink
{
public:
    void show(const UserMessage& message) override
    {
        QMessageBox box(icon(message.kind), title(message), QString::fromStdString(message.text),
            QMessageBox::Ok, MainFormWidget());
        box.exec();
    }
    bool confirm(const UserMessage& message) override
    {
        QMessageBox box(QMessageBox::Question, title(message), QString::fromStdString(message.text),
            QMessageBox::Yes | QMessageBox::No, MainFormWidget());
        box.setDefaultButton(message.noByDefault ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    }
    int choose(const UserMessage& message, const std::vector<std::string>& answers) override
    {
        QMessageBox box(icon(message.kind), title(message), QString::fromStdString(message.text),
            QMessageBox::Ok, MainFormWidget());
        std::vector<QAbstractButton*> buttons;
        for (const auto& a : answers)
            buttons.push_back(box.addButton(QString::fromStdString(a), QMessageBox::ActionRole));
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        const auto it = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        return it == buttons.end() ? -1 : static_cast<int>(it - buttons.begin());
    }

private:
    static QString title(const UserMessage& message)
    {
        return QString::fromStdString(message.title.empty() ? shellState().AppTitle : message.title);
    }
    static QMessageBox::Icon icon(MessageKind kind)
    {
        switch (kind) {
        case MessageKind::Information:
            return QMessageBox::Information;
        case MessageKind::Exclamation:
            return QMessageBox::Warning;
        case MessageKind::Critical:
            return QMessageBox::Critical;
        case MessageKind::Question:
            return QMessageBox::Question;
        }
        return QMessageBox::NoIcon;
    }
};

MessageSink*& currentSink()
{
    static MessageSink* sink = nullptr;
    return sink;
}

QString lookUp(const QString& caption, const QVariant& tag)
{
    const std::string id = tag.toString().toStdString();
    return QString::fromStdString(HostUtility::instance().GetLocalMessage(caption.toStdString(), id));
}

bool hasTag(const QObject* object)
{
    return !object->property(kTagProperty).toString().isEmpty();
}

constexpr const char* kCaptionProperty = "Caption";

// A label's caption as written, mnemonic ampersands included: the one
// SetLabelCaption kept, unless the label's text was set directly since.
QString labelCaption(const QLabel* label)
{
    const QVariant kept = label->property(kCaptionProperty);
    if (kept.isValid()) {
        const QString caption = kept.toString();
        if (label->text() == caption || label->text() == WithoutMnemonics(caption))
            return caption;
    }
    return label->text();
}

void localiseCaption(QObject* object)
{
    if (!hasTag(object))
        return;
    const QVariant tag = object->property(kTagProperty);
    if (auto* button = qobject_cast<QAbstractButton*>(object))
        button->setText(lookUp(button->text(), tag));
    else if (auto* label = qobject_cast<QLabel*>(object))
        SetLabelCaption(label, lookUp(labelCaption(label), tag));
    else if (auto* group = qobject_cast<QGroupBox*>(object))
        group->setTitle(lookUp(group->title(), tag));
    else if (auto* panel = qobject_cast<ZerOvize*>(object))
        panel->setCaption(lookUp(panel->caption(), tag));
    else if (auto* menu = qobject_cast<QMenu*>(object))
        menu->setTitle(lookUp(menu->title(), tag));
    else if (auto* action = qobject_cast<QAction*>(object))
        action->setText(lookUp(action->text(), tag));
}

void localiseLists(QObject* object)
{
    if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
        const QStringList tags = tabs->property("TabTags").toStringList();
        for (int i = 0; i < tags.size() && i < tabs->count(); ++i)
            if (!tags[i].isEmpty())
                tabs->setTabText(i, lookUp(tabs->tabText(i), tags[i]));
    } else if (auto* table = qobject_cast<QTableWidget*>(object)) {
        const QStringList tags = table->property("HeaderTags").toStringList();
        for (int i = 0; i < tags.size() && i < table->columnCount(); ++i)
            if (QTableWidgetItem* item = table->horizontalHeaderItem(i); item && !tags[i].isEmpty())
                item->setText(lookUp(item->text(), tags[i]));
    }
}

QString preferredCjkFamily(FontScript script, QFontDatabase::WritingSystem& system)
{
    switch (script) {
    case FontScript::Japanese:
        system = QFontDatabase::Japanese;
        return "Noto Sans CJK JP";
    case FontScript::SimplifiedChinese:
        system = QFontDatabase::SimplifiedChinese;
        return "Noto Sans CJK SC";
    case FontScript::TraditionalChinese:
        system = QFontDatabase::TraditionalChinese;
        return "Noto Sans CJK TC";
    case FontScript::Korean:
        system = QFontDatabase::Korean;
        return "Noto Sans CJK KR";
    case FontScript::Western:
        break;
    }
    system = QFontDatabase::Latin;
    return {};
}

// An installed face for the script: the platform's general font for
// western scripts; for CJK the matching Noto CJK face when installed, else
// the first family that covers the script, else the general font.
std::string fallbackFace(FontScript script)
{
    const QString general = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (script == FontScript::Western)
        return general.toStdString();
    QFontDatabase::WritingSystem system = QFontDatabase::Any;
    const QString preferred = preferredCjkFamily(script, system);
    const QStringList families = QFontDatabase::families(system);
    for (const QString& family : families)
        if (family.compare(preferred, Qt::CaseInsensitive) == 0)
            return family.toStdString();
    for (const QString& family : families)
        if (family.startsWith("Noto Sans CJK", Qt::CaseInsensitive))
            return family.toStdString();
    if (!families.isEmpty())
        return families.front().toStdString();
    return general.toStdString();
}

double twipsPerPixelX(const QWidget* window)
{
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return TwipsPerPixel(screen ? screen->logicalDotsPerInchX() : 96.0);
}

double twipsPerPixelY(const QWidget* window)
{
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return TwipsPerPixel(screen ? screen->logicalDotsPerInchY() : 96.0);
}

// Ctrl+F1 released anywhere in a loaded window shows the current topic.
class HelpKeyFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyRelease)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::ControlModifier || key->isAutoRepeat())
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !isEditorWindow(widget->window()))
            return false;
        // Consumed, so that it does not propagate to the parents and open
        // help once per widget.
        ShowCurrentHelp();
        return true;
    }

private:
    static bool isEditorWindow(const QWidget* window)
    {
        for (QWidget* w : LoadedWindows())
            if (w == window)
                return true;
        return false;
    }
};

} // namespace

void RegisterLoadedWindow(QWidget* window)
{
    if (!window)
        return;
    prune();
    for (const auto& w : loaded())
        if (w == window)
            return;
    loaded().emplace_back(window);
}

void ForgetLoadedWindow(QWidget* window)
{
    auto& windows = loaded();
    std::erase_if(windows, [window](const QPointer<QWidget>& w) { return w.isNull() || w == window; });
}

std::vector<QWidget*> LoadedWindows()
{
    prune();
    std::vector<QWidget*> result;
    for (const auto& w : loaded())
        result.push_back(w.data());
    return result;
}

bool IsFormVisible(const QWidget* window)
{
    if (!window)
        return false;
    for (QWidget* w : LoadedWindows())
        if (w == window)
            return w->isVisible();
    return false;
}

void UnloadWindow(QWidget* window)
{
    if (!window)
        return;
    ForgetLoadedWindow(window);
    delete window;
}

QWidget* MainFormWidget()
{
    return qobject_cast<QWidget*>(shellState().MainForm.data());
}

void ReturnToMainForm()
{
    if (QWidget* main = MainFormWidget()) {
        main->show();
        main->raise();
        main->activateWindow();
    }
}

void SetWindowStateNumber(QWidget* window, int state)
{
    if (!window)
        return;
    Qt::WindowStates states = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == 1)
        states |= Qt::WindowMinimized;
    else if (state == 2)
        states |= Qt::WindowMaximized;
    window->setWindowState(states);
}

void SetMessageSink(MessageSink* sink)
{
    currentSink() = sink;
}

MessageSink& Messages()
{
    static BoxMessageSink boxes;
    return currentSink() ? *currentSink() : boxes;
}

void ShowPlainMessage(const std::string& text, MessageKind kind, const std::string& title)
{
    UserMessage message;
    message.kind = kind;
    message.text = text;
    message.title = title;
    Messages().show(message);
}

void ShowMessage(int code, const std::string& extra)
{
    if (const std::optional<UserMessage> message = catalogueMessage(code, extra))
        Messages().show(*message);
}

void LocaliseForm(QWidget* window)
{
    if (!window)
        return;
    const ShellState& state = shellState();
    if (hasTag(window))
        window->setWindowTitle(lookUp(window->windowTitle(), window->property(kTagProperty)));

    QFont font = QApplication::font();
    if (!state.FontFace.empty())
        font.setFamily(QString::fromStdString(state.FontFace));
    if (state.FontSize > 0)
        font.setPointSize(state.FontSize);
    font.setBold(false);

    for (QWidget* child : window->findChildren<QWidget*>()) {
        child->setFont(font);
        localiseCaption(child);
        localiseLists(child);
    }
    for (QAction* action : window->findChildren<QAction*>()) {
        action->setFont(font);
        localiseCaption(action);
    }
}

QString WithoutMnemonics(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i; // the marker goes; the character it marks (or the second "&") stays
        out += caption[i];
    }
    return out;
}

void SetLabelCaption(QLabel* label, const QString& caption)
{
    if (!label)
        return;
    label->setProperty(kCaptionProperty, caption);
    const bool rich = label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(caption));
    label->setText(rich || label->buddy() ? caption : WithoutMnemonics(caption));
}

bool FontExists(std::string& face)
{
    const QString wanted = QString::fromStdString(face);
    for (const QString& family : QFontDatabase::families()) {
        if (family.compare(wanted, Qt::CaseInsensitive) == 0) {
            face = family.toStdString();
            return true;
        }
    }
    return false;
}

void SelectLocaleFont(std::uint32_t lcid)
{
    const FontChoice choice = ChooseLocaleFont(lcid, GetLocaleCharset(), FontExists, fallbackFace);
    ShellState& state = shellState();
    state.FontFace = choice.FontFace;
    state.FontSize = choice.FontSize;
    state.Charset = choice.Charset;
}

void SelectLocaleFont()
{
    SelectLocaleFont(LcidFromLocaleName(CurrentLocaleName()));
}

WorkAreaTwips DesktopWorkArea(const QWidget* window)
{
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->availableGeometry();
    const double tx = twipsPerPixelX(window);
    const double ty = twipsPerPixelY(window);
    return { PixelsToTwips(area.left(), tx), PixelsToTwips(area.top(), ty), PixelsToTwips(area.width(), tx),
        PixelsToTwips(area.height(), ty) };
}

namespace
{

std::string screenKey(const QWidget* window)
{
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->availableGeometry();
    return ScreenSizeKey(area.width(), area.height());
}

} // namespace

void SaveFormPlacement(const QWidget* window)
{
    if (!window)
        return;
    const double tx = twipsPerPixelX(window);
    const double ty = twipsPerPixelY(window);
    FormPlacement placement;
    placement.top = PixelsToTwips(window->y(), ty);
    placement.left = PixelsToTwips(window->x(), tx);
    placement.height = PixelsToTwips(window->height(), ty);
    placement.width = PixelsToTwips(window->width(), tx);
    StorePlacement(window->objectName().toStdString(), placement, screenKey(window));
}

bool GetFormPlacement(const QWidget* window, long& top, long& left, long& width, long& height)
{
    if (!window)
        return false;
    const WorkAreaTwips work = DesktopWorkArea(window);
    const long currentWidth = PixelsToTwips(window->width(), twipsPerPixelX(window));
    const long currentHeight = PixelsToTwips(window->height(), twipsPerPixelY(window));
    const CorrectedPlacement corrected
        = CorrectPlacement(ReadStoredPlacement(window->objectName().toStdString(), screenKey(window)),
            work.width, work.height, currentWidth, currentHeight);
    top = corrected.placement.top;
    left = corrected.placement.left;
    width = corrected.placement.width;
    height = corrected.placement.height;
    return corrected.usable;
}

void ApplyFormPlacement(QWidget* window, long top, long left, long width, long height)
{
    if (!window)
        return;
    const double tx = twipsPerPixelX(window);
    const double ty = twipsPerPixelY(window);
    // The frame the window system adds: known once shown; before, the
    // style's title bar and a border of a few pixels, on the safe side.
    QSize frame = window->frameGeometry().size() - window->geometry().size();
    if (!window->isVisible() || frame.isEmpty()) {
        constexpr int kBorder = 4;
        frame = QSize(2 * kBorder, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * kBorder);
    }
    const WorkAreaTwips work = DesktopWorkArea(window);
    const FormPlacement fitted = work.width > 0
        ? FitToWorkArea({ top, left, width, height }, work.left, work.top, work.width, work.height,
            PixelsToTwips(frame.width(), tx), PixelsToTwips(frame.height(), ty))
        : FormPlacement { top, left, width, height };
    const QSize size(TwipsToPixels(fitted.width, tx), TwipsToPixels(fitted.height, ty));
    // A minimum larger than the screen would push the window off it again.
    window->setMinimumSize(window->minimumSize().boundedTo(size));
    window->move(TwipsToPixels(fitted.left, tx), TwipsToPixels(fitted.top, ty));
    window->resize(size);
}

// An owned window (a tool window or dialog with a parent) is kept above its
// owner by the window system itself; it must not also float above every
// other program's windows, help included. Only a window without an owner
// takes the stays-on-top hint.
namespace
{

QString languageKey()
{
    return QStringLiteral("RAVEDERI/Language");
}

QSettings languageStore()
{
    return QSettings(QString::fromStdString(PlacementStoreFile().string()), QSettings::IniFormat);
}

} // namespace

void ApplyStoredLanguage()
{
    // Nothing stored leaves the language as it is: the locale's, or one the
    // host set.
    const std::string chosen = languageStore().value(languageKey()).toString().toStdString();
    if (!chosen.empty())
        HostUtility::instance().setLanguage(chosen);
}

void ChooseLanguage(const std::string& language)
{
    {
        QSettings store = languageStore();
        if (language.empty())
            store.remove(languageKey());
        else
            store.setValue(languageKey(), QString::fromStdString(language));
    }
    HostUtility::instance().setLanguage(language);
    for (QWidget* window : LoadedWindows())
        LocaliseForm(window);
}

void InstallLanguageMenu(QWidget* window)
{
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* follow = new QAction(window);
    follow->setProperty(kTagProperty, "61650");
    follow->setText("Language of the system");
    QObject::connect(follow, &QAction::triggered, window, [] { ChooseLanguage({}); });
    window->addAction(follow);
    for (const std::string& lang : HostUtility::instance().languages()) {
        // Each language is named in itself, so that it can be found by
        // someone who cannot read the language now shown.
        const QLocale locale(QString::fromStdString(lang));
        QString name = locale.nativeLanguageName();
        if (name.isEmpty())
            name = QString::fromStdString(lang);
        auto* action = new QAction(name.left(1).toUpper() + name.mid(1), window);
        QObject::connect(action, &QAction::triggered, window, [lang] { ChooseLanguage(lang); });
        window->addAction(action);
    }
}

void SetTopMost(QWidget* window, bool topMost)
{
    if (!window)
        return;
    const bool hint = topMost && !window->parentWidget();
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == hint)
        return;
    // Changing a window flag hides a shown window; show it again as it was.
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, hint);
    if (visible)
        window->show();
}

namespace
{

std::string helpFileForKernel(const std::string& helpFile)
{
    // The kernel takes 8-bit text; a name Windows-1252 cannot hold goes as
    // it is, and the help engine then reads it as Windows-1252 like any other.
    return rav::text::utf8ToCp1252(helpFile).value_or(helpFile);
}

// The help file in the editor's language; it is looked for at every
// showing because the language can change while the editor runs.
std::string shownHelpFile()
{
    return LocalisedHelpFile(shellState().HelpFile, HostUtility::instance().language());
}

// The file help was last shown from, which closing must close even after
// the language has changed.
std::string& lastShownHelpFile()
{
    static std::string file;
    return file;
}

void displayTopic(std::int32_t topic)
{
    QWidget* main = MainFormWidget();
    const std::int64_t handle = main ? static_cast<std::int64_t>(main->winId()) : 0;
    help::HelpEngine::instance().setButtonCaptions(
        QString::fromStdString(HostUtility::instance().GetLocalMessage("&Contents", "61660")),
        QString::fromStdString(HostUtility::instance().GetLocalMessage("&Back", "61661")));
    const std::string shown = shownHelpFile();
    lastShownHelpFile() = shown;
    const std::string file = helpFileForKernel(shown);
    H_DispTopic(handle, file.c_str(), topic);
    help::HelpEngine::instance().command(shown, kHelpWindowMacro);
}

} // namespace

void SetHelpTopic(long m, long s, long t, long u, bool show)
{
    bool follow = show;
    if (!follow) {
        const std::int32_t table = E_SysTable(12);
        std::int32_t flag = 0;
        if (table > 0 && E_MemCopy(&flag, table + 2044, 4) == 4)
            follow = flag != 0;
    }
    const std::string limits = HelpLimitMessage(m, s, t, u);
    if (!limits.empty()) {
        ShowPlainMessage(limits, MessageKind::Information);
        return;
    }
    const std::optional<std::int32_t> topic = HelpTopicNumber(m, s, t, u);
    if (!topic)
        return; // an overflow: the topic stays as it was
    shellState().CurrentHelpTopic = *topic;
    if (follow)
        displayTopic(*topic);
}

void ShowCurrentHelp()
{
    displayTopic(shellState().CurrentHelpTopic);
}

void CloseHelp()
{
    help::HelpEngine::instance().quit(shellState().HelpFile);
    if (!lastShownHelpFile().empty())
        help::HelpEngine::instance().quit(lastShownHelpFile());
}

void InstallHelpKey()
{
    static QPointer<HelpKeyFilter> filter;
    if (filter || !qApp)
        return;
    filter = new HelpKeyFilter(qApp);
    qApp->installEventFilter(filter);
}

} // namespace rav::shell
