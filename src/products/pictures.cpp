#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstring>
#include <string>

#include "nodata.hpp"
#include "parallel.hpp"
#include "pictures.hpp"
#include "products.hpp"
#include "run_end.hpp"
#include "workspace.hpp"

namespace {

// viridis, by Stéfan van der Walt, Nathaniel Smith and Eric Firing for
// matplotlib, dedicated to the public domain (CC0).  These are its 256
// published control values (matplotlib's _viridis_data), red, green, blue.
const double viridis_table[256][3] = {
    {0.267004, 0.004874, 0.329415}, {0.268510, 0.009605, 0.335427}, {0.269944, 0.014625, 0.341379},
    {0.271305, 0.019942, 0.347269}, {0.272594, 0.025563, 0.353093}, {0.273809, 0.031497, 0.358853},
    {0.274952, 0.037752, 0.364543}, {0.276022, 0.044167, 0.370164}, {0.277018, 0.050344, 0.375715},
    {0.277941, 0.056324, 0.381191}, {0.278791, 0.062145, 0.386592}, {0.279566, 0.067836, 0.391917},
    {0.280267, 0.073417, 0.397163}, {0.280894, 0.078907, 0.402329}, {0.281446, 0.084320, 0.407414},
    {0.281924, 0.089666, 0.412415}, {0.282327, 0.094955, 0.417331}, {0.282656, 0.100196, 0.422160},
    {0.282910, 0.105393, 0.426902}, {0.283091, 0.110553, 0.431554}, {0.283197, 0.115680, 0.436115},
    {0.283229, 0.120777, 0.440584}, {0.283187, 0.125848, 0.444960}, {0.283072, 0.130895, 0.449241},
    {0.282884, 0.135920, 0.453427}, {0.282623, 0.140926, 0.457517}, {0.282290, 0.145912, 0.461510},
    {0.281887, 0.150881, 0.465405}, {0.281412, 0.155834, 0.469201}, {0.280868, 0.160771, 0.472899},
    {0.280255, 0.165693, 0.476498}, {0.279574, 0.170599, 0.479997}, {0.278826, 0.175490, 0.483397},
    {0.278012, 0.180367, 0.486697}, {0.277134, 0.185228, 0.489898}, {0.276194, 0.190074, 0.493001},
    {0.275191, 0.194905, 0.496005}, {0.274128, 0.199721, 0.498911}, {0.273006, 0.204520, 0.501721},
    {0.271828, 0.209303, 0.504434}, {0.270595, 0.214069, 0.507052}, {0.269308, 0.218818, 0.509577},
    {0.267968, 0.223549, 0.512008}, {0.266580, 0.228262, 0.514349}, {0.265145, 0.232956, 0.516599},
    {0.263663, 0.237631, 0.518762}, {0.262138, 0.242286, 0.520837}, {0.260571, 0.246922, 0.522828},
    {0.258965, 0.251537, 0.524736}, {0.257322, 0.256130, 0.526563}, {0.255645, 0.260703, 0.528312},
    {0.253935, 0.265254, 0.529983}, {0.252194, 0.269783, 0.531579}, {0.250425, 0.274290, 0.533103},
    {0.248629, 0.278775, 0.534556}, {0.246811, 0.283237, 0.535941}, {0.244972, 0.287675, 0.537260},
    {0.243113, 0.292092, 0.538516}, {0.241237, 0.296485, 0.539709}, {0.239346, 0.300855, 0.540844},
    {0.237441, 0.305202, 0.541921}, {0.235526, 0.309527, 0.542944}, {0.233603, 0.313828, 0.543914},
    {0.231674, 0.318106, 0.544834}, {0.229739, 0.322361, 0.545706}, {0.227802, 0.326594, 0.546532},
    {0.225863, 0.330805, 0.547314}, {0.223925, 0.334994, 0.548053}, {0.221989, 0.339161, 0.548752},
    {0.220057, 0.343307, 0.549413}, {0.218130, 0.347432, 0.550038}, {0.216210, 0.351535, 0.550627},
    {0.214298, 0.355619, 0.551184}, {0.212395, 0.359683, 0.551710}, {0.210503, 0.363727, 0.552206},
    {0.208623, 0.367752, 0.552675}, {0.206756, 0.371758, 0.553117}, {0.204903, 0.375746, 0.553533},
    {0.203063, 0.379716, 0.553925}, {0.201239, 0.383670, 0.554294}, {0.199430, 0.387607, 0.554642},
    {0.197636, 0.391528, 0.554969}, {0.195860, 0.395433, 0.555276}, {0.194100, 0.399323, 0.555565},
    {0.192357, 0.403199, 0.555836}, {0.190631, 0.407061, 0.556089}, {0.188923, 0.410910, 0.556326},
    {0.187231, 0.414746, 0.556547}, {0.185556, 0.418570, 0.556753}, {0.183898, 0.422383, 0.556944},
    {0.182256, 0.426184, 0.557120}, {0.180629, 0.429975, 0.557282}, {0.179019, 0.433756, 0.557430},
    {0.177423, 0.437527, 0.557565}, {0.175841, 0.441290, 0.557685}, {0.174274, 0.445044, 0.557792},
    {0.172719, 0.448791, 0.557885}, {0.171176, 0.452530, 0.557965}, {0.169646, 0.456262, 0.558030},
    {0.168126, 0.459988, 0.558082}, {0.166617, 0.463708, 0.558119}, {0.165117, 0.467423, 0.558141},
    {0.163625, 0.471133, 0.558148}, {0.162142, 0.474838, 0.558140}, {0.160665, 0.478540, 0.558115},
    {0.159194, 0.482237, 0.558073}, {0.157729, 0.485932, 0.558013}, {0.156270, 0.489624, 0.557936},
    {0.154815, 0.493313, 0.557840}, {0.153364, 0.497000, 0.557724}, {0.151918, 0.500685, 0.557587},
    {0.150476, 0.504369, 0.557430}, {0.149039, 0.508051, 0.557250}, {0.147607, 0.511733, 0.557049},
    {0.146180, 0.515413, 0.556823}, {0.144759, 0.519093, 0.556572}, {0.143343, 0.522773, 0.556295},
    {0.141935, 0.526453, 0.555991}, {0.140536, 0.530132, 0.555659}, {0.139147, 0.533812, 0.555298},
    {0.137770, 0.537492, 0.554906}, {0.136408, 0.541173, 0.554483}, {0.135066, 0.544853, 0.554029},
    {0.133743, 0.548535, 0.553541}, {0.132444, 0.552216, 0.553018}, {0.131172, 0.555899, 0.552459},
    {0.129933, 0.559582, 0.551864}, {0.128729, 0.563265, 0.551229}, {0.127568, 0.566949, 0.550556},
    {0.126453, 0.570633, 0.549841}, {0.125394, 0.574318, 0.549086}, {0.124395, 0.578002, 0.548287},
    {0.123463, 0.581687, 0.547445}, {0.122606, 0.585371, 0.546557}, {0.121831, 0.589055, 0.545623},
    {0.121148, 0.592739, 0.544641}, {0.120565, 0.596422, 0.543611}, {0.120092, 0.600104, 0.542530},
    {0.119738, 0.603785, 0.541400}, {0.119512, 0.607464, 0.540218}, {0.119423, 0.611141, 0.538982},
    {0.119483, 0.614817, 0.537692}, {0.119699, 0.618490, 0.536347}, {0.120081, 0.622161, 0.534946},
    {0.120638, 0.625828, 0.533488}, {0.121380, 0.629492, 0.531973}, {0.122312, 0.633153, 0.530398},
    {0.123444, 0.636809, 0.528763}, {0.124780, 0.640461, 0.527068}, {0.126326, 0.644107, 0.525311},
    {0.128087, 0.647749, 0.523491}, {0.130067, 0.651384, 0.521608}, {0.132268, 0.655014, 0.519661},
    {0.134692, 0.658636, 0.517649}, {0.137339, 0.662252, 0.515571}, {0.140210, 0.665859, 0.513427},
    {0.143303, 0.669459, 0.511215}, {0.146616, 0.673050, 0.508936}, {0.150148, 0.676631, 0.506589},
    {0.153894, 0.680203, 0.504172}, {0.157851, 0.683765, 0.501686}, {0.162016, 0.687316, 0.499129},
    {0.166383, 0.690856, 0.496502}, {0.170948, 0.694384, 0.493803}, {0.175707, 0.697900, 0.491033},
    {0.180653, 0.701402, 0.488189}, {0.185783, 0.704891, 0.485273}, {0.191090, 0.708366, 0.482284},
    {0.196571, 0.711827, 0.479221}, {0.202219, 0.715272, 0.476084}, {0.208030, 0.718701, 0.472873},
    {0.214000, 0.722114, 0.469588}, {0.220124, 0.725509, 0.466226}, {0.226397, 0.728888, 0.462789},
    {0.232815, 0.732247, 0.459277}, {0.239374, 0.735588, 0.455688}, {0.246070, 0.738910, 0.452024},
    {0.252899, 0.742211, 0.448284}, {0.259857, 0.745492, 0.444467}, {0.266941, 0.748751, 0.440573},
    {0.274149, 0.751988, 0.436601}, {0.281477, 0.755203, 0.432552}, {0.288921, 0.758394, 0.428426},
    {0.296479, 0.761561, 0.424223}, {0.304148, 0.764704, 0.419943}, {0.311925, 0.767822, 0.415586},
    {0.319809, 0.770914, 0.411152}, {0.327796, 0.773980, 0.406640}, {0.335885, 0.777018, 0.402049},
    {0.344074, 0.780029, 0.397381}, {0.352360, 0.783011, 0.392636}, {0.360741, 0.785964, 0.387814},
    {0.369214, 0.788888, 0.382914}, {0.377779, 0.791781, 0.377939}, {0.386433, 0.794644, 0.372886},
    {0.395174, 0.797475, 0.367757}, {0.404001, 0.800275, 0.362552}, {0.412913, 0.803041, 0.357269},
    {0.421908, 0.805774, 0.351910}, {0.430983, 0.808473, 0.346476}, {0.440137, 0.811138, 0.340967},
    {0.449368, 0.813768, 0.335384}, {0.458674, 0.816363, 0.329727}, {0.468053, 0.818921, 0.323998},
    {0.477504, 0.821444, 0.318195}, {0.487026, 0.823929, 0.312321}, {0.496615, 0.826376, 0.306377},
    {0.506271, 0.828786, 0.300362}, {0.515992, 0.831158, 0.294279}, {0.525776, 0.833491, 0.288127},
    {0.535621, 0.835785, 0.281908}, {0.545524, 0.838039, 0.275626}, {0.555484, 0.840254, 0.269281},
    {0.565498, 0.842430, 0.262877}, {0.575563, 0.844566, 0.256415}, {0.585678, 0.846661, 0.249897},
    {0.595839, 0.848717, 0.243329}, {0.606045, 0.850733, 0.236712}, {0.616293, 0.852709, 0.230052},
    {0.626579, 0.854645, 0.223353}, {0.636902, 0.856542, 0.216620}, {0.647257, 0.858400, 0.209861},
    {0.657642, 0.860219, 0.203082}, {0.668054, 0.861999, 0.196293}, {0.678489, 0.863742, 0.189503},
    {0.688944, 0.865448, 0.182725}, {0.699415, 0.867117, 0.175971}, {0.709898, 0.868751, 0.169257},
    {0.720391, 0.870350, 0.162603}, {0.730889, 0.871916, 0.156029}, {0.741388, 0.873449, 0.149561},
    {0.751884, 0.874951, 0.143228}, {0.762373, 0.876424, 0.137064}, {0.772852, 0.877868, 0.131109},
    {0.783315, 0.879285, 0.125405}, {0.793760, 0.880678, 0.120005}, {0.804182, 0.882046, 0.114965},
    {0.814576, 0.883393, 0.110347}, {0.824940, 0.884720, 0.106217}, {0.835270, 0.886029, 0.102646},
    {0.845561, 0.887322, 0.099702}, {0.855810, 0.888601, 0.097452}, {0.866013, 0.889868, 0.095953},
    {0.876168, 0.891125, 0.095250}, {0.886271, 0.892374, 0.095374}, {0.896320, 0.893616, 0.096335},
    {0.906311, 0.894855, 0.098125}, {0.916242, 0.896091, 0.100717}, {0.926106, 0.897330, 0.104071},
    {0.935904, 0.898570, 0.108131}, {0.945636, 0.899815, 0.112838}, {0.955300, 0.901065, 0.118128},
    {0.964894, 0.902323, 0.123941}, {0.974417, 0.903590, 0.130215}, {0.983868, 0.904867, 0.136897},
    {0.993248, 0.906157, 0.143936},
};

// A 5 x 7 bitmap font for the legend: one byte per row, bit 4 the left column.
struct Glyph {
    char c;
    std::uint8_t rows[7];
};
const Glyph font[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x15, 0x15}},
};
constexpr int glyph_w = 5, glyph_h = 7;

