// How the session's words reach the user of the window: its messages and questions as boxes titled with the
// program's name (the out-of-memory message with its own caption), files handed to the desktop, details to the
// terminal.
#pragma once

#include "background_work.h"
#include "dialog_service.h"
#include "session/prompts.h"

#include <QString>

#include <functional>

namespace vellicam {

class WindowPrompts final : public Prompts {
public:
    WindowPrompts(DialogService& dialogs, QString title)
        : dialogs_(dialogs)
        , title_(std::move(title))
    {
    }
    // Names the photo above each message but the out-of-memory one: for a run that moves from photo to photo by
    // itself.
    void nameSubject(QString photoName) { subject_ = std::move(photoName); }
    void message(const std::string& text) override;
    bool ask(const std::string& question) override;
    void open(const std::string& path) override;
    void detail(const std::string& text) override;

private:
    DialogService& dialogs_;
    QString title_;
    QString subject_;
};

// The prompts of a job on the background worker: each message and question waits for its answer from `shown`
// on the GUI thread. A question the window can no longer put (it is closing) gets "no".
class WorkerPrompts final : public Prompts {
public:
    WorkerPrompts(BackgroundWork& worker, WindowPrompts& shown)
        : worker_(worker)
        , shown_(shown)
    {
    }
    // Names the photo the message is about, as `subject` gives it when the message comes (a run moves from photo to
    // photo inside one job).
    void nameSubjectBy(std::function<QString()> subject) { subject_ = std::move(subject); }
    void message(const std::string& text) override
    {
        const QString subject = subject_ ? subject_() : QString();
        (void)worker_.callOnGuiThread([&] {
            if (!subject.isEmpty())
                shown_.nameSubject(subject);
            shown_.message(text);
        });
    }
    bool ask(const std::string& question) override
    {
        bool answer = false;
        (void)worker_.callOnGuiThread([&] { answer = shown_.ask(question); });
        return answer;
    }
    void open(const std::string& path) override
    {
        (void)worker_.callOnGuiThread([&] { shown_.open(path); });
    }
    void detail(const std::string& text) override { shown_.detail(text); }

private:
    BackgroundWork& worker_;
    WindowPrompts& shown_;
    std::function<QString()> subject_;
};

} // namespace vellicam
