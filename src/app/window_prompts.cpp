#include "window_prompts.h"

#include "image/photo.h"
#include "main_window_texts.h"
#include "session/session_texts.h"

#include <QUrl>

namespace vellicam {

namespace {

// A rough photo's warning is information, unlike the session's other messages.
bool IsLowResolutionWarning(const std::string& text)
{
    static const std::string sample = LowResolutionMessage(1, 1);
    static const std::string opening = sample.substr(0, sample.find('\n'));
    return text.compare(0, opening.size(), opening) == 0;
}

} // namespace

void WindowPrompts::message(const std::string& text)
{
    if (IsLowResolutionWarning(text))
        dialogs_.Message(title_, QString::fromStdString(text), MessageIcon::Information);
    else if (text == kTextOutOfMemory)
        dialogs_.Message(main_window_texts::kOutOfMemoryCaption, main_window_texts::kOutOfMemory, MessageIcon::None);
    else if (!subject_.isEmpty())
        dialogs_.Message(
            title_, main_window_texts::kAboutPhoto.arg(subject_, QString::fromStdString(text)), MessageIcon::None);
    else
        dialogs_.Message(title_, QString::fromStdString(text), MessageIcon::None);
}

bool WindowPrompts::ask(const std::string& question)
{
    return dialogs_.Ask(title_, QString::fromStdString(question));
}

void WindowPrompts::open(const std::string& path)
{
    (void)dialogs_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void WindowPrompts::detail(const std::string& text)
{
    qWarning("%s", text.c_str());
}

} // namespace vellicam
