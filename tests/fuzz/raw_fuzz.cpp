// The raw input path of the opening dialogue: the descriptor (or the
// dimensions typed when it is missing) and the raw samples.  The DEM is read
// as the descriptor and the samples say, or the run ends with one error line
// naming the file, leaving no file behind and its inputs unchanged.
//
// Input: byte 0 holds the choices (bit 0: 32-bit samples; bits 1-2: 0 no
// descriptor, else one is written; bits 3-4: unit of the samples; bit 5: no DEM
// file; bits 6-7: the pixel size typed without descriptor), bytes 1 and 2 the
// lines and columns typed without descriptor, byte 3 the length L of the
// descriptor text that follows; the rest is the raw file.
#include <cmath>
#include <sstream>

#include "fuzz_support.hpp"
#include "dialogue.hpp"
#include "input.hpp"
#include "workspace.hpp"

namespace {

// The descriptor as "%d%d%d%d%d%d" reads it: numbers up to the first that is
// missing or malformed.  False for a number beyond 32 bits.
bool read_descriptor(const std::string& text, int* d, int& n)
{
    std::size_t p = 0;
    for (n = 0; n < 6; ++n) {
        while (p < text.size() && std::string(" \t\n\v\f\r").find(text[p]) != std::string::npos) ++p;
        bool neg = false;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) neg = text[p++] == '-';
        if (p >= text.size() || text[p] < '0' || text[p] > '9') return true;
        long long v = 0;
        for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p)
            if ((v = v * 10 + (text[p] - '0')) > 2147483648LL) return false;
        v = neg ? -v : v;
        if (v > 2147483647LL) return false;
        d[n] = int(v);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4 || size < 4u + data[3]) return 0;
    const int flags = data[0];
    const int itype = flags & 1, width = itype ? 4 : 2, interv = (flags >> 3) & 3;
    const bool has_descriptor = (flags >> 1) & 3, no_dem = (flags >> 5) & 1;
    const std::string descriptor(reinterpret_cast<const char*>(data) + 4, data[3]);
    const std::string raw(reinterpret_cast<const char*>(data) + 4 + data[3], size - 4 - data[3]);

    // What the program must find, and the answers it asks for.
    int d[6] = {0, 0, 0, 0, 0, 0}, n = 6;
    bool descriptor_ok = true;
    std::string answers = "site\ng\n1\n" + std::to_string(itype) + "\n";
    if (has_descriptor) {
        descriptor_ok = read_descriptor(descriptor, d, n);
    } else {
        d[0] = 1 + data[1] % 48, d[1] = 1 + data[2] % 48, d[5] = flags >> 6;
        answers += cfmt("%d\n%d\n%d\n", d[0], d[1], d[5]);
    }
    const bool sides_ok = descriptor_ok && n >= 2 && d[0] >= 1 && d[0] <= max_dem_side && d[1] >= 1 &&
                          d[1] <= max_dem_side;
    const bool pixel_asked = sides_ok && d[5] == 0;
    if (pixel_asked) answers += "7\n";
    // Unit, pixel size 1, the DEM name, 16-bit raw output in metres.
    answers += std::to_string(interv) + "\n1\n0\n1\n0\n0\n";
    const std::size_t cells = sides_ok ? std::size_t(d[0]) * std::size_t(d[1]) : 0;
    const bool well_formed = sides_ok && raw.size() == cells * std::size_t(width);

    FuzzFolder site;
    const std::string stem = site.path() + (itype ? "g_m4" : "g_m2");
    if (!no_dem) write_file(stem + ".raw", raw);
    if (has_descriptor) write_file(stem + ".txt", descriptor);
    const Snapshot before = snapshot(site.path());
    std::istringstream in(answers);
    std::ostringstream out;
    int status = 0;
    {
        Workspace ws(in, out);
        try {
            opening(ws);
        } catch (const RunEnd& e) {
            status = e.status;
            out << e.message;
            if (status != 0) ws.remove_created();  // as the driver does
        }
        const std::string console = out.str();
        // An error may quote the descriptor, whatever it holds: the start of
        // "\0inf21", cut short, reads "?inf".
        if (!may_quote_nan(descriptor)) check_no_nan(console, "the console");
        if (no_dem) {
            FUZZ_CHECK(console.ends_with("\n\tFile " + stem + ".raw unknown\n"), "missing DEM: %s",
                       console.substr(console.size() > 200 ? console.size() - 200 : 0).c_str());
            FUZZ_CHECK(status == (known_fault("D28") ? 0 : 1), "missing DEM: status %d", status);
            FUZZ_CHECK(snapshot(site.path()) == before, "missing DEM: files left:%s",
                       names(snapshot(site.path())).c_str());
            return 0;
        }
        check_status_and_error_form(status, console);
        FUZZ_CHECK(status != 0 || (console.find("Pixel Size (in meters) ?") != std::string::npos) == pixel_asked,
                   "the pixel size was %sasked", pixel_asked ? "not " : "");
        if (status != 0) {
            FUZZ_CHECK(!well_formed, "a well-formed raw DEM was refused: %s",
                       console.substr(console.rfind("\n\tError")).c_str());
            FUZZ_CHECK(console.find(stem) != std::string::npos, "the error names neither file");
        } else {
            FUZZ_CHECK(sides_ok && raw.size() >= cells * std::size_t(width),
                       "a DEM of %zu bytes read as %d x %d", raw.size(), ws.nb_lig, ws.nb_col);
            FUZZ_CHECK(ws.nb_lig == d[0] && ws.nb_col == d[1], "read %d x %d, expected %d x %d", ws.nb_lig,
                       ws.nb_col, d[0], d[1]);
            FUZZ_CHECK(ws.pix_size == 1 && ws.dpix_size == 1.0, "pixel size %d, %f", ws.pix_size, ws.dpix_size);
            const double factor[] = {1.0, 10.0, 100.0, 1000.0};
            int lo = 0, hi = 0;
            for (std::size_t k = 0; k < cells; ++k) {
                const auto* b = reinterpret_cast<const unsigned char*>(raw.data()) + k * std::size_t(width);
                const std::int64_t sample =
                    itype ? std::int32_t(b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24) : b[0] | b[1] << 8;
                const double metres = double(sample) / factor[interv];
                const int i = int(k / std::size_t(d[1])), j = int(k % std::size_t(d[1]));
                FUZZ_CHECK(ws.dtab[i][j] == metres && ws.itab[i][j] == std::int32_t(metres) &&
                               ws.itab3[i][j] == ws.itab[i][j],
                           "cell (%d, %d): sample %lld read as %f, %d", i, j, (long long)sample, ws.dtab[i][j],
                           ws.itab[i][j]);
                if (k == 0 || ws.itab[i][j] < lo) lo = ws.itab[i][j];
                if (k == 0 || ws.itab[i][j] > hi) hi = ws.itab[i][j];
            }
            FUZZ_CHECK(ws.mind == lo && ws.maxd == hi, "range %d..%d, cells %d..%d", ws.mind, ws.maxd, lo, hi);
        }
    }
    if (status != 0)
        FUZZ_CHECK(snapshot(site.path()) == before, "after the error the folder holds:%s (before:%s)",
                   names(snapshot(site.path())).c_str(), names(before).c_str());
    else if (has_descriptor)
        FUZZ_CHECK(read_file(stem + ".txt") == descriptor, "the descriptor was changed");
    FUZZ_CHECK(no_dem || read_file(stem + ".raw") == raw, "the raw DEM was changed");
    return 0;
}