const Glyph* find_glyph(char c)
{
    for (const Glyph& g : font)
        if (g.c == c) return &g;
    return nullptr;
}

struct Canvas {
    Image& im;
    void set(int x, int y, std::array<std::uint8_t, 3> rgb)
    {
        if (x < 0 || y < 0 || x >= im.width || y >= im.height) return;
        std::uint8_t* p = &im.pixels[(std::size_t(y) * std::size_t(im.width) + std::size_t(x)) * 3];
        p[0] = rgb[0];
        p[1] = rgb[1];
        p[2] = rgb[2];
    }
    void rect(int x, int y, int w, int h, std::array<std::uint8_t, 3> rgb)
    {
        for (int b = y; b < y + h; ++b)
            for (int a = x; a < x + w; ++a) set(a, b, rgb);
    }
    // Text whose top-left corner is (x, y), each font dot `dot` pixels wide.
    void text(int x, int y, const std::string& s, int dot)
    {
        for (char c : s) {
            if (const Glyph* g = find_glyph(c))
                for (int r = 0; r < glyph_h; ++r)
                    for (int k = 0; k < glyph_w; ++k)
                        if (g->rows[r] & (0x10 >> k)) rect(x + k * dot, y + r * dot, dot, dot, {0, 0, 0});
            x += (glyph_w + 1) * dot;
        }
    }
};

