#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>
#include <strings.h>

#include "parallel.hpp"
#include "input.hpp"
#include "token_reader.hpp"
#include "workspace.hpp"

namespace {

struct AsciiFile {
    std::FILE* f;
    ~AsciiFile() { std::fclose(f); }
};

// The header keywords, read by name in any case and any order, as GIS
// software reads them.  The corner may be given by its cell's centre.
enum Key { ncols, nrows, xll, yll, cellsize, nodata, key_count };
const char* const key_names[key_count] = {"ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "nodata_value"};

// Case-insensitive, the whole word: a keyword with a stray byte (even a NUL)
// after it is no keyword.
bool same_word(std::string_view word, const char* key)
{
    return word.size() == std::strlen(key) && strncasecmp(word.data(), key, word.size()) == 0;
}

int key_of(std::string_view word, bool& centre)
{
    centre = false;
    for (int k = 0; k < key_count; ++k)
        if (same_word(word, key_names[k])) return k;
    centre = true;
    if (same_word(word, "xllcenter")) return xll;
    if (same_word(word, "yllcenter")) return yll;
    return -1;
}

int side_value(const std::string& name, const char* key, std::string_view val)
{
    std::optional<int> v = parse_int(std::string(val));
    if (!v || *v <= 0)
        fail(cfmt("%s: %s must be a whole number above 0, not \"%s\"", name.c_str(), key,
                  visible_excerpt(std::string(val)).c_str()));
    if (*v > max_dem_side) fail(cfmt("%s: %s is %d; at most %d can be read", name.c_str(), key, *v, max_dem_side));
    return *v;
}

// The samples, from the first one on.  The file is read a chunk at a time;
// each chunk is cut into pieces at white space, parsed on all threads, and its
// values are placed in scan order, so that the checks and their messages come
// in the order of the file, as one thread reading token after token would
// give them.
std::size_t chunk_bytes = std::size_t(16) << 20;

struct Piece {
    std::vector<double> values;
    std::string_view bad;  // the first token that is not a number, if any
    bool has_bad = false;
};

void parse_piece(const char* b, const char* e, Piece& piece)
{
    piece.values.clear();
    piece.has_bad = false;
    for (;;) {
        while (b < e && is_token_space(*b)) ++b;
        if (b == e) return;
        const char* t = b;
        while (b < e && !is_token_space(*b)) ++b;
        double v;
        if (!parse_sample(std::string_view(t, std::size_t(b - t)), v)) {
            // Nothing after it is read: the run ends there, or before.
            piece.bad = std::string_view(t, std::size_t(b - t));
            piece.has_bad = true;
            return;
        }
        piece.values.push_back(v);
    }
}

void read_samples(Workspace& ws, std::FILE* f)
{
    const std::string& name = ws.nomim1;
    const std::uint64_t samples = std::uint64_t(ws.nb_lig) * std::uint64_t(ws.nb_col);
    const int nc = ws.nb_col;
    std::vector<char> text;
    std::size_t kept = 0;  // bytes of a token cut by the end of the last chunk
    std::uint64_t placed = 0;
    std::vector<Piece> pieces(std::size_t(std::max(1, thread_count())));
    // The progress line comes as a line is begun, even one that then fails.
    int i = 0, j = 0;
    auto reach_next = [&] {
        i = int(placed / std::uint64_t(nc));
        j = int(placed % std::uint64_t(nc));
        if (j == 0 && i > 0 && i % 100 == 0) ws.say("\tline %d                   \r", i);
    };
    auto place = [&](double v) {
        reach_next();
        // A nodata value may lie beyond 32 bits (GDAL writes -3.4e38 for
        // floating-point rasters): such a cell is only marked, never measured.
        if (ws.nodata_declared && v == ws.nodata_value) {
            ws.dtab[i][j] = v;
            ws.itab[i][j] = ws.itab3[i][j] = 0;
        } else {
            if (!(v > -2147483649.0 && v < 2147483648.0))
                fail(cfmt("%s: the sample of line %d, column %d is outside the signed 32-bit range", name.c_str(),
                          i, j));
            ws.dtab[i][j] = v;
            ws.itab[i][j] = ws.itab3[i][j] = std::int32_t(v);
        }
        ++placed;
    };
    bool end_of_file = false;
    while (placed < samples && !end_of_file) {
        text.resize(kept + chunk_bytes);
        const std::size_t got = std::fread(text.data() + kept, 1, chunk_bytes, f);
        if (std::ferror(f)) fail(cfmt("cannot read %s", name.c_str()));
        end_of_file = got < chunk_bytes;
        std::size_t end = kept + got;
        // A token cut by the end of the chunk waits for the next one.
        std::size_t cut = end;
        if (!end_of_file)
            while (cut > 0 && !is_token_space(text[cut - 1])) --cut;
        // Pieces of about equal size, each ending at white space.
        const std::size_t n = cut < std::max<std::size_t>(parallel_threshold(), 1) ? 1 : pieces.size();
        std::vector<std::size_t> bounds{0};
        for (std::size_t k = 1; k < n; ++k) {
            std::size_t b = std::max(bounds.back(), cut * k / n);
            while (b < cut && !is_token_space(text[b])) ++b;
            bounds.push_back(b);
        }
        bounds.push_back(cut);
        parallel_tasks(int(n), [&](int k) {
            parse_piece(text.data() + bounds[std::size_t(k)], text.data() + bounds[std::size_t(k) + 1],
                        pieces[std::size_t(k)]);
        });
        for (std::size_t k = 0; k < n && placed < samples; ++k) {
            const Piece& piece = pieces[k];
            for (std::size_t v = 0; v < piece.values.size() && placed < samples; ++v) place(piece.values[v]);
            if (piece.has_bad && placed < samples) {
                reach_next();
                fail(cfmt("%s: the sample of line %d, column %d is not a number: \"%s\"", name.c_str(), i, j,
                          visible_excerpt(std::string(piece.bad)).c_str()));
            }
        }
        kept = end - cut;
        // A token that runs over a whole chunk is no number: the file holds
        // something else (NUL bytes of a sparse file, a binary raster).
        if (kept > max_token_bytes && placed < samples) {
            reach_next();
            fail(cfmt("%s: the sample of line %d, column %d is not a number: \"%s\"", name.c_str(), i, j,
                      visible_excerpt(std::string(text.data() + cut, max_token_bytes)).c_str()));
        }
        std::memmove(text.data(), text.data() + cut, kept);
    }
    if (placed < samples) {
        reach_next();
        fail(cfmt("%s ends at line %d, column %d: %d lines of %d samples were expected", name.c_str(), i, j,
                  ws.nb_lig, ws.nb_col));
    }
}

}  // namespace

void set_esri_chunk_bytes(std::size_t bytes) { chunk_bytes = bytes ? bytes : std::size_t(16) << 20; }

void ascii_lecture(Workspace& ws)
{
    const std::string& name = ws.nomim1;
    AsciiFile file{std::fopen(name.c_str(), "r")};
    if (!file.f) fail(cfmt("cannot read %s", name.c_str()));
    TokenReader rd(file.f);

    ws.say("\n");
    // Keywords and their values up to the first number in a keyword's place:
    // the first sample (nodata_value may be missing).
    bool seen[key_count] = {};
    double value[key_count] = {};
    bool centre[key_count] = {};
    std::string_view word, val;
    std::uint64_t body_start = 0;
    bool body = false;
    while (rd.next(word)) {
        double v;
        if (word.size() > max_token_bytes) {
            // Too long for a keyword or a number: after a complete header, it
            // stands where the first sample should.
            const bool header_done = seen[ncols] && seen[nrows] && seen[xll] && seen[yll] && seen[cellsize];
            fail(header_done ? cfmt("%s: the sample of line 0, column 0 is not a number: \"%s\"", name.c_str(),
                                    visible_excerpt(std::string(word)).c_str())
                             : cfmt("%s: \"%s\" is not a keyword of an ESRI grid header", name.c_str(),
                                    visible_excerpt(std::string(word)).c_str()));
        }
        if (parse_sample(word, v)) {
            body_start = rd.offset() - word.size();
            rd.push_back(word);
            body = true;
            break;
        }
        bool at_centre = false;
        const int k = key_of(word, at_centre);
        if (k < 0)
            fail(cfmt("%s: \"%s\" is not a keyword of an ESRI grid header", name.c_str(),
                      visible_excerpt(std::string(word)).c_str()));
        const char* key = key_names[k];
        if (seen[k]) fail(cfmt("%s: the header gives %s twice", name.c_str(), key));
        seen[k] = true;
        centre[k] = at_centre;
        if (!rd.next(val)) fail(cfmt("%s: the header ends before the value of %s", name.c_str(), key));
        if (val.size() > max_token_bytes)
            fail(cfmt("%s: the header value of %s is not a number: \"%s\"", name.c_str(), key,
                      visible_excerpt(std::string(val)).c_str()));
        if (k == ncols || k == nrows) {
            value[k] = side_value(name, key, val);
        } else if (!parse_sample(val, value[k]) || (k != nodata && !std::isfinite(value[k]))) {
            fail(cfmt("%s: the header value of %s is not a number: \"%s\"", name.c_str(), key,
                      visible_excerpt(std::string(val)).c_str()));
        }
    }
    for (int k = ncols; k <= cellsize; ++k)
        if (!seen[k]) fail(cfmt("%s: the header has no %s", name.c_str(), key_names[k]));
    ws.nb_col = int(value[ncols]);
    ws.nb_lig = int(value[nrows]);
    ws.dpix_size = value[cellsize];
    if (std::fabs(ws.dpix_size) >= 2147483648.0)
        fail(cfmt("%s: cellsize %f is out of range", name.c_str(), ws.dpix_size));
    ws.dsizepix = ws.dpix_size;
    ws.cellsize = ws.dpix_size;
    ws.X_min = value[xll] - (centre[xll] ? ws.dpix_size / 2 : 0);
    ws.Y_min = value[yll] - (centre[yll] ? ws.dpix_size / 2 : 0);
    // Cells holding the nodata value are cells without data (see parameters1).
    ws.nodata_declared = seen[nodata];
    ws.nodata_value = value[nodata];

    // Before any large allocation: can the file hold the samples at all?  A
    // sample takes a digit and a separator, the last one no separator.
    const std::uint64_t samples = std::uint64_t(ws.nb_lig) * std::uint64_t(ws.nb_col);
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(name, ec);
    const std::uint64_t available = !body || ec || size < body_start ? 0 : size - body_start;
    if (available + 1 < 2 * samples)
        fail(cfmt("%s is too short: %d lines of %d samples need at least %llu bytes after the header, it has %llu",
                  name.c_str(), ws.nb_lig, ws.nb_col, static_cast<unsigned long long>(2 * samples - 1),
                  static_cast<unsigned long long>(available)));

    allocate_grid(ws.itab, "itab (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.itab3, "itab3 (elevations)", ws.nb_col, ws.nb_lig);
    allocate_grid(ws.dtab, "dtab (exact elevations)", ws.nb_col, ws.nb_lig);

    if (std::fseek(file.f, long(body_start), SEEK_SET) != 0) fail(cfmt("cannot read %s", name.c_str()));
    read_samples(ws, file.f);
    ws.pix_size = int(ws.dpix_size);
    ws.say("\n");
}
