// What every offscreen test of an editor window starts from: a scratch
// folder, message boxes caught by a recording sink, English texts, the
// window under test (deleted at the end, with whatever it left for deferred
// deletion) and a script that answers its file dialogs. Header-only: the
// tests that use it link the editor library, which holds the shell.
#pragma once

#include "form_helpers.h"
#include "host_utility.h"
#include "shell_services.h"
#include "sinks.h"
#include "test_env.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <optional>
#include <vector>

namespace rav::test
{

template <typename Window> class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shell::SetMessageSink(&messages);
        HostUtility::instance().setLanguage("en");
    }
    void TearDown() override
    {
        delete window.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        shell::SetMessageSink(nullptr);
        HostUtility::instance().setLanguage("");
    }

    // A named child of the window; a test failure when there is none.
    template <typename T> T* find(const char* name)
    {
        T* w = window->template findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Lets a closed window's deferred deletion happen; true when it is gone.
    bool closed()
    {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.isNull();
    }
    // The wizards' Back and Next buttons.
    QPushButton* back() { return find<QPushButton>("cmdBrwse_0"); }
    QPushButton* next() { return find<QPushButton>("cmdBrwse_1"); }

    // Stands in for the user at the file dialogs: keeps every request in
    // `requests` and answers from the front of `answers`; an empty answer,
    // or none left, is a dismissed dialog.
    shell::FileChooser scriptedFiles()
    {
        return [this](QWidget*, const shell::FileRequest& r) -> std::optional<QString> {
            requests.push_back(r);
            if (answers.empty())
                return std::nullopt;
            const QString a = answers.front();
            answers.pop_front();
            if (a.isEmpty())
                return std::nullopt;
            return a;
        };
    }

    // Saves a picture of `w` as <name>.png in $RAV_SCREENSHOT_DIR, when set,
    // for a person to look at; a scaled screen adds its percentage
    // (<name>-150.png).
    static void screenshot(QWidget* w, const QString& name)
    {
        const char* out = std::getenv("RAV_SCREENSHOT_DIR");
        if (!out)
            return;
        const int percent = qRound(w->devicePixelRatioF() * 100);
        w->grab().save(QString("%1/%2%3.png").arg(out, name, percent == 100 ? QString() : QString("-%1").arg(percent)));
    }

    ScratchDir dir;
    RecordingMessageSink messages;
    QPointer<Window> window;
    std::vector<shell::FileRequest> requests;
    std::deque<QString> answers;
};

} // namespace rav::test
