#include "dialogue.hpp"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <ostream>

#include "interrupt.hpp"
#include "workspace.hpp"

// An answer is a word: one longer than this is kept to this length (no name
// or number is that long, and the answer is refused), the rest skipped.
constexpr std::size_t max_answer_bytes = 4096;

std::string read_token(Workspace& ws)
{
    ws.progress.clear();
    ws.out->flush();
    std::string token;
    std::istream& in = *ws.in;
    auto space = [](int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    std::streambuf* buf = in.rdbuf();
    int c = buf ? buf->sgetc() : EOF;
    while (c != EOF && space(c)) c = buf->snextc();
    while (c != EOF && !space(c)) {
        if (token.size() <= max_answer_bytes) token += char(c);
        c = buf->snextc();
    }
    if (token.empty()) {
        in.setstate(std::ios::eofbit | std::ios::failbit);
        throw RunEnd{1, "\n\tError : end of input, the dialogue is incomplete\n"};
    }
    return token;
}

IntCheck choices(int lo, int hi)
{
    return [lo, hi](int v) { return v >= lo && v <= hi ? std::string() : cfmt("outside the choices %d to %d", lo, hi); };
}

void refused(Workspace& ws, const std::string& answer, const std::string& reason)
{
    const std::string line = "tephromat: answer \"" + visible_excerpt(answer) + "\" refused : " + reason + "\n";
    ws.out->flush();
    ws.err->write(line.data(), std::streamsize(line.size()));
    ws.err->flush();
}

namespace {

// A number of more than max_answer_bytes was read in part only: its value is
// not known.
const std::string too_long = "longer than 4096 bytes";

// Why a token is no integer of 32 bits.
std::string not_an_int(const std::string& token)
{
    std::size_t k = !token.empty() && (token[0] == '+' || token[0] == '-') ? 1 : 0;
    bool digits = k < token.size();
    for (; k < token.size() && digits; ++k) digits = token[k] >= '0' && token[k] <= '9';
    if (digits) return "outside the signed 32-bit range";
    return parse_double(token) ? "not a whole number" : "not a number";
}

// Why a token is no decimal number.
std::string not_a_double(const std::string& token)
{
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(token.c_str(), &end);
    const bool whole_token = !token.empty() && end == token.c_str() + token.size();
    if (whole_token && errno == ERANGE && std::isinf(v) && token.find_first_of("xX") == std::string::npos)
        return "outside the range of a double";
    return "not a number";
}

}  // namespace

int ask_int(Workspace& ws, const std::string& prompt, const IntCheck& check)
{
    for (;;) {
        ws.out->write(prompt.data(), std::streamsize(prompt.size()));
        std::string token = read_token(ws);
        std::optional<int> v = parse_int(token);
        const std::string why = token.size() > max_answer_bytes ? too_long
                                : !v                            ? not_an_int(token)
                                : check                         ? check(*v)
                                                                : std::string();
        if (why.empty()) {
            ws.answers.push_back(std::move(token));
            return *v;
        }
        refused(ws, token, why);
    }
}

double ask_double(Workspace& ws, const std::string& prompt, const DoubleCheck& check)
{
    for (;;) {
        ws.out->write(prompt.data(), std::streamsize(prompt.size()));
        std::string token = read_token(ws);
        std::optional<double> v = parse_double(token);
        const std::string why = token.size() > max_answer_bytes ? too_long
                                : !v                            ? not_a_double(token)
                                : check                         ? check(*v)
                                                                : std::string();
        if (why.empty()) {
            ws.answers.push_back(std::move(token));
            return *v;
        }
        refused(ws, token, why);
    }
}

std::string ask_name(Workspace& ws, const std::string& prompt, const NameCheck& check)
{
    for (;;) {
        ws.out->write(prompt.data(), std::streamsize(prompt.size()));
        std::string token = read_token(ws);
        const std::string why = check ? check(token) : std::string();
        if (why.empty()) {
            ws.answers.push_back(std::move(token));
            return ws.answers.back();
        }
        refused(ws, token, why);
    }
}

void wait_key(Workspace& ws)
{
    ws.out->flush();
    if (ws.key_from_terminal) {
        // One key, without echo and without waiting for the end of the line.
        termios saved{};
        if (tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios raw = saved;
            raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            tcflush(STDIN_FILENO, TCIFLUSH);
            restore_terminal_on_interrupt(&saved);  // Ctrl-C here must not leave the echo off
            tcsetattr(STDIN_FILENO, TCSANOW, &raw);
            char c;
            ssize_t r;
            do r = read(STDIN_FILENO, &c, 1);
            while (r < 0 && errno == EINTR);
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
            restore_terminal_on_interrupt(nullptr);
            return;
        }
    }
    ws.in->get();
}