int text_width(const std::string& s, int dot) { return int(s.size()) * (glyph_w + 1) * dot - dot; }

// The size of the scale bar's dots and the height of its strip under a
// picture `width` pixels wide.
int scale_bar_dot(int width) { return std::clamp(width / 200, 1, 4); }
int scale_bar_strip(int width) { return glyph_h * scale_bar_dot(width) + 8 * scale_bar_dot(width); }

// Room for a picture's pixels and, when it takes one, its scale bar's strip:
// the strip is then added without moving the picture.
void reserve_pixels(Image& im, bool scale_bar)
{
    const int height = im.height + (scale_bar ? scale_bar_strip(im.width) : 0);
    im.pixels.reserve(std::size_t(im.width) * std::size_t(height) * std::size_t(im.channels));
}

// Cells without data become transparent white (white for the viewers that
// show no transparency: the grey scale stops at 254); the rest stays opaque.
// A DEM without such cells keeps its pictures without an alpha channel.
Image without_data_transparent(const Workspace& ws, const PictureWindow& w, Image im, int zoom)
{
    if (ws.nodata_cells == 0) return im;
    const int c = im.channels;
    Image out;
    out.width = im.width;
    out.height = im.height;
    out.channels = c + 1;
    reserve_pixels(out, w.scale_bar);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height) * std::size_t(out.channels));
    const std::uint8_t* src = im.pixels.data();
    std::uint8_t* dst = out.pixels.data();
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x, src += c, dst += c + 1) {
            const bool empty = y / zoom < w.lines && x / zoom < w.columns &&
                               without_data(ws, w.i0 + y / zoom, w.j0 + x / zoom);
            for (int k = 0; k < c; ++k) dst[k] = empty ? 255 : src[k];
            dst[c] = empty ? 0 : 255;
        }
    return out;
}

