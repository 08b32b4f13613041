#include "form_helpers.h"

#include "database.h"
#include "host_utility.h"
#include "shell_services.h"
#include "zerovize.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

#include <map>

namespace rav::shell
{

QString Msg(const char* defaultText, const char* id)
{
    return QString::fromStdString(HostUtility::instance().GetLocalMessage(defaultText, id));
}

void SetNameAndTag(QObject* widget, const char* name, const char* tag)
{
    if (name)
        widget->setObjectName(name);
    if (tag)
        widget->setProperty(kTagProperty, tag);
}

QPushButton* Button(const QString& caption, QWidget* parent, const char* name, const char* tag)
{
    return Tagged(new QPushButton(caption, parent), name, tag);
}

QLabel* Label(const QString& caption, QWidget* parent, const char* name, const char* tag)
{
    auto* l = Tagged(new QLabel(parent), name, tag);
    l->setWordWrap(true);
    SetLabelCaption(l, caption); // "click &Next": a wizard's text has no buddy
    return l;
}

QLabel* Title(const QString& caption, QWidget* parent, const char* name, const char* tag)
{
    QLabel* l = Label(caption, parent, name, tag);
    l->setStyleSheet("font-weight: bold");
    return l;
}

ZerOvize* FileNamePanel(QWidget* parent, const char* name)
{
    auto* p = new ZerOvize(parent);
    p->setObjectName(name);
    p->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    p->setFrameShadow(QFrame::Sunken);
    p->setMinimumHeight(24);
    return p;
}

void ShowFileName(ZerOvize* panel, const QString& name)
{
    panel->setCaption(name);
    panel->setToolTip(name);
}

namespace
{

// The file dialog refuses a name that is no existing file; a server URI
// typed into its name field is taken as it stands instead.
class NameOrUriDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;
    bool takesUri = false;
    QString uri;

    void accept() override
    {
        if (const auto* edit = takesUri ? findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr) {
            const QString typed = edit->text().trimmed();
            if (db::isServerName(typed.toStdString())) {
                uri = typed;
                QDialog::accept();
                return;
            }
        }
        QFileDialog::accept();
    }
};

} // namespace

std::optional<QString> ChooseFile(QWidget* parent, const FileRequest& r, const FileChooser& chooser)
{
    if (chooser)
        return chooser(parent, r);
    NameOrUriDialog dialog(parent);
    dialog.takesUri = r.serverName && !r.save;
    if (dialog.takesUri) {
        dialog.setOption(QFileDialog::DontUseNativeDialog); // a native dialog has no name field of ours
        dialog.setLabelText(QFileDialog::FileName, Msg("File name or server URI:", "61690"));
    }
    dialog.setDirectory(r.directory);
    dialog.selectFile(r.proposedName);
    dialog.setDefaultSuffix(r.defaultSuffix);
    dialog.setNameFilter(r.filter);
    dialog.setOption(QFileDialog::ReadOnly, r.readOnly);
    // A name typed without extension takes the one of the filter chosen
    // (the first pattern's, "*.csv" -> "csv"), not always the first filter's.
    if (!r.defaultSuffix.isEmpty())
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            const qsizetype star = filter.indexOf(QLatin1String("*."));
            if (star < 0)
                return;
            qsizetype end = star + 2;
            while (end < filter.size() && filter[end].isLetterOrNumber())
                ++end;
            if (end > star + 2)
                dialog.setDefaultSuffix(filter.mid(star + 2, end - star - 2));
        });
    if (r.save) {
        // Asks before replacing a file; the folder must exist.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (!dialog.uri.isEmpty())
        return dialog.uri;
    if (dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

namespace
{
DesktopOpener& desktopOpener()
{
    static DesktopOpener opener;
    return opener;
}
} // namespace

void SetDesktopOpener(DesktopOpener opener)
{
    desktopOpener() = std::move(opener);
}

void OpenOnDesktop(const QString& path)
{
    if (desktopOpener())
        desktopOpener()(path);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QStringList ClashingAccessKeys(const QWidget* window)
{
    std::map<QString, int> uses;
    const auto count = [&](const QString& caption) {
        const QKeySequence key = QKeySequence::mnemonic(caption);
        if (!key.isEmpty())
            ++uses[key.toString()];
    };
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window))
            continue;
        if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            count(button->text());
        else if (const auto* label = qobject_cast<const QLabel*>(w); label && label->buddy())
            count(label->text());
    }
    QStringList clashes;
    for (const auto& [key, n] : uses)
        if (n > 1)
            clashes << key;
    return clashes;
}

} // namespace rav::shell
