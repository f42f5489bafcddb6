// png_write.h - the sheet as the PNG file a scanner would have written.
#ifndef PAPERSCAN_PNG_WRITE_H
#define PAPERSCAN_PNG_WRITE_H

#include "scan_options.h"
#include "sheet.h"

// Writes `s` to `path` as options.kind, encoding the linear reflectance with
// the file gamma (options.gamma, 0.454545 unless --gamma was given, in which
// case a gAMA chunk declares it), Adam7-interlaced if asked.  grey1 is a
// line-art scan: white where the light is at least halfway between toner and
// paper.  Prints a message and returns false on any failure.
bool write_scan(const char *path, const sheet &s, const scan_options &options);

#endif