void write_file(Workspace& ws, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    OutFile f = ws.create(name, true);
    f.write(bytes.data(), bytes.size());
    f.close();
}

// A white strip under the picture with a black bar of a round number of
// metres, about a quarter of the picture's width, and its length.
Image with_scale_bar(const Workspace& ws, Image im, int zoom)
{
    const double metres_per_pixel = ws.dsizepix / zoom;
    const int dot = scale_bar_dot(im.width);
    const double wanted = im.width / 4.0 * metres_per_pixel;
    const double magnitude = std::pow(10.0, std::floor(std::log10(wanted)));
    const double r = wanted / magnitude;
    const double metres = (r >= 5 ? 5 : r >= 2 ? 2 : 1) * magnitude;
    const int bar = std::max(1, int(std::lround(metres / metres_per_pixel)));
    const int strip = scale_bar_strip(im.width);
    const int c = im.channels;
    const int picture_h = im.height;
    Image out = std::move(im);
    out.height = picture_h + strip;
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height) * std::size_t(c), 255);
    auto black = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= out.width || y >= out.height) return;
        std::uint8_t* p = &out.pixels[(std::size_t(y) * std::size_t(out.width) + std::size_t(x)) * std::size_t(c)];
        for (int k = 0; k < c; ++k) p[k] = k == 1 && c == 2 ? 255 : k == 3 ? 255 : 0;
    };
    const int x0 = 4 * dot, y0 = picture_h + 4 * dot;
    for (int y = y0 + dot; y < y0 + 3 * dot; ++y)
        for (int x = x0; x < x0 + bar; ++x) black(x, y);
    const std::string label = tick_label(metres, metres) + " m";
    int x = x0 + bar + 3 * dot;
    for (char ch : label) {
        if (const Glyph* g = find_glyph(ch))
            for (int row = 0; row < glyph_h; ++row)
                for (int k = 0; k < glyph_w; ++k)
                    if (g->rows[row] & (0x10 >> k))
                        for (int a = 0; a < dot; ++a)
                            for (int b = 0; b < dot; ++b) black(x + k * dot + a, y0 - dot + row * dot + b);
        x += (glyph_w + 1) * dot;
    }
    return out;
}

