// version.h - the version that paprel, unpaprel and sheetprint print for
// --version and that a cover sheet names: one number for the three
// programs, since they are built and released together for one page format.
#ifndef PAGEFORMAT_VERSION_H
#define PAGEFORMAT_VERSION_H

constexpr char program_version[] = "1.0";

#endif
