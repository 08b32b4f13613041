#include "help_engine.h"

#include "help_document.h"
#include "textcodec.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWidget>

namespace rav::help
{

HelpEngine& HelpEngine::instance()
{
    static HelpEngine engine;
    return engine;
}

bool HelpEngine::isOpen() const
{
    return window_ && window_->isVisible();
}

QWidget* HelpEngine::window() const
{
    return window_;
}

QString HelpEngine::topicTitle() const
{
    return window_ ? window_->windowTitle() : QString();
}

void HelpEngine::displayTopic(const std::string& helpFile, std::int32_t topic)
{
    if (!window_) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName("HelpWindow");
        window->resize(420, 560);
        auto* layout = new QVBoxLayout(window);
        auto* buttons = new QHBoxLayout;
        auto* contents = new QPushButton(contentsCaption_, window);
        contents->setObjectName("cmdContents");
        auto* back = new QPushButton(backCaption_, window);
        back->setObjectName("cmdBack");
        buttons->addWidget(contents);
        buttons->addWidget(back);
        buttons->addStretch();
        layout->addLayout(buttons);
        browser_ = new QTextBrowser(window);
        browser_->setOpenLinks(false);
        layout->addWidget(browser_);
        QObject::connect(contents, &QPushButton::clicked, window, [this] { follow(0); });
        QObject::connect(back, &QPushButton::clicked, window, [this] {
            if (history_.empty())
                return;
            const std::int32_t previous = history_.back();
            history_.pop_back();
            show(previous);
        });
        QObject::connect(browser_, &QTextBrowser::anchorClicked, window, [this](const QUrl& url) {
            if (url.scheme() == "topic")
                follow(url.path().toInt());
        });
        window_ = window;
    }
    if (file_ != helpFile)
        history_.clear();
    else if (isOpen() && topic != topic_)
        history_.push_back(topic_);
    file_ = helpFile;
    show(topic);
    window_->show();
    window_->raise();
}

void HelpEngine::follow(std::int32_t topic)
{
    if (topic != topic_)
        history_.push_back(topic_);
    show(topic);
}

void HelpEngine::show(std::int32_t topic)
{
    if (!window_ || !browser_)
        return;
    topic_ = topic;
    // Read at every display: the file is small, and a translator editing it
    // sees the change at once.
    const HelpDocument document = LoadHelpDocument(file_);
    QString html;
    if (document.topics.empty() && !document.errors.empty())
        html = "<h2>Help</h2><p>" + QString::fromStdString(document.errors.front()).toHtmlEscaped() + "</p>";
    else
        html = QString::fromStdString(RenderTopicHtml(document, topic));
    browser_->setHtml(html);
    const auto it = document.topics.find(topic);
    const QString title
        = it != document.topics.end() ? QString::fromStdString(it->second.title) : QString("Help");
    window_->setWindowTitle(title);
}

void HelpEngine::setButtonCaptions(const QString& contents, const QString& back)
{
    contentsCaption_ = contents;
    backCaption_ = back;
    if (!window_)
        return;
    if (auto* b = window_->findChild<QPushButton*>("cmdContents"))
        b->setText(contents);
    if (auto* b = window_->findChild<QPushButton*>("cmdBack"))
        b->setText(back);
}

bool HelpEngine::command(const std::string& helpFile, const std::string& macro)
{
    if (!window_ || helpFile != file_)
        return false;
    HelpWindowPosition position;
    if (!ParsePositionWindow(macro, position))
        return false;
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QRect area = screen->availableGeometry();
    const PixelRect rect = MapHelpPosition(position, { area.x(), area.y(), area.width(), area.height() });
    window_->move(rect.x, rect.y);
    window_->resize(rect.width, rect.height);
    switch (position.state) {
    case 2:
        window_->showMinimized();
        break;
    case 3:
        window_->showMaximized();
        break;
    default:
        window_->showNormal();
        break;
    }
    return true;
}

void HelpEngine::quit(const std::string& helpFile)
{
    if (!window_ || helpFile != file_)
        return;
    // Deleted at once rather than on the next event-loop turn, so that a
    // shut-down that ends the program leaves no window behind.
    delete window_.data();
    browser_ = nullptr;
    history_.clear();
    file_.clear();
    topic_ = 0;
}

void HelpEngine::kernelDisplay(void*, std::int64_t, const char* helpFile, std::int32_t topic)
{
    instance().displayTopic(helpFile ? rav::text::cp1252ToUtf8(helpFile) : std::string(), topic);
}

} // namespace rav::help