Image grey_image(const Workspace& ws, const nrutil::UcGrid& g, int zoom)
{
    const PictureWindow w = picture_window(ws);
    Image im;
    im.width = w.columns * zoom;
    im.height = w.lines * zoom;
    im.channels = 1;
    reserve_pixels(im, w.scale_bar && ws.nodata_cells == 0);
    im.pixels.resize(std::size_t(im.width) * std::size_t(im.height));
    std::uint8_t* out = im.pixels.data();
    for (int i = w.i0; i < w.i0 + w.lines; ++i) {
        const std::uint8_t* row = g[i] + w.j0;
        std::uint8_t* first = out;
        for (int j = 0; j < w.columns; ++j, out += zoom) std::memset(out, row[j], std::size_t(zoom));
        for (int r = 1; r < zoom; ++r, out += im.width) std::memcpy(out, first, std::size_t(im.width));
    }
    im = without_data_transparent(ws, w, std::move(im), zoom);
    return w.scale_bar ? with_scale_bar(ws, std::move(im), zoom) : im;
}

}  // namespace

PictureWindow picture_window(const Workspace& ws)
{
    PictureWindow w{0, 0, ws.nb_lig, ws.nb_col, false};
    if (!ws.crop_pictures || !ws.tab) return w;
    // Each line's first and last cell of the edifice, looked for from both
    // ends: the cells between them are not read.
    int i0 = ws.nb_lig, i1 = -1, j0 = ws.nb_col, j1 = -1;
    const std::size_t nc = std::size_t(ws.nb_col);
    for (int i = 0; i < ws.nb_lig; ++i) {
        const std::uint8_t* row = ws.tab[i];
        const void* hit = std::memchr(row, 1, nc);
        if (!hit) continue;
        const int first = int(static_cast<const std::uint8_t*>(hit) - row);
        int last = int(nc) - 1;
        while (row[last] != 1) --last;
        i0 = std::min(i0, i);
        i1 = i;
        j0 = std::min(j0, first);
        j1 = std::max(j1, last);
    }
    if (i1 < 0) return w;
    const int mi = std::max(10, (i1 - i0 + 1) / 10), mj = std::max(10, (j1 - j0 + 1) / 10);
    w.i0 = std::max(0, i0 - mi);
    w.j0 = std::max(0, j0 - mj);
    w.lines = std::min(ws.nb_lig - 1, i1 + mi) - w.i0 + 1;
    w.columns = std::min(ws.nb_col - 1, j1 + mj) - w.j0 + 1;
    w.scale_bar = true;
    return w;
}

