#include "control_command.h"

#include <cctype>
#include <charconv>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace modemsim {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// The first word and the rest of the line.
std::pair<std::string_view, std::string_view> splitWord(std::string_view line) {
    line = trim(line);
    std::size_t end = 0;
    while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) {
        ++end;
    }
    return {line.substr(0, end), trim(line.substr(end))};
}

std::optional<int> parseNumber(std::string_view text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// The character an escape inside quotes stands for: \" \\ \n \r \t and \xHH. `i` is at the
// backslash and ends on the escape's last character.
std::optional<char> unescapeAt(std::string_view text, std::size_t& i) {
    if (i + 1 >= text.size()) {
        return std::nullopt;
    }
    char next = text[++i];
    switch (next) {
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'x': {
        unsigned value = 0;
        auto digits = text.substr(i + 1, 2);
        auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.size() != 2 || error != std::errc() || end != digits.data() + 2) {
            return std::nullopt;
        }
        i += 2;
        return static_cast<char>(value);
    }
    default:
        return next;
    }
}

// `"text"` with its escapes resolved; nothing when the quotes or an escape are malformed.
std::optional<std::string> unquote(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return std::nullopt;
    }
    text = text.substr(1, text.size() - 2);
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            return std::nullopt;
        }
        if (text[i] != '\\') {
            bytes.push_back(text[i]);
        } else if (auto c = unescapeAt(text, i)) {
            bytes.push_back(*c);
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

// Words separated by blanks; double quotes group blanks into a word and allow the escapes of
// unescapeAt. `key="a b"` is the single word `key=a b`.
std::optional<std::vector<std::string>> splitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\') {
                auto escaped = unescapeAt(text, i);
                if (!escaped) {
                    return std::nullopt;
                }
                word.push_back(*escaped);
            } else {
                word.push_back(c);
            }
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            inWord = true;
            if (c == '"') {
                quoted = true;
            } else {
                word.push_back(c);
            }
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

using Arguments = std::map<std::string, std::string>;

// `key=value` words, each key one of `allowed`, none twice.
std::variant<Arguments, std::string>
parseArguments(std::string_view text, const std::set<std::string>& allowed, const char* usage) {
    auto words = splitWords(text);
    if (!words) {
        return std::string("unterminated quote or malformed escape");
    }
    Arguments arguments;
    for (const std::string& word : *words) {
        auto equals = word.find('=');
        std::string key = word.substr(0, equals);
        if (equals == std::string::npos || allowed.count(key) == 0 ||
            !arguments.emplace(key, word.substr(equals + 1)).second) {
            return "unknown argument '" + word + "' (expected " + usage + ")";
        }
    }
    return arguments;
}

// `deliver` and `store` of a received message: from=, text=, truncate=; store also stat=0|1.
std::variant<IncomingMessage, std::string> parseIncoming(const Arguments& arguments) {
    auto from = arguments.find("from");
    auto text = arguments.find("text");
    if (from == arguments.end() || from->second.empty() || text == arguments.end()) {
        return std::string("needs from=<sender> and text=\"...\"");
    }
    IncomingMessage message{from->second, text->second, std::nullopt};
    if (auto truncate = arguments.find("truncate"); truncate != arguments.end()) {
        auto octets = parseNumber(truncate->second);
        if (!octets) {
            return std::string("truncate= takes a number of octets");
        }
        message.truncatedTo = static_cast<std::size_t>(*octets);
    }
    return message;
}

ParsedCommand parseDeliver(std::string_view text) {
    auto arguments =
        parseArguments(text, {"from", "text", "truncate"}, "from=... text=\"...\" [truncate=n]");
    if (auto* error = std::get_if<std::string>(&arguments)) {
        return {*error};
    }
    auto message = parseIncoming(std::get<Arguments>(arguments));
    if (auto* error = std::get_if<std::string>(&message)) {
        return {*error};
    }
    return {DeliverCommand{std::move(std::get<IncomingMessage>(message))}};
}

