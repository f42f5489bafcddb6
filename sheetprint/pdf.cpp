// pdf.cpp - the print job as a PDF 1.4 document.
//
// Objects: 1 the catalog, 2 the page tree, 3 the Helvetica font of the
// captions, and four for every page i counted from 0, starting at
// 4 + 4 i: the page, its content stream, its image and the image's length.
// The image is a 1-bit DeviceGray XObject at the printer's resolution with
// /Interpolate false and a Flate-compressed stream; its length is an object
// of its own, written after the stream, so that the compressed page never
// has to be held in memory.  The content stream scales one unit to one
// printer dot and places the image at whole dots on a MediaBox of exactly
// the paper's size.  Text sheets (a cover, the format's description) come
// first in the page tree but after all of that in the file's numbering, so
// that a document without them keeps its numbers: the Courier font, then
// two objects per sheet, its page and its content stream.
#include "print_document.h"

#include "sheet_output.h"

#include <cstdlib>

namespace {

constexpr uint32_t objects_per_page = 4;
constexpr uint32_t first_page_object = 4;
constexpr uint32_t objects_per_text_sheet = 2;

uint32_t courier_object(const print_job &job)
{
    return first_page_object + objects_per_page * job.page_count;
}

uint32_t text_sheet_object(const print_job &job, uint32_t sheet)
{
    return courier_object(job) + 1 + objects_per_text_sheet * sheet;
}

// Page `i` of the document in its order, text sheets first.
uint32_t kid_object(const print_job &job, uint32_t i)
{
    const uint32_t sheets = text_sheet_count(job);
    return i < sheets ? text_sheet_object(job, i)
                      : first_page_object + objects_per_page * (i - sheets);
}

// Byte offset of every object, for the cross-reference table; index 0 is
// the free-list head.  Owned here, allocated in write_pdf.
uint64_t *object_offsets;

void begin_object(uint32_t number)
{
    object_offsets[number] = output.offset;
    out_printf("%u 0 obj\n", number);
}

void write_document_objects(const print_job &job)
{
    out_write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", 15);
    begin_object(1);
    out_printf("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    begin_object(2);
    const uint32_t kids = text_sheet_count(job) + job.page_count;
    out_printf("<< /Type /Pages /Count %u /Kids [", kids);
    for (uint32_t i = 0; i < kids; i++)
        out_printf("%s%u 0 R", i % 10 == 0 ? "\n" : " ", kid_object(job, i));
    out_printf(" ] >>\nendobj\n");
    begin_object(3);
    out_printf("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>\nendobj\n");
}

void write_page_object(const print_job &job, uint32_t number)
{
    begin_object(number);
    out_printf("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %u %u]\n"
               "   /Resources << /XObject << /Im0 %u 0 R >> /Font << /F1 3 0 R >> >>\n"
               "   /Contents %u 0 R >>\nendobj\n",
               job.paper->width_pt, job.paper->height_pt, number + 2, number + 1);
}

void write_contents(const print_job &job, uint32_t number)
{
    char scale[32];
    format_dot_scale(job.dpi, scale, sizeof scale);
    char text[512];
    int length =
        snprintf(text, sizeof text, "q\n%s 0 0 %s 0 0 cm\n%u 0 0 %u %lld %lld cm\n/Im0 Do\nQ\n",
                 scale, scale, job.layout.image_width, job.layout.image_height,
                 (long long)job.layout.left, (long long)job.layout.bottom);
    caption note;
    if (make_caption(job, &note))
        length +=
            snprintf(text + length, sizeof text - length, "BT /F1 %g Tf %.2f %.2f Td (%s) Tj ET\n",
                     note.size, note.x, note.y, note.text);
    begin_object(number);
    out_printf("<< /Length %d >>\nstream\n%s\nendstream\nendobj\n", length, text);
}

void write_image(print_job *job, uint32_t number)
{
    begin_object(number);
    out_printf("<< /Type /XObject /Subtype /Image /Width %u /Height %u\n"
               "   /ColorSpace /DeviceGray /BitsPerComponent 1 /Interpolate false\n"
               "   /Filter /FlateDecode /Length %u 0 R >>\nstream\n",
               job->layout.image_width, job->layout.image_height, number + 1);
    uint64_t start = output.offset;
    static flate_stream stream;
    flate_begin(&stream, false);
    deflate_page(job, &stream);
    flate_finish(&stream);
    uint64_t length = output.offset - start;
    out_printf("\nendstream\nendobj\n");
    begin_object(number + 1);
    out_printf("%llu\nendobj\n", (unsigned long long)length);
}

void write_cross_reference(uint32_t object_count)
{
    uint64_t start = output.offset;
    out_printf("xref\n0 %u\n0000000000 65535 f \n", object_count);
    for (uint32_t i = 1; i < object_count; i++)
        out_printf("%010llu 00000 n \n", (unsigned long long)object_offsets[i]);
    out_printf("trailer\n<< /Size %u /Root 1 0 R >>\nstartxref\n%llu\n%%%%EOF\n", object_count,
               (unsigned long long)start);
}

// One text sheet: a page with Courier as its font, its lines in a content
// stream that is built first for its length.
void write_text_sheet(const print_job &job, uint32_t sheet)
{
    const uint32_t number = text_sheet_object(job, sheet);
    begin_object(number);
    out_printf("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %u %u]\n"
               "   /Resources << /Font << /F2 %u 0 R >> >>\n"
               "   /Contents %u 0 R >>\nendobj\n",
               job.paper->width_pt, job.paper->height_pt, courier_object(job), number + 1);
    double x, y;
    text_origin(*job.paper, &x, &y);
    // Each line is at most 2 * text_columns escaped characters and a few
    // more for its operators.
    static char text[lines_per_sheet * (2 * text_columns + 8) + 64];
    int length = snprintf(text, sizeof text, "BT /F2 %g Tf %g TL %.2f %.2f Td\n", text_font_size,
                          text_leading, x, y);
    char escaped[2 * text_columns + 1];
    for (uint32_t i = 0; i < lines_per_sheet; i++) {
        escape_line(job.text->line[sheet * lines_per_sheet + i], escaped);
        length += snprintf(text + length, sizeof text - length, "(%s) Tj T*\n", escaped);
    }
    length += snprintf(text + length, sizeof text - length, "ET\n");
    begin_object(number + 1);
    out_printf("<< /Length %d >>\nstream\n%s\nendstream\nendobj\n", length, text);
}

void write_text_sheets(const print_job &job)
{
    const uint32_t sheets = text_sheet_count(job);
    if (sheets == 0)
        return;
    begin_object(courier_object(job));
    // WinAnsiEncoding: a straight quote and a backquote, as a shell command
    // on the cover needs them, where the font's own encoding has curly ones.
    out_printf("<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>\n"
               "endobj\n");
    for (uint32_t i = 0; i < sheets; i++)
        write_text_sheet(job, i);
}

} // namespace

void write_pdf(print_job *job)
{
    // main limits the page count and the text, so this cannot overflow.
    const uint32_t sheets = text_sheet_count(*job);
    uint32_t object_count = first_page_object + objects_per_page * job->page_count +
                            (sheets ? 1 + objects_per_text_sheet * sheets : 0);
    object_offsets = (uint64_t *)calloc(object_count, sizeof *object_offsets);
    if (!object_offsets)
        fatal("cannot allocate the cross-reference table of %u objects", object_count);
    write_document_objects(*job);
    write_text_sheets(*job);
    for (uint32_t i = 0; i < job->page_count; i++) {
        uint32_t number = first_page_object + objects_per_page * i;
        load_page(*job, job->page_files[i]);
        write_page_object(*job, number);
        write_contents(*job, number + 1);
        write_image(job, number + 2);
    }
    write_cross_reference(object_count);
    free(object_offsets);
    object_offsets = nullptr;
}
