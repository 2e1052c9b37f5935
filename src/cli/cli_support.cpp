// Argument parsing and JSON output of vellicam-cli.
#include "cli_support.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace vellicam::cli {

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

Arguments::Arguments(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
    const std::vector<std::string>& flagOptions)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            positional_.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        if (Contains(valueOptions, name)) {
            if (!inlineValue) {
                if (i + 1 >= words.size())
                    throw UsageError { "option --" + name + " needs a value" };
                inlineValue = words[++i];
            }
            if (values_.count(name))
                throw UsageError { "option --" + name + " given twice" };
            values_[name] = *inlineValue;
        } else if (Contains(flagOptions, name)) {
            if (inlineValue)
                throw UsageError { "option --" + name + " takes no value" };
            flags_.push_back(name);
        } else {
            throw UsageError { "unknown option --" + name };
        }
    }
}

std::optional<std::string> Arguments::Value(const std::string& name) const
{
    const auto it = values_.find(name);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

bool Arguments::Flag(const std::string& name) const
{
    return Contains(flags_, name);
}

void Arguments::ExpectPositional(const std::vector<std::string>& names) const
{
    if (positional_.size() < names.size())
        throw UsageError { "missing " + names[positional_.size()] };
    if (positional_.size() > names.size())
        throw UsageError { "unexpected argument '" + positional_[names.size()] + "'" };
}

int ParseInt(const std::string& text, const std::string& what, int min, int max)
{
    int value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || begin == end)
        throw UsageError { what + " must be a whole number, not '" + text + "'" };
    if (value < min || value > max)
        throw UsageError { what + " must lie between " + std::to_string(min) + " and " + std::to_string(max) };
    return value;
}

std::vector<int> ParseIntList(const std::string& text, const std::string& what, std::size_t count)
{
    std::vector<int> values;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        values.push_back(ParseInt(part, what, -1'000'000, 1'000'000));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (values.size() != count)
        throw UsageError { what + " needs " + std::to_string(count) + " comma-separated numbers, not '" + text + "'" };
    return values;
}

std::string ChecksJson(const std::vector<PhotoCheck>& checks)
{
    std::string out = "[";
    for (const PhotoCheck& c : checks) {
        char value[32] = "null";
        // The eyes' opening is a fraction with three places; every other figure has one.
        if (c.hasValue)
            std::snprintf(value, sizeof value, std::string_view(c.id) == "eyes" ? "%.3f" : "%.1f", c.value);
        out += std::string(out.size() > 1 ? ", " : "") + "{\"id\": " + JsonString(c.id) + ", \"ok\": "
            + (c.state == CheckState::Passed ? "true" : c.state == CheckState::Failed ? "false" : "null")
            + ", \"value\": " + value + ", \"rule\": " + JsonString(c.rule) + ", \"text\": " + JsonString(c.text)
            + "}";
    }
    return out + "]";
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string ErrorObject(const std::string& message, const std::string& path)
{
    return "{\"error\": " + JsonString(message) + ", \"path\": " + (path.empty() ? "null" : JsonString(path)) + "}\n";
}

} // namespace vellicam::cli
