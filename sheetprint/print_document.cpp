// print_document.cpp - what the PostScript and PDF writers share: reading
// the pages, compressing their bitmaps, the dot scale and the caption.
#include "print_document.h"

#include "page_format.h"
#include "pgm_page.h"
#include "sheet_output.h"

#include <cstdio>

void load_page(const print_job &job, const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        fatal_errno("cannot open %s", path);
    const char *problem = read_pgm_page(file, job.pixels);
    fclose(file);
    if (problem)
        fatal("%s: %s", path, problem);
}

uint32_t text_sheet_count(const print_job &job)
{
    return job.text ? sheets_of(*job.text) : 0;
}

void deflate_page(print_job *job, flate_stream *stream)
{
    page_raster *raster = &job->raster;
    for (uint32_t y = 0; y < page_height; y++) {
        render_band(raster, job->pixels + (size_t)y * page_width);
        for (uint32_t dot_row = 0; dot_row < raster->dots; dot_row++)
            flate_write(stream, cell_row(*raster, dot_row), raster->row_bytes);
    }
}

void format_dot_scale(uint32_t dpi, char *text, size_t size)
{
    snprintf(text, size, "%.10g", 72.0 / dpi);
}

bool make_caption(const print_job &job, caption *note)
{
    double gap = job.layout.bottom * 72.0 / job.dpi;
    note->size = 7;
    if (gap < 2 * note->size)
        return false;
    int length = snprintf(note->text, sizeof note->text,
                          "Print at actual size \\(100%%\\), no fit-to-page or scaling: "
                          "%.2f x %.2f in at %u dpi",
                          (double)job.layout.image_width / job.dpi,
                          (double)job.layout.image_height / job.dpi, job.dpi);
    // Helvetica averages about half an em per character; close enough to
    // centre a note that nothing reads back.
    double width = 0.5 * note->size * (length - 2);
    double centre = (job.layout.left + job.layout.image_width / 2.0) * 72.0 / job.dpi;
    note->x = centre - width / 2;
    note->y = gap / 2 - note->size / 3;
    return true;
}