// stat= as in +CMGL (TS 27.005 §3.1): 0 and 1 received, from a sender; 2 and 3 to be sent or
// sent, to a recipient.
ParsedCommand parseStore(std::string_view text) {
    auto parsed = parseArguments(text, {"from", "to", "text", "truncate", "stat"},
                                 "from=... or to=..., text=\"...\", [truncate=n] [stat=0-3]");
    if (auto* error = std::get_if<std::string>(&parsed)) {
        return {*error};
    }
    const auto& arguments = std::get<Arguments>(parsed);
    auto statWord = arguments.find("stat");
    auto stat = statWord == arguments.end() ? std::optional<int>(0) : parseNumber(statWord->second);
    if (!stat || *stat > 3) {
        return {std::string("stat= is 0 (received unread), 1 (read), 2 (unsent) or 3 (sent)")};
    }
    if (*stat >= 2) {
        auto to = arguments.find("to");
        auto body = arguments.find("text");
        if (to == arguments.end() || to->second.empty() || body == arguments.end() ||
            arguments.count("from") != 0 || arguments.count("truncate") != 0) {
            return {std::string("stat=2 and 3 need to=<recipient> and text=\"...\" only")};
        }
        return {StoreSubmitCommand{to->second, body->second, static_cast<MessageStat>(*stat)}};
    }
    if (arguments.count("to") != 0) {
        return {std::string("to= belongs to stat=2 or 3")};
    }
    auto message = parseIncoming(arguments);
    if (auto* error = std::get_if<std::string>(&message)) {
        return {*error};
    }
    return {StoreCommand{std::move(std::get<IncomingMessage>(message)),
                         static_cast<MessageStat>(*stat)}};
}

ParsedCommand parseScheduled(Trigger trigger, std::string_view arguments) {
    auto [delayWord, rest] = splitWord(arguments);
    auto delay = parseNumber(delayWord);
    if (!delay) {
        return {std::string("expected a delay in milliseconds, got '") + std::string(delayWord) +
                "'"};
    }
    ParsedCommand inner = parseControlLine(rest);
    if (!inner.ok()) {
        return inner;
    }
    if (std::holds_alternative<ScheduleCommand>(inner.command())) {
        return {std::string("a scheduled command cannot schedule another")};
    }
    return {ScheduleCommand{
        ScriptedCommand{trigger, std::chrono::milliseconds(*delay), std::string(rest)}}};
}

} // namespace

bool isCommentOrBlank(std::string_view line) {
    line = trim(line);
    return line.empty() || line.front() == '#';
}

ParsedCommand parseControlLine(std::string_view line) {
    auto [verb, arguments] = splitWord(line);
    if (verb == "set") {
        auto [name, value] = splitWord(arguments);
        if (name.empty() || value.empty()) {
            return {std::string("usage: set <name> <value>")};
        }
        if (value.front() != '"') {
            return {SetCommand{std::string(name), std::string(value)}};
        }
        auto unquoted = unquote(value);
        if (!unquoted) {
            return {std::string("malformed quoted value")};
        }
        return {SetCommand{std::string(name), *unquoted}};
    }
    if (verb == "raw") {
        auto bytes = unquote(arguments);
        if (!bytes || bytes->empty()) {
            return {std::string("usage: raw \"<bytes>\" (escapes \\r \\n \\\" \\\\ \\t \\xHH)")};
        }
        return {RawCommand{*bytes}};
    }
    if (verb == "reset") {
        if (arguments.empty()) {
            return {ResetCommand{}};
        }
        auto silence = parseNumber(arguments);
        if (!silence) {
            return {std::string("usage: reset [<milliseconds of silence>]")};
        }
        return {ResetCommand{std::chrono::milliseconds(*silence)}};
    }
    if (verb == "replug") {
        auto words = splitWords(arguments);
        auto away = words && !words->empty() && words->size() <= 2 ? parseNumber((*words)[0])
                                                                   : std::nullopt;
        if (!away) {
            return {
                std::string("usage: replug <milliseconds away> [<imei of the modem plugged in>]")};
        }
        return {ReplugCommand{std::chrono::milliseconds(*away),
                              words->size() == 2 ? (*words)[1] : std::string()}};
    }
    if (verb == "deliver") {
        return parseDeliver(arguments);
    }
    if (verb == "store") {
        return parseStore(arguments);
    }
    if (verb == "fail-next-send") {
        if (arguments.empty()) {
            return {FailNextSendCommand{}};
        }
        auto code = parseNumber(arguments);
        if (!code) {
            return {std::string("usage: fail-next-send [<+CMS ERROR code>]")};
        }
        return {FailNextSendCommand{*code}};
    }
    if (verb == "at") {
        return parseScheduled(Trigger::Start, arguments);
    }
    if (verb == "on-cnmi") {
        return parseScheduled(Trigger::Cnmi, arguments);
    }
    if (!arguments.empty() && (verb == "hangup" || verb == "status" || verb == "list")) {
        return {std::string(verb) + " takes no arguments"};
    }
    if (verb == "hangup") {
        return {HangUpCommand{}};
    }
    if (verb == "status") {
        return {StatusCommand{}};
    }
    if (verb == "list") {
        return {ListCommand{}};
    }
    return {std::string("unknown command '") + std::string(verb) + "'"};
}

} // namespace modemsim
