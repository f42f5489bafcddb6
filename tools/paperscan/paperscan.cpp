// paperscan.cpp - main: every page given becomes one simulated scan.
//
// For each PGM page, in the order given: read and check it, lay it on the
// sheet through the optics, add dirt, light fall-off and noise, and write
// "<base>_NNNN.png" with NNNN counting from 0001, the names unpaprel reads.
// Each page draws its randomness from its own seed derived from --seed and
// its number, so a run is repeatable page by page.
#include "pgm_read.h"
#include "png_write.h"
#include "scan_geometry.h"
#include "scan_options.h"
#include "scan_page.h"
#include "sheet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool scan_one_page(const char *page_path, const char *scan_path, uint32_t number,
                   const scan_options &options, const scan_geometry &geometry, sheet *s)
{
    uint8_t *page = read_page(page_path);
    if (!page)
        return false;
    bool ok = scan_page(page, number, options, geometry, s);
    free(page);
    return ok && write_scan(scan_path, *s, options);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs(paperscan_usage, stderr);
        return 1;
    }
    scan_command command;
    scan_geometry geometry;
    if (!parse_command_line(argc, argv, &command) || !make_geometry(command.options, &geometry))
        return 1;
    sheet s{};
    if (!alloc_sheet(geometry.sheet_width, geometry.sheet_height, &s))
        return 1;
    size_t name_size = strlen(command.output_base) + 10; // "_NNNN.png" and the zero
    char *name = (char *)malloc(name_size);
    int status = name ? 0 : 1;
    if (!name)
        fprintf(stderr, "paperscan: cannot allocate the output name\n");
    for (int i = 0; i < command.page_count && status == 0; i++) {
        snprintf(name, name_size, "%s_%04u.png", command.output_base, (unsigned)(i + 1));
        if (!scan_one_page(command.pages[i], name, (uint32_t)(i + 1), command.options, geometry,
                           &s))
            status = 1;
    }
    free(name);
    free_sheet(&s);
    return status;
}
