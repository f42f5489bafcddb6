// The bit writer against the known codewords, read back from the page
// through bit_to_pixel, and the lazy page turnover.
#include "encoder_fixture.h"
#include "page_check.h"

#include <cstdio>
#include <vector>

namespace {

struct bit_writer : encoder_fixture {
    void feed_bytes(const std::vector<uint8_t> &bytes)
    {
        for (uint8_t byte : bytes)
            ASSERT_FALSE(failed(feed_byte(run, byte)));
    }

    void feed_closing_bits()
    {
        for (int i = 0; i < 11; i++)
            ASSERT_FALSE(failed(feed_bit(run, 0)));
    }

    // The current page as it would be written: its codewords drawn.
    const uint8_t *rendered()
    {
        render_page(run);
        return run.page_buffer;
    }

    // Pixels that differ between the rendered page and a freshly formatted one.
    uint32_t pixels_changed()
    {
        render_page(run);
        std::vector<uint8_t> written(run.page_buffer, run.page_buffer + page_pixels);
        format_page(run);
        uint32_t changed = 0;
        for (uint32_t i = 0; i < page_pixels; i++)
            changed += written[i] != run.page_buffer[i];
        std::copy(written.begin(), written.end(), run.page_buffer);
        return changed;
    }
};

TEST_F(bit_writer, ThreeBytesMakeTwoCodewords)
{
    feed_bytes({0xAB, 0xCD, 0xEF});
    EXPECT_EQ(run.codeword_index, 2u);
    feed_closing_bits();
    EXPECT_EQ(run.codeword_index, 2u) << "the closing bits complete no empty group";
    EXPECT_EQ(read_codeword(rendered(), 0), 0xABCA13u);
    EXPECT_EQ(read_codeword(rendered(), 1), 0xDEF732u);
    EXPECT_EQ(read_codeword(rendered(), 2), 0u);
    EXPECT_EQ(page_pixel(rendered(), 8, 2), 0) << "first bit, a 1, is black";
    EXPECT_EQ(page_pixel(rendered(), 9, 2), 0) << "codeword 1 starts with a 1 too";
    EXPECT_EQ(page_pixel(rendered(), 10, 2), 255);
    // Nothing but the black bits of the two codewords differs from the
    // empty page: 12 + 16 set bits.
    EXPECT_EQ(pixels_changed(), 12u + 16u);
}

TEST_F(bit_writer, ClosingBitsCompleteAPartialGroup)
{
    ASSERT_FALSE(failed(feed_byte(run, 0xFF)));
    EXPECT_EQ(run.codeword_index, 0u);
    feed_closing_bits();
    EXPECT_EQ(run.codeword_index, 1u);
    EXPECT_EQ(read_codeword(rendered(), 0), 0xFF05DBu);

    start(1, "");
    feed_bytes({0x12, 0x34, 0x56, 0x78});
    feed_closing_bits();
    EXPECT_EQ(run.codeword_index, 3u);
    EXPECT_EQ(read_codeword(rendered(), 0), 0x123207u);
    EXPECT_EQ(read_codeword(rendered(), 1), 0x456567u);
    EXPECT_EQ(read_codeword(rendered(), 2), 0x780452u);
    EXPECT_EQ(read_codeword(rendered(), 3), 0u);
}

TEST_F(bit_writer, EmptyPayloadAndHighArgumentBits)
{
    feed_closing_bits();
    EXPECT_EQ(run.codeword_index, 0u);
    EXPECT_EQ(pixels_changed(), 0u);
    // Only bit 0 of the argument counts: 0xABC fed as 2 and 3 for 0 and 1.
    start(1, "");
    for (int bit = 11; bit >= 0; bit--)
        ASSERT_FALSE(failed(feed_bit(run, ((0xABC >> bit) & 1) ? 3 : 2)));
    EXPECT_EQ(read_codeword(rendered(), 0), 0xABCA13u);
}

// Codewords overwrite white and black alike: the page state left by a
// previous codeword at the same index does not leak through.
TEST_F(bit_writer, PlaceCodewordWritesAllBits)
{
    run.codeword_index = 5;
    place_codeword(run, 0xFFFFFF);
    place_codeword(run, 0x800FC1);
    EXPECT_EQ(read_codeword(rendered(), 5), 0x800FC1u);
    place_codeword(run, 0);
    EXPECT_EQ(pixels_changed(), 0u);
}

TEST_F(bit_writer, PageTurnsOverOnlyForACodewordThatNeedsRoom)
{
    start(2, "turn");
    run.codeword_index = codewords_per_page - 1;
    feed_bytes({0x12, 0x34, 0x56});
    // 0x123 was the last codeword of page 1, 0x456 the first of page 2.
    EXPECT_EQ(run.page_number, 2u);
    EXPECT_EQ(run.codeword_index, 1u);
    EXPECT_EQ(read_codeword(rendered(), 0), 0x456567u);
    EXPECT_STREQ(run.label_text, "  0-65-93-24-3-1-2-24 2/2 turn");
    std::string page1 = read_file(base + "_0001.pgm");
    ASSERT_EQ(page1.size(), 3466149u);
    const uint8_t *pixels = (const uint8_t *)page1.data() + pgm_header_size;
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 1), 0x123207u);
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 2), 0u);
    EXPECT_EQ(read_label(pixels), label_cells("  0-65-93-24-3-1-2-24 1/2 turn"));

    // A page filled exactly gets no successor from the closing bits.
    std::remove((base + "_0002.pgm").c_str());
    start(1, "");
    run.codeword_index = codewords_per_page - 1;
    feed_bytes({0x12});
    feed_closing_bits();
    EXPECT_EQ(run.page_number, 1u);
    EXPECT_EQ(run.codeword_index, codewords_per_page);
    EXPECT_FALSE(file_exists(base + "_0002.pgm"));
}