int picture_zoom(const Workspace& ws)
{
    const PictureWindow w = picture_window(ws);
    return std::clamp(512 / std::max({w.lines, w.columns, 1}), 1, 8);
}

std::array<std::uint8_t, 3> viridis(double t)
{
    t = std::clamp(std::isnan(t) ? 0.0 : t, 0.0, 1.0) * 255;
    const int k = std::min(int(t), 254);
    const double f = t - k;
    std::array<std::uint8_t, 3> rgb;
    for (int c = 0; c < 3; ++c) {
        const double v = viridis_table[k][c] * (1 - f) + viridis_table[k + 1][c] * f;
        rgb[std::size_t(c)] = std::uint8_t(std::lround(v * 255));
    }
    return rgb;
}

// Fast compression: a picture of a large DEM is tens of megabytes of pixels,
// and a quick look need not be the smallest file.
std::vector<std::uint8_t> encode_png(const Image& image)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(image.pixels.size() / 2);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        fail("cannot encode a picture (not enough memory)");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fail("cannot encode a picture");
    }
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    static const int colour_types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                       PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8,
                 colour_types[std::clamp(image.channels, 1, 4) - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const std::size_t stride = std::size_t(image.width) * std::size_t(image.channels);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.pixels.data() + std::size_t(y) * stride));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

Image erosion_picture(const Workspace& ws)
{
    const PictureWindow w = picture_window(ws);
    const int nl = w.lines, nc = w.columns;
    const int zoom = picture_zoom(ws);
    const int map_w = nc * zoom, map_h = nl * zoom;
    const int dot = std::clamp(map_h / 150, 1, 8);  // legend text grows with the picture
    const int margin = 6 * dot, bar_w = 12 * dot, tick_len = 3 * dot;

    double lowest = 0, highest = 0;
    extremes_with_data(ws, ws.dtab_eros, lowest, highest);
    const double top = std::max(0.0, highest);
    const double scale_top = top > 0 ? top : 1;  // a bar to read even without erosion
    const std::vector<double> ticks = nice_ticks(0, scale_top, 5);
    const double spacing = ticks.size() > 1 ? ticks[1] - ticks[0] : scale_top;
    int label_w = 0;
    for (double v : ticks) label_w = std::max(label_w, text_width(tick_label(v, spacing), dot));

    const int legend_w = margin * 2 + bar_w + tick_len + dot * 2 + label_w + margin;
    const int legend_min_h = 120 * dot;
    Image im;
    im.channels = 3;
    im.width = map_w + legend_w;
    im.height = std::max(map_h, legend_min_h);
    reserve_pixels(im, w.scale_bar && ws.nodata_cells == 0);
    im.pixels.assign(std::size_t(im.width) * std::size_t(im.height) * 3, 255);
    Canvas cv{im};

    // The thickness colour carries the relief of the rebuilt cone: slopes
    // lit more than flat ground lighten it, slopes in the shade darken it,
    // so that the relief shows at both ends of the ramp.  Flat ground is taken
    // as the mean grey of the shading.
    // Whole-number sums, the same in any order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> grey_sums(static_cast<std::size_t>(nl));
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            std::uint64_t sum = 0, count = 0;
            for (int j = 0; j < nc; ++j)
                if (!without_data(ws, w.i0 + i, w.j0 + j)) {
                    sum += ws.tab_shad1[w.i0 + i][w.j0 + j];
                    ++count;
                }
            grey_sums[std::size_t(i)] = {sum, count};
        }
    });
    std::uint64_t grey_sum = 0, cells = 0;
    for (const auto& [sum, count] : grey_sums) {
        grey_sum += sum;
        cells += count;
    }
    double neutral = double(grey_sum);
    neutral = std::clamp(cells ? neutral / double(cells) : 127.0, 1.0, 253.0);
    parallel_rows(0, nl, std::size_t(nc) * std::size_t(zoom) * std::size_t(zoom), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 0; j < nc; ++j) {
                const std::uint8_t g = ws.tab_shad1[w.i0 + i][w.j0 + j];
                std::array<std::uint8_t, 3> rgb = {g, g, g};
                const double e = ws.dtab_eros[w.i0 + i][w.j0 + j];
                if (e > 0) {
                    const double light = g >= neutral ? (g - neutral) / (254 - neutral) : (g - neutral) / neutral;
                    rgb = viridis(e / scale_top);
                    for (std::uint8_t& c : rgb)
                        c = std::uint8_t(
                            std::lround(light >= 0 ? c + (255 - c) * light * 0.5 : c * (1 + light * 0.6)));
                }
                cv.rect(j * zoom, i * zoom, zoom, zoom, rgb);
            }
    });

    // Legend: the unit above a vertical bar, thickness growing upwards.
    const int x0 = map_w + margin;
    const int unit_y = margin;
    const int bar_top = unit_y + glyph_h * dot + margin + glyph_h * dot / 2;
    const int bar_bottom = im.height - margin - glyph_h * dot / 2;
    const int bar_h = bar_bottom - bar_top;
    cv.text(x0 + bar_w + tick_len + dot * 2, unit_y, "m", dot);
    for (int y = 0; y < bar_h; ++y)
        cv.rect(x0, bar_bottom - 1 - y, bar_w, 1, viridis((y + 0.5) / bar_h));
    for (double v : ticks) {
        const int y = bar_bottom - 1 - int(std::lround(v / scale_top * (bar_h - 1)));
        cv.rect(x0 + bar_w, y - dot / 2, tick_len, dot, {0, 0, 0});
        cv.text(x0 + bar_w + tick_len + dot * 2, y - glyph_h * dot / 2, tick_label(v, spacing), dot);
    }
    im = without_data_transparent(ws, w, std::move(im), zoom);
    return w.scale_bar ? with_scale_bar(ws, std::move(im), zoom) : im;
}

