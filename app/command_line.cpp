#include "app/command_line.h"

#include <cstring>

namespace {

// ASCII letters only: the switches are ASCII, and a path's other bytes must
// not match one by accident of a locale.
bool EqualsIgnoringCase(const char* text, const char* name)
{
    for (; *name != '\0'; ++text, ++name) {
        char c = *text >= 'A' && *text <= 'Z' ? char(*text - 'A' + 'a') : *text;
        if (c != *name)
            return false;
    }
    return *text == '\0';
}

bool StartsIgnoringCase(const char* text, const char* prefix)
{
    std::size_t length = std::strlen(prefix);
    char head[8] = {};
    if (length >= sizeof head || std::strlen(text) < length)
        return false;
    std::memcpy(head, text, length);
    return EqualsIgnoringCase(head, prefix);
}

// Copies the next argument of text into argument (capacity bytes) and returns
// where reading goes on; null at the end.  An argument too long for the
// buffer is cut, and *tooLong says so.
const char* NextArgument(const char* text, char* argument, std::size_t capacity, bool* tooLong)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text == '\0')
        return nullptr;
    std::size_t length = 0;
    bool quoted = false;
    *tooLong = false;
    auto put = [&](char c) {
        if (length + 1 < capacity)
            argument[length++] = c;
        else
            *tooLong = true;
    };
    while (*text != '\0' && (quoted || (*text != ' ' && *text != '\t'))) {
        std::size_t backslashes = 0;
        while (text[backslashes] == '\\')
            ++backslashes;
        if (text[backslashes] == '"') {
            // 2n backslashes and a quote: n backslashes, the quote toggles;
            // 2n + 1: n backslashes and a literal quote.
            for (std::size_t i = 0; i < backslashes / 2; ++i)
                put('\\');
            if (backslashes % 2 == 1)
                put('"');
            else if (quoted && text[backslashes + 1] == '"')
                put('"'), ++text;  // "" inside quotes: one literal quote
            else
                quoted = !quoted;
            text += backslashes + 1;
        } else if (backslashes > 0) {
            for (std::size_t i = 0; i < backslashes; ++i)
                put('\\');
            text += backslashes;
        } else {
            put(*text++);
        }
    }
    argument[length] = '\0';
    return text;
}

// Takes a log path: false when there is none, it does not fit, or another
// log was named before.
bool TakeLogPath(CommandLine* parsed, const char* path, bool tooLong)
{
    if (path[0] == '\0' || tooLong)
        return false;
    if (parsed->logPath[0] != '\0')
        return std::strcmp(parsed->logPath, path) == 0;
    return CopyPath(parsed->logPath, path);
}

// Sets the mode: the same one twice is fine, two different ones are not.
bool TakeMode(CommandLine* parsed, SetupMode mode, bool* modeGiven)
{
    bool agrees = !*modeGiven || parsed->mode == mode;
    // Quiet wins even so: a command line that asked for silence gets it, also
    // for the report of its own fault.
    if (!*modeGiven || mode == SetupMode::kQuiet)
        parsed->mode = mode;
    *modeGiven = true;
    return agrees;
}

}  // namespace

bool ParseCommandLine(const char* text, CommandLine* parsed)
{
    *parsed = CommandLine();
    bool valid = true;
    bool modeGiven = false;
    char argument[kPathCapacity + 8];  // "/log=" and a whole path
    bool tooLong = false;
    while ((text = NextArgument(text, argument, sizeof argument, &tooLong)) != nullptr) {
        const char* name = argument + 1;
        bool ok = true;
        if (tooLong || (argument[0] != '/' && argument[0] != '-'))
            ok = false;
        else if (EqualsIgnoringCase(name, "s") || EqualsIgnoringCase(name, "quiet"))
            ok = TakeMode(parsed, SetupMode::kQuiet, &modeGiven);
        else if (EqualsIgnoringCase(name, "passive"))
            ok = TakeMode(parsed, SetupMode::kPassive, &modeGiven);
        else if (EqualsIgnoringCase(name, "nostartmenu"))
            parsed->options.startMenu = false;
        else if (EqualsIgnoringCase(name, "nodesktop"))
            parsed->options.desktop = false;
        else if (EqualsIgnoringCase(name, "currentuser"))
            parsed->options.allUsers = false;
        else if (EqualsIgnoringCase(name, "norestart"))
            ;  // the program never restarts the machine
        else if (EqualsIgnoringCase(name, "uninstall"))
            parsed->uninstall = true;
        else if (EqualsIgnoringCase(name, "?"))
            parsed->help = true;
        else if (EqualsIgnoringCase(name, "log")) {
            char path[kPathCapacity + 8];
            const char* next = NextArgument(text, path, sizeof path, &tooLong);
            ok = next != nullptr && path[0] != '/' && TakeLogPath(parsed, path, tooLong);
            if (next != nullptr && path[0] != '/')
                text = next;  // a switch after a bare /log is read as a switch
        } else if (StartsIgnoringCase(name, "log="))
            ok = TakeLogPath(parsed, name + 4, false);
        else
            ok = false;
        valid = valid && ok;
    }
    return valid;
}
