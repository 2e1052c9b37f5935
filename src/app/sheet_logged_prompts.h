// The error log in place of boxes for the sheets of an unattended run.
#pragma once

#include "session/photo_session.h"
#include "session/prompts.h"
#include "session/session_texts.h"
#include "session/settings.h"
#include "sheet/recognition_log.h"

#include <string>
#include <vector>

namespace vellicam {

// The error log in place of boxes for the sheet of an unattended run: nobody is there to read them. What the
// system said (details) follows the message on its line.
class LoggedPrompts final : public Prompts {
public:
    void message(const std::string& text) override { messages_.push_back(text); }
    bool ask(const std::string& /*question*/) override { return false; }
    void detail(const std::string& text) override { details_.push_back(text); }

    // Writes what was said about `photo`, one line per message, to the session's error log.
    void writeTo(const PhotoSession& session, const Settings& settings, Prompts& fallback) const
    {
        for (std::size_t i = 0; i < messages_.size(); ++i) {
            std::string reason = messages_[i];
            if (i + 1 == messages_.size() && !details_.empty())
                reason += " (" + details_.back() + ")";
            session.writeLog(settings, SheetErrorLine(LogTimestampNow(), session.photoPath(), reason), fallback);
        }
    }

private:
    std::vector<std::string> messages_;
    std::vector<std::string> details_;
};

} // namespace vellicam
