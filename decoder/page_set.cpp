// page_set.cpp - the driver's checks of the stack of scans against the
// labels they carry.
//
// note_page records every position of the run as the driver goes: what its
// label said, or that the page was lost.  At the end check_page_set finds
// the stack's archive (the count and name most labels give) and prints one
// line for every scan of another archive, every scan in the wrong place and
// every page of the count that no scan carries; report_lost_pages lists
// what a run that keeps going wrote as zero bytes.  Reads only the records;
// writes only standard error.
#include "page_set.h"

#include "page_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void copy_field(char *to, const char *from)
{
    snprintf(to, label_field_size, "%s", from ? from : "");
}

// Whether two labels' "/count name" agree wherever both show a character;
// the shorter one reads as blank beyond its end.
bool same_archive(const page_entry &a, const page_entry &b)
{
    const size_t la = strlen(a.tail), lb = strlen(b.tail);
    for (size_t i = 0; i < la || i < lb; i++) {
        const char x = i < la ? a.tail[i] : ' ', y = i < lb ? b.tail[i] : ' ';
        if (x != y && x != ' ' && y != ' ')
            return false;
    }
    return true;
}

uint32_t blanks_in(const page_entry &e)
{
    uint32_t blanks = 0;
    for (const char *p = e.tail; *p != '\0'; p++)
        blanks += *p == ' ';
    return blanks;
}

bool make_room(page_set &set, uint32_t size)
{
    if (size <= set.capacity)
        return true;
    const uint32_t capacity = set.capacity == 0 ? 16 : set.capacity * 2;
    void *grown = realloc(set.entries, (size_t)capacity * sizeof(page_entry));
    if (!grown)
        return false;
    set.entries = (page_entry *)grown;
    set.capacity = capacity;
    return true;
}

// The labels that agree with the label of entry i.
uint32_t votes_for(const page_set &set, uint32_t i)
{
    uint32_t votes = 0;
    for (uint32_t j = 0; j < set.size; j++)
        votes += set.entries[j].read && same_archive(set.entries[j], set.entries[i]);
    return votes;
}

// The position of the label that speaks for the stack: the one most labels
// agree with, of those the one with the fewest blanks (the least hidden by
// dirt), the first of those; 0 when no label was read.  A label that agrees
// exactly with one before it cannot do better than that one, which keeps
// the work near the labels times the archives.
uint32_t archive_of_stack(const page_set &set)
{
    uint32_t best = 0, best_votes = 0, best_blanks = 0;
    for (uint32_t i = 0; i < set.size; i++) {
        const page_entry &e = set.entries[i];
        bool repeated = false;
        for (uint32_t j = 0; j < i && !repeated; j++)
            repeated = set.entries[j].read && strcmp(set.entries[j].tail, e.tail) == 0;
        if (!e.read || repeated)
            continue;
        const uint32_t votes = votes_for(set, i), blanks = blanks_in(e);
        if (votes > best_votes || (votes == best_votes && blanks < best_blanks)) {
            best = i + 1;
            best_votes = votes;
            best_blanks = blanks;
        }
    }
    return best;
}

// Whether some scan of the archive carries page `number`: a label that
// says so, or a scan at that position whose label could not be read.
bool page_found(const page_set &set, const page_entry &archive, uint32_t number)
{
    if (number <= set.size) {
        const page_entry &at = set.entries[number - 1];
        if (!at.read && !at.lost)
            return true;
    }
    for (uint32_t i = 0; i < set.size; i++) {
        const page_entry &e = set.entries[i];
        if (e.read && same_archive(e, archive) && e.number == number)
            return true;
    }
    return false;
}

// Runs of consecutive numbers, as a line names them: the first
// max_listed runs, and how many numbers lie beyond them.
constexpr uint32_t max_listed = 12;

struct number_runs {
    uint32_t runs, numbers, beyond;
    uint32_t first[max_listed], last[max_listed];
};

// The numbers 1 .. limit that `wanted` picks.
template <typename predicate>
number_runs runs_of(uint32_t limit, predicate wanted)
{
    number_runs r{};
    for (uint32_t n = 1; n <= limit; n++) {
        if (!wanted(n))
            continue;
        uint32_t last = n;
        while (last < limit && wanted(last + 1))
            last++;
        if (last == n + 1) // two in a row read better as two numbers
            last = n;
        if (r.runs < max_listed) {
            r.first[r.runs] = n;
            r.last[r.runs] = last;
            r.runs++;
        } else {
            r.beyond += last - n + 1;
        }
        r.numbers += last - n + 1;
        n = last;
    }
    return r;
}

