#include "token_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdlib>


bool TokenReader::fill()
{
    if (eof_) return false;
    std::size_t n = std::fread(buf_.data(), 1, buf_.size(), f_);
    pos_ = 0;
    end_ = n;
    consumed_ += n;
    if (n == 0) eof_ = true;
    return n > 0;
}

void TokenReader::push_back(std::string_view token)
{
    pushed_.assign(token);
    has_pushed_ = true;
}

bool TokenReader::next(std::string_view& token)
{
    if (has_pushed_) {
        has_pushed_ = false;
        carry_.swap(pushed_);
        token = carry_;
        return true;
    }
    for (;;) {  // skip white space
        while (pos_ < end_ && is_token_space(buf_[pos_])) ++pos_;
        if (pos_ < end_) break;
        if (!fill()) return false;
    }
    std::size_t start = pos_;
    while (pos_ < end_ && !is_token_space(buf_[pos_])) ++pos_;
    if (pos_ < end_ || eof_) {
        token = std::string_view(buf_.data() + start, pos_ - start);
        return true;
    }
    // The token runs past the block: gather it.
    carry_.assign(buf_.data() + start, pos_ - start);
    // Past max_token_bytes the reading stops: such a token is no part of a
    // grid, and the reader's caller ends the run on it.
    while (carry_.size() <= max_token_bytes && fill()) {
        std::size_t s = pos_;
        while (pos_ < end_ && !is_token_space(buf_[pos_]) && pos_ - s + carry_.size() <= max_token_bytes) ++pos_;
        carry_.append(buf_.data() + s, pos_ - s);
        if (pos_ < end_ && is_token_space(buf_[pos_])) break;
    }
    token = carry_;
    return true;
}

bool parse_sample(std::string_view t, double& v)
{
    const char* b = t.data();
    const char* e = b + t.size();
    auto r = std::from_chars(b, e, v);
    if (r.ec == std::errc() && r.ptr == e) return !std::isnan(v);
    // A leading '+' or a hexadecimal value: strtod reads those as "%lf" does.
    std::string s(t);
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && !s.empty() && !std::isnan(v);
}

std::optional<int> parse_int(const std::string& t)
{
    std::size_t k = 0;
    bool neg = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) neg = t[k++] == '-';
    if (k == t.size()) return std::nullopt;
    long long v = 0;
    for (; k < t.size(); ++k) {
        if (t[k] < '0' || t[k] > '9') return std::nullopt;
        v = v * 10 + (t[k] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (neg) v = -v;
    if (v > 2147483647LL) return std::nullopt;
    return int(v);
}

std::optional<double> parse_double(const std::string& t)
{
    std::size_t k = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (k == t.size()) return std::nullopt;
    char c = t[k];
    if (!((c >= '0' && c <= '9') || c == '.')) return std::nullopt;  // inf, nan
    if (t.size() > k + 1 && c == '0' && (t[k + 1] == 'x' || t[k + 1] == 'X'))
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return std::nullopt;
    if (errno == ERANGE && std::isinf(v)) return std::nullopt;
    return v;
}
