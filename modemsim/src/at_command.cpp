#include "at_command.h"

#include <cctype>
#include <charconv>
#include <utility>

namespace modemsim {

namespace {

std::string trimmed(const std::string& text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

} // namespace

bool isExtendedPrefix(char c) {
    return c == '+' || c == '^';
}

std::optional<AtCommand> parseExtendedCommand(std::string_view body) {
    if (body.empty() || !isExtendedPrefix(body.front())) {
        return std::nullopt;
    }
    std::size_t end = body.find_first_of("=?");
    AtCommand command;
    for (char c : body.substr(0, end)) {
        command.name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    if (command.name.size() < 2) {
        return std::nullopt;
    }
    if (end == std::string_view::npos) {
        command.form = AtCommand::Form::Execute;
    } else if (body.substr(end) == "?") {
        command.form = AtCommand::Form::Read;
    } else if (body.substr(end) == "=?") {
        command.form = AtCommand::Form::Test;
    } else if (body[end] == '=') {
        command.form = AtCommand::Form::Set;
        command.arguments = std::string(body.substr(end + 1));
    } else {
        return std::nullopt;
    }
    return command;
}

std::vector<std::string> splitCommandLine(std::string_view body) {
    std::vector<std::string> commands;
    std::string current;
    bool quoted = false;
    auto finish = [&]() {
        if (!current.empty()) {
            commands.push_back(std::exchange(current, {}));
        }
    };
    for (char c : body) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ';') {
            finish();
            continue;
        } else if (!quoted && isExtendedPrefix(c) && !current.empty() &&
                   !isExtendedPrefix(current.front())) {
            finish(); // basic commands end where an extended one begins
        }
        current.push_back(c);
    }
    finish();
    return commands;
}

std::optional<int> toInt(std::string_view text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string> splitArguments(std::string_view arguments) {
    std::vector<std::string> values;
    if (arguments.find_first_not_of(' ') == std::string_view::npos) {
        return values;
    }
    std::string current;
    bool quoted = false;
    for (char c : arguments) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            values.push_back(trimmed(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    values.push_back(trimmed(current));
    return values;
}

} // namespace modemsim