// The last page reuses the planes of the full page before it: whatever it
// does not fill must still come out white, as on a fresh page.
TEST_F(bit_writer, LastPageShowsNothingOfThePageBefore)
{
    start(2, "tail");
    const std::vector<uint8_t> full(199773, 0xFF);
    ASSERT_FALSE(failed(::feed_bytes(run, full.data(), full.size())));
    const uint8_t rest[] = {0x12, 0x34, 0x56};
    ASSERT_FALSE(failed(::feed_bytes(run, rest, sizeof rest)));
    ASSERT_EQ(run.page_number, 2u);
    ASSERT_FALSE(failed(write_page(run)));
    ASSERT_FALSE(failed(close_page_file(run)));
    std::string page2 = read_file(base + "_0002.pgm");
    ASSERT_EQ(page2.size(), 3466149u);
    const uint8_t *pixels = (const uint8_t *)page2.data() + pgm_header_size;
    EXPECT_EQ(read_codeword(pixels, 0), 0x123207u);
    EXPECT_EQ(read_codeword(pixels, 1), 0x456567u);
    uint32_t leftovers = 0;
    for (uint32_t k = 2; k < codewords_per_page; k++)
        leftovers += read_codeword(pixels, k) != 0;
    EXPECT_EQ(leftovers, 0u);
}

// A block of bytes that crosses the end of the page: whole groups of three
// while the page has room for both their codewords, then one at a time.
TEST_F(bit_writer, BlockOfBytesTurnsThePageWhereSingleBitsWould)
{
    start(2, "turn");
    run.codeword_index = codewords_per_page - 3;
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0xAB, 0xC1, 0x23, 0x45};
    ASSERT_FALSE(failed(::feed_bytes(run, bytes, sizeof bytes)));
    EXPECT_EQ(run.page_number, 2u);
    EXPECT_EQ(run.codeword_index, 1u);
    EXPECT_EQ(run.bit_accumulator, 0x145u) << "the last byte waits as 8 bits below the sentinel";
    EXPECT_EQ(read_codeword(rendered(), 0), 0x123207u);
    std::string page1 = read_file(base + "_0001.pgm");
    ASSERT_EQ(page1.size(), 3466149u);
    const uint8_t *pixels = (const uint8_t *)page1.data() + pgm_header_size;
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 4), 0u);
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 3), 0x123207u);
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 2), 0x456567u);
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 1), 0xABCA13u);
}

} // namespace
