// The reading of answers and samples, token by token.  Input: byte 0 sets the
// block size of the token reader, bytes 1 and 2 the sequence of questions;
// the rest is the text typed (or read from a grid).
//  - parse_int, parse_double and parse_sample accept exactly the tokens that
//    their rules describe, with the value that C's strtol / strtod give;
//  - the token reader returns the same tokens as a plain split, whatever the
//    block size, and gives back a token pushed back;
//  - ask_int, ask_double and ask_name print their prompt once per token tried,
//    keep the first acceptable token, record exactly the accepted tokens, and
//    end with status 1 and the end-of-input message when the text runs out.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "dialogue.hpp"
#include "fuzz_support.hpp"
#include "token_reader.hpp"
#include "workspace.hpp"

namespace {

std::optional<int> ref_int(const std::string& t)
{
    std::size_t k = t[0] == '+' || t[0] == '-' ? 1 : 0;
    if (k == t.size() || t.find_first_not_of("0123456789", k) != std::string::npos) return std::nullopt;
    const std::size_t first = t.find_first_not_of('0', k);
    if (first != std::string::npos && t.size() - first > 10) return std::nullopt;
    const long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (v < -2147483648LL || v > 2147483647LL) return std::nullopt;
    return int(v);
}

std::size_t digits(const std::string& t, std::size_t k)
{
    while (k < t.size() && t[k] >= '0' && t[k] <= '9') ++k;
    return k;
}

// A decimal number: sign, digits with an optional point (at least one digit),
// optional exponent; finite (a value too small for a double reads as 0 or a
// subnormal, as strtod gives it).
std::optional<double> ref_double(const std::string& t)
{
    std::size_t k = t[0] == '+' || t[0] == '-' ? 1 : 0;
    const std::size_t int_end = digits(t, k);
    std::size_t end = int_end, frac = 0;
    if (end < t.size() && t[end] == '.') {
        const std::size_t f = digits(t, end + 1);
        frac = f - end - 1;
        end = f;
    }
    if (int_end == k && frac == 0) return std::nullopt;
    if (end < t.size() && (t[end] == 'e' || t[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < t.size() && (t[e] == '+' || t[e] == '-')) ++e;
        const std::size_t e_end = digits(t, e);
        if (e_end == e) return std::nullopt;
        end = e_end;
    }
    if (end != t.size()) return std::nullopt;
    const double v = std::strtod(t.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

// A grid sample: whatever strtod reads wholly, except nan.
std::optional<double> ref_sample(const std::string& t)
{
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || std::isnan(v)) return std::nullopt;
    return v;
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_parsers(const std::string& t)
{
    const std::optional<int> i = parse_int(t), ri = ref_int(t);
    FUZZ_CHECK(i.has_value() == ri.has_value() && (!i || *i == *ri), "parse_int(\"%s\"): %s %d, expected %s %d",
               t.c_str(), i ? "accepted" : "refused", i.value_or(0), ri ? "accepted" : "refused", ri.value_or(0));
    const std::optional<double> d = parse_double(t), rd = ref_double(t);
    FUZZ_CHECK(d.has_value() == rd.has_value() && (!d || same(*d, *rd)),
               "parse_double(\"%s\"): %s %.17g, expected %s %.17g", t.c_str(), d ? "accepted" : "refused",
               d.value_or(0), rd ? "accepted" : "refused", rd.value_or(0));
    double s = 0;
    const bool ok = parse_sample(t, s);
    const std::optional<double> rs = ref_sample(t);
    FUZZ_CHECK(ok == rs.has_value() && (!ok || same(s, *rs)), "parse_sample(\"%s\"): %s %.17g, expected %s %.17g",
               t.c_str(), ok ? "accepted" : "refused", s, rs ? "accepted" : "refused", rs.value_or(0));
}

void check_token_reader(const std::string& text, std::size_t block, const std::vector<std::string>& expected)
{
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    TokenReader rd(f, block);
    std::vector<std::string> got;
    std::string_view t;
    while (rd.next(t)) {
        got.emplace_back(t);
        if (got.size() % 3 == 1) {  // give it back and read it again
            rd.push_back(t);
            FUZZ_CHECK(rd.next(t) && t == got.back(), "a token pushed back came back as \"%.*s\"", int(t.size()),
                       t.data());
        }
    }
    FUZZ_CHECK(!rd.read_error(), "read error");
    std::fclose(f);
    FUZZ_CHECK(got == expected, "block %zu: %zu tokens read, %zu in the text", block, got.size(), expected.size());
}

// The questions of a dialogue: prompt, and which tokens they accept.
struct Question {
    const char* prompt;
    int kind;  // 0 menu 0-1, 1 any integer, 2 decimal above 0, 3 any decimal, 4 name
};
const Question questions[] = {{"\n\tMenu ? ", 0}, {"\n\tInteger ? ", 1}, {"\n\tSize ? ", 2},
                              {"\n\tDecimal ? ", 3}, {"\n\tName ? ", 4}};

bool accepted(const Question& q, const std::string& t)
{
    switch (q.kind) {
    case 0: return ref_int(t) && (*ref_int(t) == 0 || *ref_int(t) == 1);
    case 1: return ref_int(t).has_value();
    case 2: return ref_double(t) && *ref_double(t) > 0;
    case 3: return ref_double(t).has_value();
    default: return true;
    }
}

void check_dialogue(const std::string& text, unsigned plan, const std::vector<std::string>& tokens)
{
    std::istringstream in(text);
    std::ostringstream out;
    Workspace ws(in, out);
    std::string prompts;
    std::vector<std::string> answers;
    std::size_t next = 0;
    try {
        for (unsigned n = 0;; ++n) {
            const Question& q = questions[(plan >> (3 * (n % 5))) % 5];
            // What the dialogue must do: one prompt per token tried.
            bool ends = true;
            for (;;) {
                prompts += q.prompt;
                if (next == tokens.size()) break;
                if (accepted(q, tokens[next++])) {
                    ends = false;
                    answers.push_back(tokens[next - 1]);
                    break;
                }
            }
            int i = 0;
            double d = 0;
            std::string name;
            switch (q.kind) {
            case 0: i = ask_int(ws, q.prompt, choices(0, 1)); break;
            case 1: i = ask_int(ws, q.prompt); break;
            case 2: d = ask_double(ws, q.prompt, [](double v) { return v > 0 ? std::string() : std::string("at or below 0"); }); break;
            case 3: d = ask_double(ws, q.prompt); break;
            default: name = ask_name(ws, q.prompt); break;
            }
            FUZZ_CHECK(!ends, "question %u answered past the end of the text", n);
            const std::string& a = answers.back();
            if (q.kind <= 1) FUZZ_CHECK(i == *ref_int(a), "\"%s\" read as %d", a.c_str(), i);
            if (q.kind == 2 || q.kind == 3) FUZZ_CHECK(same(d, *ref_double(a)), "\"%s\" read as %.17g", a.c_str(), d);
            if (q.kind == 4) FUZZ_CHECK(name == a, "name \"%s\" read as \"%s\"", a.c_str(), name.c_str());
        }
    } catch (const RunEnd& e) {
        FUZZ_CHECK(e.status == 1 && e.message == "\n\tError : end of input, the dialogue is incomplete\n",
                   "status %d, \"%s\"", e.status, e.message.c_str());
    }
    FUZZ_CHECK(next == tokens.size(), "the dialogue ended with %zu tokens unread", tokens.size() - next);
    FUZZ_CHECK(out.str() == prompts, "the console shows\n%s\ninstead of\n%s", out.str().c_str(), prompts.c_str());
    FUZZ_CHECK(ws.answers == answers, "%zu answers recorded, %zu accepted", ws.answers.size(), answers.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const std::size_t block = 1 + data[0] % 16;
    const unsigned plan = data[1] | unsigned(data[2]) << 8;
    const std::string text(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::vector<std::string> tokens = split_tokens(text);
    for (const std::string& t : tokens) check_parsers(t);
    check_token_reader(text, block, tokens);
    check_dialogue(text, plan, tokens);
    return 0;
}
