// page_set.h - the stack of scans as the labels describe it: the driver's
// record of what every scan's label said, and the checks at the end of the
// run that tell a wrong or incomplete stack from a whole one.
//
// Each label names its page, the page count of its archive and the name
// given to paprel.  The archive of the stack is the count and name that
// most labels read give; a scan whose label names another archive or
// another position, and a page number of the count that no scan carries,
// are each one line at the end and make the run fail.  A label that could
// not be read says nothing: its scan is taken to be the page its position
// says, never the opposite.  Nor does a label accuse where a blot could
// explain it: dirt on the black strip can hide a character and leave a
// blank cell that reads as a space, so labels whose "/count name" differ
// only where one of them shows a space are taken to agree.
#ifndef DECODER_PAGE_SET_H
#define DECODER_PAGE_SET_H

#include <cstdint>

// What one scan's label says, as the driver hands it over.
struct label_reading {
    bool read;              // every character was read with confidence
    uint32_t number, count; // "number/count"
    const char *name;       // the name after it; only valid during the call
    const char *format;     // the format string before it; likewise
    const char *tail;       // "/count name" as read; likewise
};

// Room for a label's name and format string: a label holds at most 98
// characters in all.
constexpr uint32_t label_field_size = 128;

// One scan, by its position in the sequence (scan_0001.png is position 1).
struct page_entry {
    bool lost;                     // missing or unreadable, written as zero bytes
    bool read;                     // its label was read
    uint32_t number, count;        // the label's "number/count", when read
    char name[label_field_size];   // the label's name, when read
    char format[label_field_size]; // the label's format string, when read
    char tail[label_field_size];   // the label's "/count name", when read
};

// The whole stack.  `entries` is malloc'd by note_page and freed by
// release_page_set; position p is entries[p - 1].
struct page_set {
    page_entry *entries;
    uint32_t size, capacity;
};

// Records the scan at `position` (positions arrive in order, from 1):
// decoded with its label (`label` null when the scan was lost).  False
// when there is no memory for the record.
bool note_page(page_set &set, uint32_t position, const label_reading *label);

// The page count the labels announce: that of the stack's archive, or 0
// while no label has been read.
uint32_t announced_count(const page_set &set);

// Prints one line on standard error for every fault of the stack and
// returns how many there were: scans whose label gives another position,
// scans of another archive, and page numbers of the count that no scan
// carries (`keep_going` runs report those with their lost pages instead).
// The format string given on the command line is checked against the
// labels' as a warning only, which is not counted.
uint32_t check_page_set(const page_set &set, const char *format_argument, const char *base,
                        bool keep_going);

// Prints the pages written as zero bytes, if any, and returns how many.
uint32_t report_lost_pages(const page_set &set);

void release_page_set(page_set &set);

#endif
