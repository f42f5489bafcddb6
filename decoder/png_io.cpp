// png_io.cpp - the decoder's only contact with image files.
//
// load_png reads one scanned page (a PNG of any colour type, bit depth and
// interlacing) from page.scan_file through libpng straight into `image`, as
// one 8-bit grey sample per pixel in linear light, and allocates `work`
// beside it.  dump_debug_image maps `work` through a display gamma table and
// writes it as a PGM file so a person can see what the decoder saw and marked
// (through create_output_file: a symbolic link in its place is refused).
// Both report a failure to their caller; a file libpng refuses leaves its
// reason in page.failure.
#include "large_pages.h"
#include "output_file.h"
#include "stage_internals.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Larger scans than this (about 170 inches at 600 dpi) are refused by libpng
// before anything is allocated for them.
constexpr png_uint_32 max_scan_side = 100000;

// The most bytes libpng may allocate at a time: for one ancillary chunk
// (text, colour profile, palette), or a row buffer (800 KB at most, for
// 100000 pixels of 16-bit colour with alpha).  Without it a chunk that
// declares 2 GB is allocated and cleared before its checksum shows it is
// not there.  The image data is read a piece at a time and is not bound by
// it.  libpng's own chunk limit is set too, but this libpng does not apply
// it to text chunks: allocate_for_libpng holds every allocation to it.
constexpr png_alloc_size_t max_chunk_bytes = 8000000;

// The libpng structures and row table of the page being read.  They live
// here, not in locals, so they are still valid after libpng long-jumps back
// from an error.
struct png_reader {
    png_structp png;
    png_infop info;
    png_bytepp rows;
    char reason[256];
};
png_reader reader;

void release_reader()
{
    png_destroy_read_struct(&reader.png, &reader.info, nullptr);
    free(reader.rows);
    reader.rows = nullptr;
}

// libpng's own handler would print its reason and abort; keep the reason and
// return to try_load_png, which hands it to its caller.
void on_png_error(png_structp png, png_const_charp message)
{
    snprintf(reader.reason, sizeof reader.reason, "%s", message);
    png_longjmp(png, 1);
}

// libpng warns of chunks it drops (a gamma out of range, an ancillary chunk
// with a bad checksum) on standard error by default.  The decoder reads such
// a scan all the same, so the warning would only clutter its report.
void on_png_warning(png_structp, png_const_charp) {}

// libpng's allocations, refused beyond max_chunk_bytes with the reason its
// own chunk limit gives (png_error does not return).
png_voidp allocate_for_libpng(png_structp png, png_alloc_size_t size)
{
    if (size > max_chunk_bytes)
        png_error(png, "chunk data is too large");
    return malloc(size);
}

void free_for_libpng(png_structp, png_voidp memory)
{
    free(memory);
}

// Gives back everything a failed read took: the libpng structures, the row
// table, the frame buffers and the file; returns `status`.
page_status abandon_scan(page_state &page, page_status status)
{
    release_reader();
    free(page.image);
    free(page.work);
    page.image = page.work = nullptr;
    fclose(page.scan_file);
    page.scan_file = nullptr;
    return status;
}

// The conversions that bring every colour type and bit depth to one 8-bit
// grey sample per pixel.  Beyond the plain cases, 16-bit colour is stripped
// to 8 bits and a transparency chunk that expansion turns into alpha is
// stripped again, so that no file leaves more than one byte per pixel.
void choose_conversions(png_structp png, png_infop info)
{
    int colour_type = png_get_color_type(png, info);
    int bit_depth = png_get_bit_depth(png, info);
    bool expands = colour_type == PNG_COLOR_TYPE_PALETTE ||
                   (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8);
    if (expands)
        png_set_expand(png);
    if (bit_depth == 16)
        png_set_strip_16(png);
    bool has_alpha = (colour_type & PNG_COLOR_MASK_ALPHA) != 0 ||
                     (expands && png_get_valid(png, info, PNG_INFO_tRNS));
    if (has_alpha)
        png_set_strip_alpha(png);
    if (colour_type & PNG_COLOR_MASK_COLOR)
        png_set_rgb_to_gray(png, PNG_ERROR_ACTION_NONE, -1.0, -1.0);
}

