// The PNG kinds: header fields as libpng reads them back, stored sample
// values for known reflectances, interlacing, and, read the way unpaprel
// reads (gamma from gAMA or 0.454545, expand, rgb-to-grey, strip 16), the
// same linear picture from every kind.  Beneath them png_file, for the
// colour types and depths only the tests ask it for.
#include "cli.h"
#include "png_file.h"
#include "png_write.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr uint32_t test_width = 41, test_height = 29;

// Row 0 starts with known reflectances; the rest is an asymmetric pattern.
sheet make_test_sheet()
{
    sheet s{};
    EXPECT_TRUE(alloc_sheet(test_width, test_height, &s));
    for (uint32_t y = 0; y < test_height; y++)
        for (uint32_t x = 0; x < test_width; x++)
            s.pixels[y * test_width + x] =
                (uint16_t)((x * 1601u + y * 211u * x + y * 97u) % 65536u);
    const uint16_t known[] = {0, 13107, 32768, 65535, 655};
    for (uint32_t x = 0; x < 5; x++)
        s.pixels[x] = known[x];
    return s;
}

struct png_contents {
    uint32_t width = 0, height = 0;
    int colour_type = -1, bit_depth = -1, interlace = -1, palette_size = 0;
    bool has_gamma = false;
    double gamma = 0;
    std::vector<uint32_t>
        samples; // first channel (or palette index); the decoder's grey in its view
};

// unpaprel's conversions, in its order.
void set_decoder_view(png_structp png, png_infop info, int colour_type, int bit_depth)
{
    double gamma = 0;
    if (!png_get_gAMA(png, info, &gamma))
        gamma = 0.454545;
    png_set_gamma(png, 1.0, gamma);
    if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8)
        png_set_expand(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth == 16)
        png_set_strip_16(png);
    if (colour_type == PNG_COLOR_TYPE_PALETTE)
        png_set_expand(png);
    if (colour_type == PNG_COLOR_TYPE_PALETTE || colour_type == PNG_COLOR_TYPE_RGB)
        png_set_rgb_to_gray(png, 1, -1, -1);
}

// Reads a file written by write_scan; libpng aborts the test on a bad file.
png_contents read_png(const std::string &path, bool decoder_view)
{
    png_contents c;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return c;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    c.width = png_get_image_width(png, info);
    c.height = png_get_image_height(png, info);
    c.colour_type = png_get_color_type(png, info);
    c.bit_depth = png_get_bit_depth(png, info);
    c.interlace = png_get_interlace_type(png, info);
    c.has_gamma = png_get_gAMA(png, info, &c.gamma) != 0;
    png_colorp palette = nullptr;
    png_get_PLTE(png, info, &palette, &c.palette_size);
    if (decoder_view)
        set_decoder_view(png, info, c.colour_type, c.bit_depth);
    else if (c.bit_depth < 8)
        png_set_packing(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t row_bytes = png_get_rowbytes(png, info);
    int channels = png_get_channels(png, info), depth = png_get_bit_depth(png, info);
    std::vector<uint8_t> image(row_bytes * c.height);
    std::vector<png_bytep> rows(c.height);
    for (uint32_t y = 0; y < c.height; y++)
        rows[y] = image.data() + y * row_bytes;
    for (int pass = 0; pass < passes; pass++)
        png_read_rows(png, rows.data(), nullptr, c.height);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    int bytes = depth == 16 ? 2 : 1;
    for (uint32_t y = 0; y < c.height; y++)
        for (uint32_t x = 0; x < c.width; x++) {
            const uint8_t *p = rows[y] + (size_t)x * channels * bytes;
            c.samples.push_back(bytes == 2 ? (uint32_t)(p[0] << 8 | p[1]) : p[0]);
        }
    return c;
}

class PngWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = make_temp_dir();
        s = make_test_sheet();
    }
    void TearDown() override
    {
        free_sheet(&s);
        remove_tree(dir);
    }

    png_contents write_and_read(png_kind kind, double gamma, bool interlace, bool decoder_view)
    {
        scan_options o;
        o.kind = kind;
        o.write_gamma = gamma > 0;
        o.gamma = gamma > 0 ? gamma : 0.454545;
        o.interlace = interlace;
        std::string path = dir + "/scan_0001.png";
        EXPECT_TRUE(write_scan(path.c_str(), s, o));
        return read_png(path, decoder_view);
    }

    std::vector<uint32_t> first_row(const png_contents &c)
    {
        return {c.samples.begin(), c.samples.begin() + 5};
    }

    std::string dir;
    sheet s{};
};

TEST_F(PngWrite, EachKindHasItsColourTypeDepthAndChunks)
{
    struct expected_kind {
        png_kind kind;
        int colour_type, bit_depth, palette_size;
    };
    const expected_kind kinds[] = {
        {kind_grey8, PNG_COLOR_TYPE_GRAY, 8, 0}, {kind_grey16, PNG_COLOR_TYPE_GRAY, 16, 0},
        {kind_rgb, PNG_COLOR_TYPE_RGB, 8, 0},    {kind_palette, PNG_COLOR_TYPE_PALETTE, 8, 256},
        {kind_grey1, PNG_COLOR_TYPE_GRAY, 1, 0},
    };
    for (const expected_kind &k : kinds)
        for (bool interlace : {false, true}) {
            png_contents c = write_and_read(k.kind, interlace ? 1.0 : 0.0, interlace, false);
            EXPECT_EQ(c.width, test_width);
            EXPECT_EQ(c.height, test_height);
            EXPECT_EQ(c.colour_type, k.colour_type);
            EXPECT_EQ(c.bit_depth, k.bit_depth);
            EXPECT_EQ(c.palette_size, k.palette_size);
            EXPECT_EQ(c.interlace, interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE);
            EXPECT_EQ(c.has_gamma, interlace); // gAMA only when asked for
            if (c.has_gamma) {
                EXPECT_DOUBLE_EQ(c.gamma, 1.0);
            }
        }
}

