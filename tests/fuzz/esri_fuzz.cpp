// The ESRI grid reader on any text.  It either reads the grid the text
// describes, value for value, or ends with one error line naming the file; a
// well-formed grid is never refused, and the file is never changed.
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "fuzz_support.hpp"
#include "input.hpp"
#include "workspace.hpp"

namespace {

// A number as "%lf" reads it, wholly, and not nan.
bool number(const std::string& t, double& v)
{
    char* end = nullptr;
    v = std::strtod(t.c_str(), &end);
    return !t.empty() && end == t.c_str() + t.size() && !std::isnan(v);
}

bool plain_count(const std::string& t, int& v)
{
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    v = std::atoi(t.c_str());
    return v >= 1 && v <= max_dem_side;
}

std::string lower(std::string s)
{
    for (char& c : s) c = char(std::tolower((unsigned char)c));
    return s;
}

// The offset just past token k of the text.
std::size_t end_of_token(const std::string& text, std::size_t k)
{
    std::size_t p = 0;
    for (std::size_t seen = 0;; ++seen) {
        p = text.find_first_not_of(" \t\n\v\f\r", p);
        p = text.find_first_of(" \t\n\v\f\r", p);
        if (seen == k || p == std::string::npos) return p == std::string::npos ? text.size() : p;
    }
}

// What a reader that knows the format reads: keywords by name, in any order,
// nodata_value optional; then exactly ncols x nrows samples.
struct Oracle {
    std::vector<std::string> tokens;
    bool understood = false;        // known keywords, none missing or repeated, values readable
    bool missing_or_repeated = false;
    bool usual_order = false;       // ncols nrows x y cellsize [nodata_value]
    bool well_formed = false;       // understood, and every sample fits: the reader must accept
    int ncols = 0, nrows = 0;
    double x = 0, y = 0, cell = 0;
    std::size_t first = 0;          // index of the first sample
};

Oracle read_oracle(const std::string& text)
{
    Oracle o;
    o.tokens = split_tokens(text);
    const auto& t = o.tokens;
    static const char* const keys[] = {"ncols", "nrows", "xll", "yll", "cellsize", "nodata_value"};
    int seen[6] = {};
    bool unknown = false, bad_value = false;
    std::size_t p = 0;
    double v;
    for (int pair = 0; pair < 6 && p < t.size() && !number(t[p], v); ++pair, p += 2) {
        std::string k = lower(t[p]);
        if (k == "xllcorner" || k == "xllcenter" || k == "yllcorner" || k == "yllcenter") k = k.substr(0, 3);
        int which = -1;
        for (int w = 0; w < 6; ++w)
            if (k == keys[w]) which = w;
        if (which < 0) { unknown = true; continue; }
        ++seen[which];
        if (p + 1 >= t.size()) { bad_value = true; break; }
        const std::string& val = t[p + 1];
        switch (which) {
        case 0: bad_value |= !plain_count(val, o.ncols); break;
        case 1: bad_value |= !plain_count(val, o.nrows); break;
        case 2: bad_value |= !number(val, o.x) || !std::isfinite(o.x); break;
        case 3: bad_value |= !number(val, o.y) || !std::isfinite(o.y); break;
        case 4: bad_value |= !number(val, o.cell) || !(o.cell > 0 && o.cell < 1e6); break;
        case 5: bad_value |= !number(val, v); break;
        }
    }
    for (int w = 0; w < 5; ++w) o.missing_or_repeated |= seen[w] != 1;
    o.missing_or_repeated |= seen[5] > 1;
    o.understood = !unknown && !bad_value && !o.missing_or_repeated;
    o.first = p;
    if (!o.understood) return o;
    // The corner given by its cell's centre.
    for (std::size_t q = 0; q < o.first; q += 2) {
        if (lower(t[q]) == "xllcenter") o.x -= o.cell / 2;
        if (lower(t[q]) == "yllcenter") o.y -= o.cell / 2;
    }
    o.usual_order = t.size() >= 10 && lower(t[0]) == "ncols" && lower(t[2]) == "nrows" &&
                    lower(t[4]).substr(0, 3) == "xll" && lower(t[6]).substr(0, 3) == "yll" &&
                    lower(t[8]) == "cellsize";
    const std::size_t n = std::size_t(o.ncols) * std::size_t(o.nrows);
    if (t.size() - o.first != n) return o;
    for (std::size_t k = o.first; k < t.size(); ++k)
        if (!number(t[k], v) || !(v > -2147483649.0 && v < 2147483648.0)) return o;
    // The body must give two bytes a sample: one spare byte keeps a grid whose
    // last value ends the file without a line break out of the question.
    o.well_formed = text.size() - end_of_token(text, o.first - 1) >= 2 * n + 1;
    return o;
}

// The number of cells declared by the header in the usual positions, as a
// reader that takes the values by position finds them.
double positional_cells(const std::vector<std::string>& t)
{
    if (t.size() < 4) return 0;
    return std::fabs(std::atof(t[1].c_str())) * std::fabs(std::atof(t[3].c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Oracle o = read_oracle(text);
    // Until the grid size is checked against the file before allocation, a
    // header that declares a huge grid ends in an allocation that libFuzzer
    // takes for a memory exhaustion.
    if (known_fault("D32") &&
        (positional_cells(o.tokens) > 1e6 || double(o.ncols) * double(o.nrows) > 1e6))
        return 0;

    FuzzFolder site;
    std::istringstream in;
    std::ostringstream out;
    Workspace ws(in, out);
    ws.nomim1 = site.path() + "g.asc";
    write_file(ws.nomim1, text);
    int status = 0;
    std::string message;
    // The samples are read a chunk at a time: small chunks, chosen by the
    // input, put tokens across chunk ends.
    set_esri_chunk_bytes(size % 3 == 0 ? 0 : 1 + size % 29);
    try {
        ascii_lecture(ws);
    } catch (const RunEnd& e) {
        status = e.status;
        message = e.message;
    }
    FUZZ_CHECK(read_file(ws.nomim1) == text, "the reader changed its input");
    FUZZ_CHECK(snapshot(site.path()).size() == 1, "the reader left files:%s", names(snapshot(site.path())).c_str());
    // An error message quotes the token at fault, which may read "nan".
    if (!may_quote_nan(text)) check_no_nan(out.str() + message, "the console");

    // Until keywords are read by name, only a header in the usual order is
    // read as it should.
    const bool judged = o.understood && (o.usual_order || !known_fault("D31"));
    if (status != 0) {
        check_status_and_error_form(status, message);
        FUZZ_CHECK(message.find(ws.nomim1) != std::string::npos, "the error does not name the file: %s",
                   message.c_str());
        FUZZ_CHECK(!(judged && o.well_formed), "a well-formed grid was refused: %s", message.c_str());
        return 0;
    }
    FUZZ_CHECK(known_fault("D31") || !o.missing_or_repeated,
               "a header with a missing or repeated keyword was accepted");
    FUZZ_CHECK(ws.nb_lig >= 1 && ws.nb_lig <= max_dem_side && ws.nb_col >= 1 && ws.nb_col <= max_dem_side,
               "%d lines, %d columns accepted", ws.nb_lig, ws.nb_col);
    FUZZ_CHECK(std::isfinite(ws.X_min) && std::isfinite(ws.Y_min) && std::isfinite(ws.dpix_size),
               "corner or cell size not finite");
    FUZZ_CHECK(ws.pix_size == int(ws.dpix_size) && ws.dsizepix == ws.dpix_size, "pixel size %d from %f",
               ws.pix_size, ws.dpix_size);
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j) {
            const double d = ws.dtab[i][j];
            // A cell without data keeps the nodata value, which may lie beyond
            // 32 bits, and 0 in whole metres until the cells are marked.
            if (ws.nodata_declared && d == ws.nodata_value) {
                FUZZ_CHECK(ws.itab[i][j] == 0 && ws.itab3[i][j] == 0, "cell without data (%d, %d) became %d and %d",
                           i, j, ws.itab[i][j], ws.itab3[i][j]);
                continue;
            }
            FUZZ_CHECK(d > -2147483649.0 && d < 2147483648.0, "sample (%d, %d) = %f accepted", i, j, d);
            FUZZ_CHECK(ws.itab[i][j] == std::int32_t(d) && ws.itab3[i][j] == ws.itab[i][j],
                       "sample (%d, %d): %f became %d and %d", i, j, d, ws.itab[i][j], ws.itab3[i][j]);
        }
    if (!judged) return 0;
    FUZZ_CHECK(ws.nb_col == o.ncols && ws.nb_lig == o.nrows, "read %d x %d, the header says %d x %d",
               ws.nb_col, ws.nb_lig, o.ncols, o.nrows);
    FUZZ_CHECK(ws.X_min == o.x && ws.Y_min == o.y && ws.dpix_size == o.cell,
               "corner (%f, %f) cell %f read as (%f, %f) cell %f", o.x, o.y, o.cell, ws.X_min, ws.Y_min,
               ws.dpix_size);
    FUZZ_CHECK(o.tokens.size() - o.first >= std::size_t(ws.nb_lig) * std::size_t(ws.nb_col),
               "more samples read than the file holds");
    for (int i = 0; i < ws.nb_lig; ++i)
        for (int j = 0; j < ws.nb_col; ++j) {
            const std::string& tok = o.tokens[o.first + std::size_t(i) * std::size_t(ws.nb_col) + std::size_t(j)];
            double v;
            FUZZ_CHECK(number(tok, v) && v == ws.dtab[i][j], "sample (%d, %d) \"%s\" read as %.17g", i, j,
                       tok.c_str(), ws.dtab[i][j]);
        }
    return 0;
}
