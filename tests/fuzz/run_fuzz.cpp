// Whole runs, in this process, on small random DEMs (1 to 40 cells a side:
// flat, cones, craters, noise, spikes, negative, offsets up to 2^31, pixel
// sizes down to tiny) with random but plausible answers: both input formats,
// both output formats, widths and units, typed and calculated centres, the
// generic name equal to the DEM's or not, every display choice, answers asked
// again, and now and then a dialogue cut short, a missing DEM or outputs that
// would overwrite the input.  Every run must:
//  - end with status 0, or 1 with the error as its last console line;
//  - leave the folder as it was after an error, and its inputs unchanged;
//  - print no nan or inf in the console or any text file;
//  - after a complete run, give the same files byte for byte when run again
//    from its <G>_answers.txt;
//  - end with the centre-on-no-item error when the centre lies below the base
//    line or on the grid's first line or column, and warn when 16-bit samples
//    wrap.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "fuzz_support.hpp"
#include "run.hpp"
#include "workspace.hpp"

namespace {

constexpr std::int64_t i32_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t i32_max = std::numeric_limits<std::int32_t>::max();

std::int64_t clamp(std::int64_t v, std::int64_t lo, std::int64_t hi) { return v < lo ? lo : v > hi ? hi : v; }

struct Scenario {
    Snapshot files;           // the folder before the run
    std::vector<std::string> inputs;  // the DEM and its descriptor
    std::string answers;
    std::string generic;      // G
    int lines = 0, columns = 0;
    std::vector<std::int32_t> metres;  // the DEM in whole metres, as the program must read it
    bool complete = true;     // every answer is given
    bool dem_missing = false;
    bool overwrites_input = false;
    bool raw16_out = false;
    int base = 0, ci = 0, cj = 0;
    bool centre_typed = false;
};

// True once in n + 1 inputs, never when the input has run out.
bool rare(FuzzedDataProvider& p, int n) { return p.ConsumeIntegralInRange(0, n) == n; }

int side(FuzzedDataProvider& p) { return 1 + (p.ConsumeIntegralInRange(0, 39) + 11) % 40; }

// The known faults change what an input makes (smaller offsets and spikes,
// no outputs over the input...), never which bytes it consumes.

// One answer; `refused` first when given (an answer that must be asked again,
// which the record of the answers leaves out).
void answer(Scenario& s, FuzzedDataProvider& p, const std::string& a, std::vector<std::string> refused = {})
{
    if (!refused.empty() && rare(p, 7))
        s.answers += refused[p.ConsumeIntegralInRange<std::size_t>(0, refused.size() - 1)] + "\n";
    s.answers += a + "\n";
}

Scenario make_scenario(FuzzedDataProvider& p)
{
    Scenario s;
    // Twelve by twelve when the input runs out, as every choice falls on the usual one then.
    const int L = s.lines = side(p), C = s.columns = side(p);
    const int format = p.ConsumeIntegralInRange(0, 2);  // ESRI, raw 16-bit, raw 32-bit
    const int interv = format ? p.ConsumeIntegralInRange(0, 3) : 0;
    const std::int64_t factor = std::int64_t(std::pow(10, interv));

    // The relief in metres.
    const bool huge = !known_fault("D29");
    const int kind = (p.ConsumeIntegralInRange(0, 4) + 1) % 5;
    const int amp = rare(p, 20) ? p.ConsumeIntegralInRange(0, 1500) : (p.ConsumeIntegralInRange(0, 150) + 60) % 151;
    const double slope = 1 + (p.ConsumeIntegralInRange(0, 199) + 9) % 200 / 10.0;
    const int i0 = (p.ConsumeIntegralInRange(0, L - 1) + L / 2) % L;
    const int j0 = (p.ConsumeIntegralInRange(0, C - 1) + C / 2) % C;
    std::int64_t offset = p.ConsumeIntegralInRange<std::int64_t>(i32_min, i32_max);
    if (!huge) offset = clamp(offset, -(1 << 30), 1 << 30);
    if (!p.ConsumeBool()) offset = p.ConsumeIntegralInRange(-100, 3000);
    if (format == 1) offset = clamp(offset, 0, 65535 / factor);
    std::vector<std::int64_t> z(std::size_t(L) * C);
    for (int i = 0; i < L; ++i)
        for (int j = 0; j < C; ++j) {
            const double r = std::hypot(i - i0, j - j0);
            const double cone = std::max(0.0, amp - r * slope);
            double h = 0;
            switch (kind) {
            case 1: h = cone; break;
            case 2: h = r < 2 ? cone - amp / 4.0 : cone; break;                 // crater
            case 3: h = p.ConsumeIntegralInRange(0, amp); break;                // noise
            case 4: h = cone + p.ConsumeIntegralInRange(0, 1 + amp / 10); break;  // rough cone
            }
            z[std::size_t(i) * C + j] = offset + std::int64_t(h);
        }
    for (int n = p.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const std::int64_t spikes[] = {i32_max, i32_min, 65535, 0, -1, offset + 40000, offset - 40000};
        const std::int64_t extreme = p.PickValueInArray(spikes);
        const std::int64_t near = offset + p.ConsumeIntegralInRange(-2 * amp, 2 * amp);
        const std::int64_t v = huge ? extreme : near;
        z[p.ConsumeIntegralInRange<std::size_t>(0, z.size() - 1)] = v;
    }

    // The DEM file, and the answers that read it.
    s.dem_missing = rare(p, 30);
    s.overwrites_input = rare(p, 9) && !s.dem_missing && !known_fault("D33");
    const std::string dem = s.overwrites_input ? "c_rec1" : "dem";
    answer(s, p, "site");
    answer(s, p, s.dem_missing ? "nodem" : dem);
    answer(s, p, format ? "1" : "0", {"2", "-1", "x"});
    s.metres.resize(z.size());
    if (format == 0) {
        const double frac = p.ConsumeIntegralInRange(0, 3) / 4.0;
        const bool one_line = p.ConsumeBool(), centre = p.ConsumeBool(), nodata = p.ConsumeBool();
        std::vector<std::string> header = {
            cfmt("ncols %d\n", C), cfmt("nrows %d\n", L), cfmt("%s 1000.5\n", centre ? "xllcenter" : "xllcorner"),
            cfmt("%s -2000\n", centre ? "YLLCENTER" : "yllcorner"), "cellsize 10\n"};
        if (nodata) header.push_back("NODATA_value -9999\n");
        const bool shuffle = p.ConsumeBool();
        const std::size_t other = p.ConsumeIntegralInRange<std::size_t>(1, header.size() - 1);
        if (shuffle && !known_fault("D31")) std::swap(header[0], header[other]);  // keywords in another order
        std::string text;
        for (const std::string& h : header) text += h;
        for (std::size_t k = 0; k < z.size(); ++k) {
            const std::int64_t m = clamp(z[k], i32_min, i32_max);
            const double v = double(m) + (m < i32_max ? frac : 0);
            text += frac == 0 ? cfmt("%lld", (long long)m) : cfmt("%.2f", v);
            text += (k + 1) % std::size_t(C) == 0 && !one_line ? "\n" : " ";
            s.metres[k] = std::int32_t(std::strtod(cfmt("%.2f", v).c_str(), nullptr));
        }
        s.files[dem + ".asc"] = text;
        s.inputs = {dem + ".asc"};
    } else {
        const int width = format == 1 ? 2 : 4;
        std::string raw;
        for (std::size_t k = 0; k < z.size(); ++k) {
            const std::int64_t sub = p.ConsumeIntegralInRange<std::int64_t>(0, factor - 1);
            const std::int64_t v = width == 2 ? clamp(z[k] * factor + sub, 0, 65535)
                                              : clamp(clamp(z[k], i32_min, i32_max) * factor + sub, i32_min, i32_max);
            for (int b = 0; b < width; ++b) raw += char((std::uint64_t(v) >> (8 * b)) & 0xFF);
            s.metres[k] = std::int32_t(double(v) / double(factor));
        }
        const std::string stem = dem + (width == 2 ? "_m2" : "_m4");
        s.files[stem + ".raw"] = raw;
        s.inputs = {stem + ".raw"};
        answer(s, p, width == 2 ? "0" : "1", {"7"});
        const int descriptor = p.ConsumeIntegralInRange(0, 2);  // six numbers, three, none
        const int pix = p.ConsumeIntegralInRange(1, 50);
        if (descriptor < 2) {
            s.files[stem + ".txt"] = descriptor == 0 ? cfmt("%d\n%d\n%d\n0\n0\n%d\n", L, C, width, pix)
                                                     : cfmt("%d %d %d\n", L, C, width);
            s.inputs.push_back(stem + ".txt");
        }
        bool pixel_asked = descriptor == 1;
        if (descriptor == 2) {
            answer(s, p, std::to_string(L), {"0", "-4", "70000"});
            answer(s, p, std::to_string(C), {"0"});
            pixel_asked = p.ConsumeBool();
            answer(s, p, pixel_asked ? "0" : std::to_string(pix));
        }
        if (pixel_asked) answer(s, p, std::to_string(pix));
        answer(s, p, std::to_string(interv), {"4", "-1"});
    }
    if (s.dem_missing) {
        s.answers += "\n";  // the key
        return s;
    }

    // Pixel size: tiny ones put altitude / pixel size far beyond 32 bits.
    const char* pixels[] = {"10", "1", "2.5", "30", "0.5", "1000", "0.001", "1e-9", "3e-300"};
    std::string pixel = p.PickValueInArray(pixels);
    std::int64_t top = 0;
    for (std::int32_t m : s.metres) top = std::max<std::int64_t>(top, std::llabs(m));
    if (known_fault("D30") && double(top) / std::strtod(pixel.c_str(), nullptr) > 1e9) pixel = "10";
    answer(s, p, pixel, {"0", "-1", "abc"});

    // Output names and formats.
    const int g = p.ConsumeIntegralInRange(0, 2);
    s.generic = s.overwrites_input ? "c" : g == 0 ? dem : g == 1 ? "dem" : "out";
    if (g == 0 && !s.overwrites_input) {
        answer(s, p, "0", {"2"});
    } else {
        answer(s, p, "1");
        answer(s, p, s.generic);
    }
    if (rare(p, 4) && !known_fault("D33"))  // an earlier run's results
        for (const char* f : {"_info.txt", "_rec1.asc", "_rec1_m2.raw", "_rec1_m4.txt", "_orient.xls", "_answers.txt"})
            s.files[s.generic + f] = "earlier run\n";
    const int format_out = s.overwrites_input ? (format ? 1 : 0) : p.ConsumeIntegralInRange(0, 1);
    answer(s, p, std::to_string(format_out), {"3"});
    if (format_out == 1) {
        const int w = s.overwrites_input ? format - 1 : p.ConsumeIntegralInRange(0, 1);
        s.raw16_out = w == 0;
        answer(s, p, std::to_string(w), {"2"});
        answer(s, p, std::to_string(p.ConsumeIntegralInRange(0, 3)), {"4"});
    } else if (format != 0) {
        const char* corners[] = {"0", "1000.5", "-2e6", "650000"};
        answer(s, p, p.PickValueInArray(corners));
        answer(s, p, p.PickValueInArray(corners));
    }

    // Base line, centre, display choices.
    std::int64_t lo = i32_max, hi = i32_min;
    for (std::int32_t m : s.metres) lo = std::min<std::int64_t>(lo, m), hi = std::max<std::int64_t>(hi, m);
    std::int64_t base = lo + p.ConsumeIntegralInRange<std::int64_t>(-20, std::max<std::int64_t>(hi - lo, 0) + 5);
    if (!huge) base = std::max(base, hi - 20000);
    base = clamp(base, -2147483647, 2147483646);
    s.base = int(base);  // "%lld.5" truncates to the same whole metres
    const std::vector<std::string> out_of_range = {"3e9", "-2147483648.5", "x"};
    answer(s, p, p.ConsumeBool() ? cfmt("%lld.5", (long long)base) : std::to_string(base),
           huge ? out_of_range : std::vector<std::string>{"x", "x", "x"});
    s.centre_typed = p.ConsumeBool();
    if (s.centre_typed) {
        answer(s, p, "0", {"2"});
        if (rare(p, 5)) s.answers += cfmt("%d\n%d\n", L + p.ConsumeIntegralInRange(0, 3), -1);
        s.ci = p.ConsumeIntegralInRange(0, L - 1);
        s.cj = p.ConsumeIntegralInRange(0, C - 1);
        if (!p.ConsumeBool()) s.ci = i0, s.cj = j0;
        answer(s, p, std::to_string(s.ci));
        answer(s, p, std::to_string(s.cj));
    } else {
        answer(s, p, "1");
        std::int64_t n = 0, si = 0, sj = 0;
        for (int i = 0; i < L; ++i)
            for (int j = 0; j < C; ++j)
                if (s.metres[std::size_t(i) * C + j] >= s.base) ++n, si += i, sj += j;
        s.ci = n ? int(si / n) : 0;
        s.cj = n ? int(sj / n) : 0;
    }
    answer(s, p, std::to_string(p.ConsumeIntegralInRange(-1, 1)), {"2"});
    const int upper = p.ConsumeIntegralInRange(-1, 1);
    answer(s, p, std::to_string(upper), {"5"});
    if (upper == 0) {
        answer(s, p, std::to_string(p.ConsumeIntegralInRange(2, 10)), {"1", "11"});
        answer(s, p, std::to_string(p.ConsumeIntegralInRange(-1, 1)), {"2"});
    }
    s.answers += "\n";  // the key

    if (rare(p, 15)) {  // the dialogue cut short
        const std::vector<std::string> t = split_tokens(s.answers);
        s.answers.clear();
        for (std::size_t k = 0, n = p.ConsumeIntegralInRange<std::size_t>(0, t.size() - 1); k < n; ++k)
            s.answers += t[k] + "\n";
        s.complete = false;
    }
    return s;
}

struct Outcome {
    int status;
    std::string console;
};

Outcome run_once(const std::string& answers)
{
    std::istringstream in(answers);
    std::ostringstream out;
    Workspace ws(in, out);
    const int status = run(ws);
    return {status, out.str()};
}

std::string replace_newlines(std::string s)
{
    for (char& c : s)
        if (c == '\n') c = ' ';
    return s + "\n";
}

std::string differences(const Snapshot& a, const Snapshot& b)
{
    std::string d;
    for (const auto& [name, bytes] : a)
        if (!b.count(name)) d += " " + name + " (gone)";
        else if (b.at(name) != bytes) d += " " + name + " (changed)";
    for (const auto& [name, bytes] : b)
        if (!a.count(name)) d += " " + name + " (new)";
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider p(data, size);
    const Scenario s = make_scenario(p);
    const std::size_t centre = std::size_t(s.ci) * std::size_t(s.columns) + std::size_t(s.cj);
    const bool no_item = !s.dem_missing && s.complete && !s.overwrites_input &&
                         (s.metres[centre] < s.base || s.ci == 0 || s.cj == 0);
    // Until a centre on no item ends the run, such runs measure the land
    // below the base line: nothing to learn from them.
    if (no_item && known_fault("D27")) return 0;

    FuzzFolder site;
    for (const auto& [name, bytes] : s.files) write_file(site.path() + name, bytes);
    const bool trace = std::getenv("TEPHROMAT_FUZZ_TRACE") != nullptr;  // to see what an input does
    // TEPHROMAT_FUZZ_KEEP=DIR: the input's files and answers, to run the
    // program on them by hand (TEPHROMAT_ROOT=DIR/.., folder DIR's name).
    if (const char* keep = std::getenv("TEPHROMAT_FUZZ_KEEP")) {
        for (const auto& [name, bytes] : s.files) write_file(std::string(keep) + "/" + name, bytes);
        write_file(std::string(keep) + "/answers.txt", s.answers);
    }
    if (trace)
        std::fprintf(stderr, "==== %d x %d, files:%s\n==== answers: %s", s.lines, s.columns, names(s.files).c_str(),
                     replace_newlines(s.answers).c_str());
    const Outcome first = run_once(s.answers);
    if (trace)
        std::fprintf(stderr, "==== status %d\n%s\n", first.status,
                     first.console.substr(first.console.size() > 200 ? first.console.size() - 200 : 0).c_str());
    const Snapshot after = snapshot(site.path());
    const auto tail = [](const std::string& c) { return c.substr(c.size() > 300 ? c.size() - 300 : 0); };

    check_status_and_error_form(first.status, first.console);
    check_no_nan(first.console, "the console");
    for (const std::string& in : s.inputs)
        FUZZ_CHECK(after.count(in) && after.at(in) == s.files.at(in), "the input %s was changed", in.c_str());
    if (s.dem_missing)
        FUZZ_CHECK(first.status == (known_fault("D28") ? 0 : 1) &&
                       first.console.find(" unknown\n") != std::string::npos,
                   "missing DEM: status %d", first.status);
    if (!s.complete || s.overwrites_input || no_item)
        FUZZ_CHECK(first.status == 1, "status %d, expected an error (%s); console ends: %s", first.status,
                   !s.complete          ? "dialogue cut short"
                   : s.overwrites_input ? "an output is the input"
                                        : "centre on no item",
                   tail(first.console).c_str());
    if (no_item)
        FUZZ_CHECK(first.console.find("lies on no item above the base line") != std::string::npos ||
                       first.console.find("more than 30000 m") != std::string::npos,
                   "centre (%d, %d) on no item: %s", s.ci, s.cj, tail(first.console).c_str());
    if (first.status != 0 || s.dem_missing) {
        FUZZ_CHECK(after == s.files, "after the error the folder differs:%s", differences(s.files, after).c_str());
        return 0;
    }

    check_no_nan_in_files(after);
    if (s.raw16_out && !known_fault("D34"))
        for (const char* stem : {"_rec1_m2", "_rec1_eros_m2"}) {
            int l, c, w, lo = 0, hi = 0;
            std::sscanf(after.at(s.generic + stem + ".txt").c_str(), "%d%d%d%d%d", &l, &c, &w, &lo, &hi);
            const bool wraps = lo < 0 || hi > 65535;
            const std::string warning = s.generic + stem + ".raw exceed the 16-bit samples";
            const bool warned = first.console.find(warning) != std::string::npos;
            FUZZ_CHECK(wraps == warned, "%s holds %d..%d, %s", stem, lo, hi, warned ? "warned" : "no warning");
        }

    // The record of the answers repeats the run.
    const std::string record_name = s.generic + "_answers.txt";
    FUZZ_CHECK(after.count(record_name), "no %s", record_name.c_str());
    const Outcome again = run_once(after.at(record_name) + "\n");
    const Snapshot replayed = snapshot(site.path());
    FUZZ_CHECK(again.status == 0, "the replay ended with status %d: %s", again.status, tail(again.console).c_str());
    FUZZ_CHECK(replayed == after, "the replay differs:%s", differences(after, replayed).c_str());
    return 0;
}