TEST_F(PngWrite, SamplesAreEncodedWithTheDeclaredGamma)
{
    // Reflectances 0, 0.2, 0.5, 1 and 0.01 (samples 0, 13107, 32768, 65535, 655).
    using v = std::vector<uint32_t>;
    EXPECT_EQ(first_row(write_and_read(kind_grey8, 0, false, false)), (v{0, 123, 186, 255, 31}));
    EXPECT_EQ(first_row(write_and_read(kind_grey8, 1.0, false, false)), (v{0, 51, 128, 255, 3}));
    EXPECT_EQ(first_row(write_and_read(kind_grey16, 0, false, false)),
              (v{0, 31533, 47824, 65535, 8078}));
    EXPECT_EQ(first_row(write_and_read(kind_rgb, 0, false, false)), (v{0, 123, 186, 255, 31}));
    EXPECT_EQ(first_row(write_and_read(kind_palette, 0, false, false)), (v{0, 123, 186, 255, 31}));
    // Line art: white from halfway between toner 0.04 and paper 0.85 (0.445).
    EXPECT_EQ(first_row(write_and_read(kind_grey1, 0, false, false)), (v{0, 0, 1, 1, 0}));
}

TEST_F(PngWrite, InterlacingKeepsEveryPixel)
{
    for (png_kind kind : {kind_grey8, kind_grey16, kind_grey1}) {
        png_contents plain = write_and_read(kind, 0, false, false);
        png_contents interlaced = write_and_read(kind, 0, true, false);
        EXPECT_EQ(interlaced.interlace, PNG_INTERLACE_ADAM7);
        EXPECT_EQ(plain.samples, interlaced.samples) << kind;
    }
}

// Whatever the kind and gamma, the decoder gets back about 255 x reflectance.
TEST_F(PngWrite, TheDecodersViewIsTheLinearReflectanceForEveryKind)
{
    struct variant {
        png_kind kind;
        double gamma;
        bool interlace;
    };
    const variant variants[] = {{kind_grey8, 0, false},   {kind_grey8, 1.0, false},
                                {kind_grey8, 0.5, true},  {kind_grey16, 0, false},
                                {kind_grey16, 1.0, true}, {kind_rgb, 0, false},
                                {kind_palette, 0, false}, {kind_palette, 1.0, true}};
    for (const variant &va : variants) {
        png_contents c = write_and_read(va.kind, va.gamma, va.interlace, true);
        ASSERT_EQ(c.samples.size(), (size_t)test_width * test_height);
        int worst = 0;
        for (size_t i = 0; i < c.samples.size(); i++) {
            int want = (int)floor(s.pixels[i] / 65535.0 * 255.0 + 0.5);
            worst = std::max(worst, std::abs((int)c.samples[i] - want));
        }
        // 8-bit codes of a 1/2.2 curve are about 2 linear levels apart near white.
        EXPECT_LE(worst, va.gamma == 1.0 || va.kind == kind_grey16 ? 1 : 3)
            << "kind " << va.kind << " gamma " << va.gamma;
    }
}

// Samples that differ from pixel to pixel and row to row at every depth.
void test_samples(const void *picture, uint32_t y, uint16_t *samples)
{
    const int depth = *(const int *)picture;
    for (uint32_t x = 0; x < test_width; x++)
        samples[x] = (uint16_t)((x * 40503u + y * 977u) & ((1u << depth) - 1));
}

// png_file itself, for the layouts paperscan never writes: every sample
// comes back from every colour type and depth, with or without speed.
TEST_F(PngWrite, PngFileStoresEverySampleInEveryColourTypeAndDepth)
{
    const int layouts[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    const std::string path = dir + "/file.png";
    for (const auto &layout : layouts)
        for (bool fast : {false, true}) {
            png_options o;
            o.colour_type = layout[0];
            o.bit_depth = layout[1];
            o.fast = fast;
            o.interlaced = fast;
            ASSERT_TRUE(write_png_file(path.c_str(), test_width, test_height, o, test_samples,
                                       &o.bit_depth, "test"));
            png_contents c = read_png(path, false);
            EXPECT_EQ(c.colour_type, layout[0]);
            EXPECT_EQ(c.bit_depth, layout[1]);
            EXPECT_EQ(c.palette_size, layout[0] == 3 ? 1 << layout[1] : 0);
            std::vector<uint16_t> row(test_width);
            for (uint32_t y = 0; y < test_height; y++) {
                test_samples(&o.bit_depth, y, row.data());
                for (uint32_t x = 0; x < test_width; x++)
                    ASSERT_EQ(c.samples[y * test_width + x], row[x])
                        << layout[0] << "/" << layout[1] << " at " << x << "," << y;
            }
        }
}

TEST_F(PngWrite, AnUnwritablePathIsReported)
{
    std::string path = dir + "/no/such/dir/scan_0001.png";
    bool ok = true;
    std::string err = capture_stderr([&] { ok = write_scan(path.c_str(), s, scan_options{}); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "paperscan: cannot open " + path + " for writing: No such file or directory\n");
}

} // namespace
