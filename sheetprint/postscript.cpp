// postscript.cpp - the print job as a DSC-conforming PostScript document.
//
// Each page is one 1-bit DeviceGray image at the printer's resolution,
// drawn with an image matrix of one dot per sample and /Interpolate false.
// The samples are Flate-compressed and carried as ASCII85 text in the file
// itself: Flate removes the repetition of every page row over `dots` rows of
// dots (a page of random channel bits shrinks to about the size of the page
// file; RunLengthDecode would gain nothing on random bits), and ASCII85
// keeps the file 7-bit clean for print spoolers.  FlateDecode needs a
// PostScript Level 3 interpreter, which Ghostscript and current printers
// are.  After the image, the procedure reads both filters to their end so
// that the interpreter resumes right after the "~>" that ends the data,
// whatever the image itself consumed.  Text sheets, before the pages, are
// lines of Courier.
#include "print_document.h"

#include "sheet_output.h"

namespace {

const char prolog[] =
    "%%BeginProlog\n"
    "/sheetprint_buffer 4096 string def\n"
    "% file sheetprint_drain: reads the file to its end\n"
    "/sheetprint_drain {\n"
    "  { dup sheetprint_buffer readstring exch pop not { exit } if } loop pop\n"
    "} bind def\n"
    "% width height sheetprint_image: draws the 1-bit image whose Flate\n"
    "% compressed samples follow in the file as ASCII85 text\n"
    "/sheetprint_image {\n"
    "  /sheetprint_height exch def /sheetprint_width exch def\n"
    "  /sheetprint_text currentfile /ASCII85Decode filter def\n"
    "  /sheetprint_data sheetprint_text /FlateDecode filter def\n"
    "  /DeviceGray setcolorspace\n"
    "  << /ImageType 1 /Width sheetprint_width /Height sheetprint_height\n"
    "     /BitsPerComponent 1 /Decode [0 1] /Interpolate false\n"
    "     /ImageMatrix [1 0 0 -1 0 sheetprint_height] /DataSource sheetprint_data >> image\n"
    "  sheetprint_data sheetprint_drain sheetprint_text sheetprint_drain\n"
    "} bind def\n"
    "%%EndProlog\n";

void write_header(const print_job &job)
{
    const paper_size &paper = *job.paper;
    out_printf("%%!PS-Adobe-3.0\n"
               "%%%%Creator: sheetprint\n"
               "%%%%Pages: %u\n"
               "%%%%BoundingBox: 0 0 %u %u\n"
               "%%%%DocumentMedia: %s %u %u 0 () ()\n"
               "%%%%DocumentNeededResources: font Helvetica%s\n"
               "%%%%LanguageLevel: 3\n"
               "%%%%EndComments\n",
               text_sheet_count(job) + job.page_count, paper.width_pt, paper.height_pt, paper.media,
               paper.width_pt, paper.height_pt, text_sheet_count(job) ? " Courier" : "");
    out_write(prolog, sizeof prolog - 1);
    out_printf("%%%%BeginSetup\n"
               "%%%%BeginFeature: *PageSize %s\n"
               "<< /PageSize [%u %u] >> setpagedevice\n"
               "%%%%EndFeature\n"
               "%%%%EndSetup\n",
               paper.media, paper.width_pt, paper.height_pt);
}

void write_page(print_job *job, uint32_t number)
{
    out_printf("%%%%Page: %u %u\nsave\n", number, number);
    caption note;
    if (make_caption(*job, &note))
        out_printf("/Helvetica findfont %g scalefont setfont\n%.2f %.2f moveto (%s) show\n",
                   note.size, note.x, note.y, note.text);
    char scale[32];
    format_dot_scale(job->dpi, scale, sizeof scale);
    // From here on one unit is one printer dot.
    out_printf("%s %s scale\n%lld %lld translate\n%u %u sheetprint_image\n", scale, scale,
               (long long)job->layout.left, (long long)job->layout.bottom, job->layout.image_width,
               job->layout.image_height);
    static flate_stream stream;
    flate_begin(&stream, true);
    deflate_page(job, &stream);
    flate_finish(&stream);
    out_printf("restore\nshowpage\n");
}

// Courier with a straight quote and a backquote where StandardEncoding has
// curly ones: a shell command on the cover must read as typed.
const char text_font[] =
    "/Courier findfont dup length dict begin\n"
    "  { 1 index /FID ne { def } { pop pop } ifelse } forall\n"
    "  /Encoding StandardEncoding 256 array copy dup 39 /quotesingle put dup 96 /grave put def\n"
    "  currentdict end /sheetprint_courier exch definefont %g scalefont setfont\n";

// Text sheet `sheet` (from 0) as page `number`: one moveto and show per
// line that is not empty.
void write_text_sheet(const print_job &job, uint32_t sheet, uint32_t number)
{
    out_printf("%%%%Page: %u %u\nsave\n", number, number);
    out_printf(text_font, text_font_size);
    double x, y;
    text_origin(*job.paper, &x, &y);
    char escaped[2 * text_columns + 1];
    for (uint32_t i = 0; i < lines_per_sheet; i++) {
        const char *line = job.text->line[sheet * lines_per_sheet + i];
        escape_line(line, escaped);
        if (line[0])
            out_printf("%.2f %.2f moveto (%s) show\n", x, y - i * text_leading, escaped);
    }
    out_printf("restore\nshowpage\n");
}

} // namespace

void write_postscript(print_job *job)
{
    write_header(*job);
    const uint32_t sheets = text_sheet_count(*job);
    for (uint32_t i = 0; i < sheets; i++)
        write_text_sheet(*job, i, i + 1);
    for (uint32_t i = 0; i < job->page_count; i++) {
        load_page(*job, job->page_files[i]);
        write_page(job, sheets + i + 1);
    }
    out_printf("%%%%Trailer\n%%%%EOF\n");
}
