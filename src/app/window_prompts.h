// How the session's words reach the user of the window: its messages and questions as boxes titled with the
// program's name (the out-of-memory message with its own caption), files handed to the desktop, details to the
// terminal.
#pragma once

#include "dialog_service.h"
#include "session/prompts.h"

#include <QString>

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

} // namespace vellicam
