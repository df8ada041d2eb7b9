// The PNG pictures: colour ramp, axis ticks, encoding, and what a run draws.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

#include "pictures.hpp"
#include "products.hpp"
#include "run.hpp"
#include "run_support.hpp"

namespace {

using Rgb = std::array<std::uint8_t, 3>;

// Decodes a PNG into 8-bit grey (channels 1), grey and alpha (2), RGB (3) or
// RGBA (4) pixels.
Image decode_png(const std::string& bytes, int channels)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    Image im;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return im;
    static const png_uint_32 formats[] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
    png.format = formats[channels - 1];
    im.width = int(png.width);
    im.height = int(png.height);
    im.channels = channels;
    im.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, im.pixels.data(), 0, nullptr)) return Image();
    return im;
}

Rgb pixel(const Image& im, int x, int y)
{
    const std::uint8_t* p = &im.pixels[(std::size_t(y) * std::size_t(im.width) + std::size_t(x)) * 3];
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(Pictures, ViridisFollowsItsControlValues)
{
    EXPECT_EQ(viridis(0), (Rgb{68, 1, 84}));       // 0.267004, 0.004874, 0.329415
    EXPECT_EQ(viridis(1), (Rgb{253, 231, 37}));    // 0.993248, 0.906157, 0.143936
    EXPECT_EQ(viridis(-3), viridis(0));
    EXPECT_EQ(viridis(7), viridis(1));
    // Half-way between the control values 127 and 128 (0.128729, 0.563265,
    // 0.551229 and 0.127568, 0.566949, 0.550556).
    EXPECT_EQ(viridis(127.5 / 255), (Rgb{33, 144, 140}));
    // Perceptually ordered: green grows all along the ramp.
    for (int k = 1; k <= 100; ++k) EXPECT_GE(viridis(k / 100.0)[1], viridis((k - 1) / 100.0)[1]) << k;
}

TEST(Pictures, AxisTicksAreRoundAndLabelledWithTheDecimalsTheyNeed)
{
    EXPECT_EQ(nice_ticks(0, 42.3, 5), (std::vector<double>{0, 10, 20, 30, 40}));
    EXPECT_EQ(nice_ticks(110, 195, 6), (std::vector<double>{110, 120, 130, 140, 150, 160, 170, 180, 190}));
    const std::vector<double> small = nice_ticks(0, 0.8, 4);
    ASSERT_EQ(small.size(), 5u);  // 0.8 itself, despite rounding
    EXPECT_EQ(tick_label(small[3], small[1] - small[0]), "0.6");
    EXPECT_EQ(tick_label(0.05, 0.05), "0.05");
    EXPECT_EQ(tick_label(250000, 50000), "250000");
    EXPECT_EQ(nice_ticks(3, 3, 5), (std::vector<double>{3}));
}

TEST(Pictures, ErosionShowsThicknessInColourOverTheGreyShading)
{
    TestWorkspace t;
    Workspace& ws = t.ws;
    allocate_all(ws, 6, 8);
    // Flat ground (the mean grey) under the eroded cells: their colour is the
    // ramp's own.
    ws.tab_shad1.fill(100);
    ws.tab_shad1[5][7] = 30;
    ws.tab_shad1[5][6] = 170;
    ws.dtab_eros[2][3] = 12.5;
    ws.dtab_eros[2][4] = 0.2;
    ws.dtab_eros[4][1] = 12.5;
    ws.tab_shad1[4][1] = 40;   // in the shade
    ws.dtab_eros[4][2] = 12.5;
    ws.tab_shad1[4][2] = 160;  // lit
    const int z = picture_zoom(ws);
    EXPECT_EQ(z, 8);
    const Image im = erosion_picture(ws);
    ASSERT_EQ(im.channels, 3);
    EXPECT_GT(im.width, 8 * z);
    // Cell (i, j) is the square of pixels from (j z, i z).
    EXPECT_EQ(pixel(im, 3 * z, 2 * z), viridis(1));           // the thickest cell
    EXPECT_EQ(pixel(im, 4 * z + z - 1, 2 * z + z - 1), viridis(0.2 / 12.5));
    EXPECT_EQ(pixel(im, 0, 0), (Rgb{100, 100, 100}));         // no erosion: grey shading only
    EXPECT_EQ(pixel(im, 7 * z, 5 * z), (Rgb{30, 30, 30}));
    // The relief shows through the colour: darker in the shade, lighter where lit.
    const Rgb top = viridis(1), shaded = pixel(im, 1 * z, 4 * z), lit = pixel(im, 2 * z, 4 * z);
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_LT(shaded[c], top[c]) << c;
        EXPECT_GE(lit[c], top[c]) << c;
    }
    EXPECT_GT(lit[2], top[2]);

    // The legend bar right of the map runs from the thinnest colour at the
    // bottom to the thickest at the top.
    int bar_x = -1;
    for (int x = 8 * z; x < im.width && bar_x < 0; ++x)
        if (pixel(im, x, im.height / 2) != Rgb{255, 255, 255}) bar_x = x + 2;
    ASSERT_GE(bar_x, 0);
    std::vector<Rgb> bar;
    for (int y = im.height - 1; y >= 0; --y) {
        const Rgb c = pixel(im, bar_x, y);
        if (c != Rgb{255, 255, 255}) bar.push_back(c);
    }
    ASSERT_GT(bar.size(), 50u);
    EXPECT_LE(bar.front()[1], viridis(0.02)[1]);
    EXPECT_GE(bar.back()[1], viridis(0.98)[1]);
    for (std::size_t k = 1; k < bar.size(); ++k) EXPECT_GE(bar[k][1], bar[k - 1][1]) << k;
}