// The scan is read through a buffer of 1 MB: libpng asks for a chunk's
// data a few kilobytes at a time, and with the stream's own buffer every
// 4 KB of a 30 MB scan would be a call into the system.  The buffer lives
// as long as the program; each scan's stream is closed before the next.
char scan_buffer[1 << 20];

// Header and limits; prints the size line.
void read_size(page_state &page)
{
    setvbuf(page.scan_file, scan_buffer, _IOFBF, sizeof scan_buffer);
    png_init_io(reader.png, page.scan_file);
    png_set_user_limits(reader.png, max_scan_side, max_scan_side);
    png_set_chunk_malloc_max(reader.png, max_chunk_bytes);
    png_read_info(reader.png, reader.info);
    page.width = png_get_image_width(reader.png, reader.info);
    page.height = png_get_image_height(reader.png, reader.info);
    // Single precision product, as the report has always been computed.
    float megabytes = (float)(page.width + page.width) * (float)page.height;
    fprintf(stderr, "Input %u x %u pixels, taking %G megabytes for 2 framebuffers.\n", page.width,
            page.height, (double)megabytes / 1000000.0);
}

// Gamma and conversions.  Returns the number of interlace passes.
int choose_transforms(const page_state &page)
{
    // Without a gAMA chunk a scan is taken to be in the usual display gamma;
    // either way the samples arrive in linear light (screen gamma 1).
    double file_gamma = 0.454545;
    if (!png_get_gAMA(reader.png, reader.info, &file_gamma))
        file_gamma = 0.454545;
    png_set_gamma(reader.png, 1.0, file_gamma);
    choose_conversions(reader.png, reader.info);
    int passes = png_set_interlace_handling(reader.png);
    png_read_update_info(reader.png, reader.info);
    if (png_get_rowbytes(reader.png, reader.info) != page.width)
        png_error(reader.png, "not one 8-bit grey sample per pixel after conversion");
    return passes;
}

// Allocates `image`, `work` and the row table pointing into `image`.
page_status allocate_frames(page_state &page)
{
    uint64_t size = (uint64_t)page.width * page.height;
    page.image = (uint8_t *)malloc(size);
    page.work = (uint8_t *)malloc(size);
    if (!page.image || !page.work)
        return frames_not_allocated;
    prefer_large_pages(page.image, size);
    prefer_large_pages(page.work, size);
    uint64_t table_bytes = (uint64_t)page.height * 8;
    reader.rows = (png_bytepp)malloc(table_bytes);
    if (!reader.rows) {
        page.failure.bytes = table_bytes;
        return row_table_not_allocated;
    }
    for (uint32_t y = 0; y < page.height; y++)
        reader.rows[y] = page.image + (uint64_t)y * page.width;
    return page_decoded;
}

} // namespace

page_status load_png(page_state &page)
{
    page.image = page.work = nullptr;
    reader.info = nullptr;
    reader.png =
        png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning,
                                 nullptr, allocate_for_libpng, free_for_libpng);
    if (reader.png)
        reader.info = png_create_info_struct(reader.png);
    if (!reader.png || !reader.info) {
        page.failure.reason = "out of memory for the PNG reader";
        return abandon_scan(page, scan_unreadable);
    }
    // Every libpng error below lands here, with its reason in reader.reason.
    if (setjmp(png_jmpbuf(reader.png))) {
        page.failure.reason = reader.reason;
        return abandon_scan(page, scan_unreadable);
    }
    read_size(page);
    // Refused before the frames, or libpng's row buffers, take any memory.
    const uint64_t pixels = (uint64_t)page.width * page.height;
    if (pixels > page.max_pixels) {
        page.failure.bytes = pixels;
        return abandon_scan(page, scan_too_large);
    }
    const int passes = choose_transforms(page);
    const page_status allocated = allocate_frames(page);
    if (allocated != page_decoded)
        return abandon_scan(page, allocated);
    for (int pass = 0; pass < passes; pass++)
        png_read_rows(reader.png, reader.rows, nullptr, page.height);
    png_read_end(reader.png, nullptr);
    release_reader();
    fclose(page.scan_file);
    page.scan_file = nullptr;
    return page_decoded;
}