namespace {

// Any failure to encode reads the same.
template <class Make>
std::vector<std::uint8_t> encoded(Make make)
{
    try {
        return encode_png(make());
    } catch (...) {
    }
    fail("cannot encode the pictures (not enough memory)");
}

}  // namespace

void encode_erosion_picture(const Workspace& ws, EncodedPictures& pictures)
{
    pictures.erosion = encoded([&] { return erosion_picture(ws); });
}

void encode_shaded_picture(const Workspace& ws, EncodedPictures& pictures)
{
    pictures.shaded = encoded([&] { return grey_image(ws, ws.tab_shad1, picture_zoom(ws)); });
}

void encode_shaded_erosion_picture(const Workspace& ws, EncodedPictures& pictures)
{
    pictures.shaded_erosion = encoded([&] { return grey_image(ws, ws.tab_shaderos1, picture_zoom(ws)); });
}

// The pictures not encoded yet are encoded side by side (the colour one, three
// times a grey one, first), then all are written in turn.
void write_pictures(Workspace& ws, EncodedPictures pictures)
{
    const std::string base = output_prefix(ws);
    const int zoom = picture_zoom(ws);
    std::vector<std::function<void()>> jobs;
    if (pictures.erosion.empty()) jobs.push_back([&] { encode_erosion_picture(ws, pictures); });
    if (pictures.shaded.empty())
        jobs.push_back([&] { pictures.shaded = encoded([&] { return grey_image(ws, ws.tab_shad1, zoom); }); });
    if (pictures.shaded_erosion.empty())
        jobs.push_back(
            [&] { pictures.shaded_erosion = encoded([&] { return grey_image(ws, ws.tab_shaderos1, zoom); }); });
    parallel_tasks(int(jobs.size()), [&](int t) { jobs[std::size_t(t)](); });
    write_file(ws, base + "_rec1_shad.png", pictures.shaded);
    write_file(ws, base + "_rec1_shaderos.png", pictures.shaded_erosion);
    write_file(ws, base + "_erosion.png", pictures.erosion);
}
