// norvex's helper for terminals whose parsing of a command norvex does not know, or that hand the
// window to an instance already running. Such a terminal is given two plain words: this program's
// path and the command's words as hex digits of their UTF-8 bytes, each word ended by a NUL byte.
// No way of parsing a command changes a plain word, and nothing travels in the environment, so an
// instance running with its own environment, folder and PATH still runs exactly this command.
// No Qt here: it starts once per window and does nothing but decode and exec.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The words, or nothing when the text is not what norvex writes.
std::optional<std::vector<std::string>> decodeWords(const char *hex) {
    std::vector<std::string> words;
    std::string word;
    const std::size_t size = std::strlen(hex);
    if (size == 0 || size % 2 != 0) return std::nullopt;
    for (std::size_t i = 0; i < size; i += 2) {
        const int high = hexDigit(hex[i]), low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        const char byte = static_cast<char>(high * 16 + low);
        if (byte == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += byte;
        }
    }
    if (!word.empty()) return std::nullopt;  // the last word had no end
    return words;
}

// Says why the window has nothing to run and keeps it open until Enter. The status is 0 all the
// same: the window did open, and another terminal would fail in the same way.
int explain(const std::string &what) {
    std::printf("norvex: %s\nPress Enter to close this window.\n", what.c_str());
    std::fflush(stdout);
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) return explain("this window got no command: the terminal did not pass it on.");
    const std::optional<std::vector<std::string>> words = decodeWords(argv[1]);
    if (!words || words->empty()) return explain("this window got a command it cannot read.");
    // execv never searches PATH, but a relative name would still be looked up in the current
    // folder, which a terminal's running instance chose, not norvex.
    if (words->front().empty() || words->front().front() != '/')
        return explain("this window got a command that is not an absolute path.");
    std::vector<char *> arguments;
    for (const std::string &word : *words) arguments.push_back(const_cast<char *>(word.c_str()));
    arguments.push_back(nullptr);
    ::execv(arguments[0], arguments.data());
    return explain("the command could not be started: " + std::string(std::strerror(errno)));
}