// "page 2", "pages 2 and 5", "pages 2, 5 and 7", "pages 2 to 9", and
// "pages 2, 4, ... and 40 more", into `text` of `size` bytes.
void name_pages(const number_runs &r, char *text, size_t size)
{
    size_t used = (size_t)snprintf(text, size, "%s", r.numbers == 1 ? "page" : "pages");
    const uint32_t items = r.runs + (r.beyond > 0 ? 1 : 0);
    for (uint32_t k = 0; k < r.runs && used < size; k++) {
        const char *separator = k == 0 ? " " : k + 1 == items ? " and " : ", ";
        const uint32_t a = r.first[k], b = r.last[k];
        if (b > a)
            used += (size_t)snprintf(text + used, size - used, "%s%u to %u", separator, a, b);
        else
            used += (size_t)snprintf(text + used, size - used, "%s%u", separator, a);
    }
    if (r.beyond > 0 && used < size)
        snprintf(text + used, size - used, " and %u more", r.beyond);
}

} // namespace

bool note_page(page_set &set, uint32_t position, const label_reading *label)
{
    if (!make_room(set, position))
        return false;
    while (set.size < position)
        set.entries[set.size++] = page_entry{};
    page_entry &e = set.entries[position - 1];
    e.lost = label == nullptr;
    e.read = label && label->read;
    if (e.read) {
        e.number = label->number;
        e.count = label->count;
        copy_field(e.name, label->name);
        copy_field(e.format, label->format);
        copy_field(e.tail, label->tail);
    }
    return true;
}

uint32_t announced_count(const page_set &set)
{
    const uint32_t archive = archive_of_stack(set);
    return archive == 0 ? 0 : set.entries[archive - 1].count;
}

namespace {

// One line for each scan of another archive, or of this archive in another
// place; returns how many.
uint32_t check_scans(const page_set &set, const page_entry &archive, const char *base)
{
    uint32_t faults = 0;
    for (uint32_t i = 0; i < set.size; i++) {
        const page_entry &e = set.entries[i];
        if (!e.read)
            continue;
        if (!same_archive(e, archive)) {
            fprintf(stderr,
                    "unpaprel: %s_%04u.png belongs to another archive: its label says page %u of "
                    "%u, \"%s\", where the others say %u pages, \"%s\"\n",
                    base, i + 1, e.number, e.count, e.name, archive.count, archive.name);
            faults++;
        } else if (e.number != i + 1) {
            fprintf(stderr, "unpaprel: %s_%04u.png is page %u of %u by its label, not page %u\n",
                    base, i + 1, e.number, e.count, i + 1);
            faults++;
        }
    }
    return faults;
}

} // namespace

uint32_t check_page_set(const page_set &set, const char *format_argument, const char *base,
                        bool keep_going)
{
    const uint32_t position = archive_of_stack(set);
    if (position == 0)
        return 0;
    const page_entry &archive = set.entries[position - 1];
    if (strcmp(archive.format, format_argument) != 0)
        fprintf(stderr, "unpaprel: warning: the labels give the format %s, not %s\n",
                archive.format, format_argument);
    uint32_t faults = check_scans(set, archive, base);
    // A page a run that keeps going lost is listed with the lost pages.
    const number_runs missing = runs_of(archive.count, [&](uint32_t n) {
        const bool lost = keep_going && n <= set.size && set.entries[n - 1].lost;
        return !lost && !page_found(set, archive, n);
    });
    if (missing.numbers > 0) {
        char pages[512];
        name_pages(missing, pages, sizeof pages);
        fprintf(stderr, "unpaprel: the labels announce %u pages, but %s %s not found%s\n",
                archive.count, pages, missing.numbers == 1 ? "was" : "were",
                keep_going ? "" : "; --keep-going reads past a missing scan");
        faults++;
    }
    return faults;
}

uint32_t report_lost_pages(const page_set &set)
{
    const number_runs lost = runs_of(set.size, [&](uint32_t n) { return set.entries[n - 1].lost; });
    if (lost.numbers == 0)
        return 0;
    char pages[512];
    name_pages(lost, pages, sizeof pages);
    fprintf(stderr, "unpaprel: %s lost, written as %u zero bytes%s\n", pages,
            payload_bytes_per_page, lost.numbers == 1 ? "" : " each");
    return lost.numbers;
}

void release_page_set(page_set &set)
{
    free(set.entries);
    set = page_set{};
}