void fill_gamma_table(uint8_t *table)
{
    // Each step at the precision the debug images have always used: the
    // ratio and the exponent in single precision, the power in double, the
    // scaled value rounded to single, the rounding to an integer in double.
    const float exponent = 0.454545f;
    for (int i = 0; i < 256; i++) {
        float ratio = (float)i / 255.0f;
        float scaled = (float)(255.0 * pow((double)ratio, (double)exponent));
        table[i] = (uint8_t)floor((double)scaled + 0.5);
    }
}

namespace {

// The gamma mapping of every pair of neighbouring pixels, indexed by the two
// bytes as they lie in memory: the debug image is mapped two pixels per load
// and store.  Filled from the gamma table for every image; at 128 KB it is
// kept here rather than on the stack.
uint16_t pair_table[65536];

void fill_pair_table(const uint8_t *gamma_table)
{
    for (uint32_t i = 0; i < 65536; i++) {
        const uint16_t index = (uint16_t)i;
        uint8_t pixels[2];
        memcpy(pixels, &index, 2);
        const uint8_t mapped[2] = {gamma_table[pixels[0]], gamma_table[pixels[1]]};
        memcpy(&pair_table[i], mapped, 2);
    }
}

// Maps `size` bytes of `pixels` in place, two at a time and the odd one
// through `gamma_table`.
void map_piece(uint8_t *pixels, uint64_t size, const uint8_t *gamma_table)
{
    uint64_t i = 0;
    for (; size - i >= 2; i += 2) {
        uint16_t pair;
        memcpy(&pair, pixels + i, 2);
        memcpy(pixels + i, &pair_table[pair], 2);
    }
    if (i < size)
        pixels[i] = gamma_table[pixels[i]];
}

// The end of writing a debug image: page_decoded when every byte reached
// the file, debug_image_not_written with the reason when not.  A full disk
// often shows only when fclose flushes the last buffer.
page_status close_debug_image(page_state &page, FILE *file)
{
    const bool write_failed = ferror(file) != 0;
    page.failure.error = errno; // that of the failed write, if one failed
    if (fclose(file) != 0 && !write_failed) {
        page.failure.error = errno;
        return debug_image_not_written;
    }
    return write_failed ? debug_image_not_written : page_decoded;
}

} // namespace

page_status dump_debug_image(page_state &page, const char *name)
{
    uint8_t *gamma_table = (uint8_t *)malloc(256);
    if (!gamma_table)
        return gamma_table_not_allocated;
    fill_gamma_table(gamma_table);
    FILE *file = create_output_file(name);
    const int open_error = errno;
    if (file)
        fprintf(file, "P5\n%u %u\n255\n", page.width, page.height);
    // Mapped and written a piece at a time, so each piece is written while
    // it is still in the cache.  `work` ends up mapped in full either way.
    // After a failed write the rest is only mapped.
    fill_pair_table(gamma_table);
    uint8_t *const work = page.work;
    const uint64_t size = (uint64_t)page.width * page.height, piece = 65536;
    for (uint64_t start = 0; start < size; start += piece) {
        const uint64_t end = size - start < piece ? size : start + piece;
        map_piece(work + start, end - start, gamma_table);
        if (file && !ferror(file))
            fwrite(work + start, 1, end - start, file);
    }
    const page_status status = file ? close_debug_image(page, file) : debug_image_not_opened;
    if (!file)
        page.failure.error = open_error;
    free(gamma_table);
    return status;
}

page_status dump_failure_image(page_state &page, const char *name)
{
    memcpy(page.work, page.image, (size_t)page.width * page.height);
    return dump_debug_image(page, name);
}
