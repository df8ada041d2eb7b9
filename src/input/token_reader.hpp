// Whitespace-separated tokens of a text file, read in blocks so that a large
// grid never sits in memory as text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// No number is this long: a longer token (a file of NUL bytes, a word of
// megabytes) comes to this length plus one byte, and the reading of the file
// goes no further (its caller refuses such a token).
constexpr std::size_t max_token_bytes = 4096;

class TokenReader {
public:
    // `block` bytes are read at a time (smaller blocks let the fuzz harness
    // reach the tokens that straddle two blocks).
    explicit TokenReader(std::FILE* f, std::size_t block = 1 << 20) : f_(f), buf_(block) {}
    // The next token, or false at the end of the file.  The view stays valid
    // until the next call.
    bool next(std::string_view& token);
    // Makes the next call return `token` again.
    void push_back(std::string_view token);
    bool read_error() const { return std::ferror(f_) != 0; }
    // Bytes of the file before the next unread one (a pushed-back token
    // counts as read).
    std::uint64_t offset() const { return consumed_ - (end_ - pos_); }

private:
    bool fill();
    std::FILE* f_;
    std::vector<char> buf_;
    std::size_t pos_ = 0, end_ = 0;
    std::uint64_t consumed_ = 0;
    bool eof_ = false;
    std::string carry_, pushed_;
    bool has_pushed_ = false;
};

// The white space that separates tokens, as C's isspace has it.
inline bool is_token_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A decimal sample as C's "%lf" reads it; false when the token is not wholly a
// number.  A value beyond the double range reads as an infinity.
bool parse_sample(std::string_view token, double& v);

// Answers and header values: an optional sign and digits within 32 bits; a
// decimal number as strtod reads it, but not inf, nan, hexadecimal or a value
// out of the double range.
std::optional<int> parse_int(const std::string& token);
std::optional<double> parse_double(const std::string& token);
