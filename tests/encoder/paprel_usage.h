// paprel_usage.h - the usage text paprel prints after a wrong command line,
// written out here as a known answer for the command-line tests.
#ifndef TESTS_ENCODER_PAPREL_USAGE_H
#define TESTS_ENCODER_PAPREL_USAGE_H

inline constexpr char paprel_usage_text[] =
    "\nUsage: paprel <input file> [filename base]\n\n"
    "Will take the input file as data payload and produce paprel_out_????.pgm which contain "
    "the input file encoded onto paper, with error correction codes, and automatically split "
    "into multiple files when necessary. Those pgm's are supposed to be printed on laser "
    "printer at least 600 DPI for example using GIMP, or use the included sheetprint to "
    "convert them to PostScript and print for example using a PostScript viewer program.\n\n";

#endif
