// How the session speaks to a person: messages with one OK button, yes/no questions, handing a file to the
// desktop, and details for a terminal. The window answers through its dialogs, the command line and the tests
// through fixed answers; the session never shows anything itself.
#pragma once

#include <string>
#include <vector>

namespace vellicam {

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual void message(const std::string& text) = 0;
    // True for "yes".
    [[nodiscard]] virtual bool ask(const std::string& question) = 0;
    // Hands a file or folder to the desktop; nothing by default.
    virtual void open(const std::string& /*path*/) { }
    // A technical detail for whoever runs the program from a terminal; nothing by default.
    virtual void detail(const std::string& /*text*/) { }
};

// Records what was said and answers every question with one fixed answer: for unattended work and tests.
class RecordedPrompts final : public Prompts {
public:
    explicit RecordedPrompts(bool answer = false)
        : answer_(answer)
    {
    }
    void message(const std::string& text) override { messages.push_back(text); }
    bool ask(const std::string& question) override
    {
        questions.push_back(question);
        return answer_;
    }
    void open(const std::string& path) override { opened.push_back(path); }
    void detail(const std::string& text) override { details.push_back(text); }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> opened;
    std::vector<std::string> details;

private:
    bool answer_;
};

} // namespace vellicam