TEST(Pictures, RunDrawsTheGreyImagesCellForCell)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    TestWorkspace t("site maunga_whau 0 10 0 1 0 0 110 0 27 29 0 0 4 1\n");
    ASSERT_EQ(run(t.ws), 0) << t.console();

    const int z = picture_zoom(t.ws);
    for (const char* name : {"maunga_whau_rec1_shad", "maunga_whau_rec1_shaderos"}) {
        SCOPED_TRACE(name);
        const Image im = decode_png(read_file(site + name + ".png"), 1);
        const std::string raw = read_file(site + name + ".raw");
        ASSERT_EQ(im.width, 87 * z);
        ASSERT_EQ(im.height, 61 * z);
        ASSERT_EQ(raw.size(), 87u * 61u);
        bool same = true;
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x)
                same &= im.pixels[std::size_t(y * im.width + x)] == std::uint8_t(raw[std::size_t(y / z * 87 + x / z)]);
        EXPECT_TRUE(same);
    }
    const Image erosion = decode_png(read_file(site + "maunga_whau_erosion.png"), 3);
    EXPECT_GT(erosion.width, 87 * z);
    EXPECT_GE(erosion.height, 61 * z);
}

// Cells without data are transparent white in the three pictures; the others
// keep their grey or colour, opaque.
TEST(Pictures, CellsWithoutDataAreTransparent)
{
    TempRoot root;
    const std::string site = maunga_whau_site(root);
    clip_maunga_whau(site);
    TestWorkspace t("site maunga_whau 0 10 0 1 0 0 110 0 27 29 0 0 4 1\n");
    ASSERT_EQ(run(t.ws), 0) << t.console();
    const int z = picture_zoom(t.ws);
    const Image shaded = decode_png(read_file(site + "maunga_whau_rec1_shad.png"), 2);
    const std::string raw = read_file(site + "maunga_whau_rec1_shad.raw");
    ASSERT_EQ(shaded.width, 87 * z);
    auto grey_alpha = [&](int i, int j) {
        const std::uint8_t* p = &shaded.pixels[(std::size_t(i * z) * std::size_t(shaded.width) + std::size_t(j * z)) * 2];
        return std::pair<int, int>(p[0], p[1]);
    };
    EXPECT_EQ(grey_alpha(55, 40), (std::pair<int, int>(255, 0)));
    EXPECT_EQ(grey_alpha(10, 3), (std::pair<int, int>(255, 0)));
    EXPECT_EQ(grey_alpha(27, 29), (std::pair<int, int>(std::uint8_t(raw[27 * 87 + 29]), 255)));

    const Image erosion = decode_png(read_file(site + "maunga_whau_erosion.png"), 4);
    auto alpha = [&](int x, int y) { return erosion.pixels[(std::size_t(y) * std::size_t(erosion.width) + std::size_t(x)) * 4 + 3]; };
    EXPECT_EQ(alpha(40 * z, 55 * z), 0);
    EXPECT_EQ(alpha(29 * z, 27 * z), 255);
    EXPECT_EQ(alpha(erosion.width - 1, 55 * z), 255);  // the legend stays opaque
}
