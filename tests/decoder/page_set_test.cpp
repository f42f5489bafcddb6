// The checks of a stack of scans against their labels: whole stacks pass in
// silence; swapped pages, strays of another archive, missing pages and lost
// pages are each named on one line, and unreadable labels never accuse.
#include "page_set.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char format[] = "0-65-93-24-3-1-2-24";

// A label as read: "number/count name"; number 0 for an unreadable label,
// and a lost page as "lost".
struct scan {
    uint32_t number, count;
    const char *name;
    bool lost = false;
};

constexpr scan unreadable = {0, 0, "", false};
constexpr scan lost = {0, 0, "", true};

page_set stack_of(const std::vector<scan> &scans, const char *label_format = format)
{
    page_set set{};
    for (uint32_t i = 0; i < scans.size(); i++) {
        const scan &s = scans[i];
        const std::string tail = "/" + std::to_string(s.count) + (*s.name ? " " : "") + s.name;
        const label_reading label = {s.number != 0, s.number,     s.count,
                                     s.name,        label_format, tail.c_str()};
        EXPECT_TRUE(note_page(set, i + 1, s.lost ? nullptr : &label));
    }
    return set;
}

struct verdict {
    uint32_t faults, lost;
    std::string lines;
};

verdict check(const std::vector<scan> &scans, bool keep_going = false,
              const char *label_format = format)
{
    page_set set = stack_of(scans, label_format);
    verdict v{};
    v.lines = capture_stderr([&] {
        v.faults = check_page_set(set, format, "scan", keep_going);
        v.lost = report_lost_pages(set);
    });
    release_page_set(set);
    return v;
}

TEST(PageSet, WholeStacksPassInSilence)
{
    for (const auto &scans :
         {std::vector<scan>{{1, 3, "backup"}, {2, 3, "backup"}, {3, 3, "backup"}},
          std::vector<scan>{{1, 1, ""}}, std::vector<scan>{{1, 2, "b"}, unreadable},
          std::vector<scan>{unreadable, unreadable}, std::vector<scan>{}}) {
        const verdict v = check(scans);
        EXPECT_EQ(v.faults, 0u);
        EXPECT_EQ(v.lines, "");
    }
}

TEST(PageSet, FormatOfTheLabelsIsOnlyAWarning)
{
    const verdict v = check({{1, 1, "x"}}, false, "0-65-93-24-3-1-2-30");
    EXPECT_EQ(v.faults, 0u);
    EXPECT_EQ(v.lines, "unpaprel: warning: the labels give the format 0-65-93-24-3-1-2-30, not "
                       "0-65-93-24-3-1-2-24\n");
}

TEST(PageSet, SwappedPagesAreNamedEach)
{
    const verdict v = check({{2, 3, "backup"}, {1, 3, "backup"}, {3, 3, "backup"}});
    EXPECT_EQ(v.faults, 2u);
    EXPECT_EQ(v.lines, "unpaprel: scan_0001.png is page 2 of 3 by its label, not page 1\n"
                       "unpaprel: scan_0002.png is page 1 of 3 by its label, not page 2\n");
}

// A stray of another archive among three pages shifts the pages after it;
// the archive is the one most labels give, even when the stray comes first.
TEST(PageSet, StrayOfAnotherArchive)
{
    verdict v = check({{1, 3, "backup"}, {1, 2, "other"}, {2, 3, "backup"}, {3, 3, "backup"}});
    EXPECT_EQ(v.faults, 3u);
    EXPECT_EQ(v.lines,
              "unpaprel: scan_0002.png belongs to another archive: its label says page 1 of "
              "2, \"other\", where the others say 3 pages, \"backup\"\n"
              "unpaprel: scan_0003.png is page 2 of 3 by its label, not page 3\n"
              "unpaprel: scan_0004.png is page 3 of 3 by its label, not page 4\n");
    v = check({{1, 9, "x"}, {2, 2, "y"}, {1, 2, "y"}});
    EXPECT_EQ(v.faults, 2u);
    EXPECT_EQ(v.lines,
              "unpaprel: scan_0001.png belongs to another archive: its label says page 1 of "
              "9, \"x\", where the others say 2 pages, \"y\"\n"
              "unpaprel: scan_0003.png is page 1 of 2 by its label, not page 3\n");
}

TEST(PageSet, MissingPagesAreNamed)
{
    // The last page missing, and pages 1 and 3 only (the run stops at 1).
    verdict v = check({{1, 3, "b"}, {2, 3, "b"}});
    EXPECT_EQ(v.faults, 1u);
    EXPECT_EQ(v.lines, "unpaprel: the labels announce 3 pages, but page 3 was not found; "
                       "--keep-going reads past a missing scan\n");
    v = check({{1, 3, "b"}});
    EXPECT_EQ(v.lines, "unpaprel: the labels announce 3 pages, but pages 2 and 3 were not found; "
                       "--keep-going reads past a missing scan\n");
    // An unreadable label stands for the page of its position.
    v = check({{1, 4, "b"}, unreadable, {3, 4, "b"}});
    EXPECT_EQ(v.lines, "unpaprel: the labels announce 4 pages, but page 4 was not found; "
                       "--keep-going reads past a missing scan\n");
}

// A run that keeps going lists its lost pages once, not also as missing.
TEST(PageSet, LostPagesOfARunThatKeepsGoing)
{
    verdict v = check({{1, 4, "b"}, lost, {3, 4, "b"}, lost}, true);
    EXPECT_EQ(v.faults, 0u);
    EXPECT_EQ(v.lost, 2u);
    EXPECT_EQ(v.lines, "unpaprel: pages 2 and 4 lost, written as 199773 zero bytes each\n");
    v = check({lost, {2, 2, "b"}}, true);
    EXPECT_EQ(v.lines, "unpaprel: page 1 lost, written as 199773 zero bytes\n");
    // Pages beyond the last scan that the labels announce are missing.
    v = check({{1, 5, "b"}, lost, {3, 5, "b"}}, true);
    EXPECT_EQ(v.lines, "unpaprel: the labels announce 5 pages, but pages 4 and 5 were not found\n"
                       "unpaprel: page 2 lost, written as 199773 zero bytes\n");
}

TEST(PageSet, LongListsGoInRuns)
{
    std::vector<scan> scans = {{1, 60, "b"}, {2, 60, "b"}};
    for (uint32_t n = 3; n <= 60; n++)
        scans.push_back(n % 2 == 0 && n < 40 ? scan{n, 60, "b"} : unreadable);
    // 3, 5, ..., 39 unreadable: found; 41 to 60 unreadable too, then 61 on
    // nothing.  Only the count matters: 60 pages, all present.
    EXPECT_EQ(check(scans).lines, "");
    scans.resize(3);
    const verdict v = check(scans);
    EXPECT_EQ(v.lines, "unpaprel: the labels announce 60 pages, but pages 4 to 60 were not found; "
                       "--keep-going reads past a missing scan\n");
    std::vector<scan> sparse;
    for (uint32_t n = 1; n <= 40; n += 2)
        sparse.push_back({n, 40, "b"});
    // Every scan in the wrong place from the second on, and every even page missing.
    const verdict w = check(sparse);
    EXPECT_NE(w.lines.find("but pages 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24 and 8 more were "
                           "not found"),
              std::string::npos)
        << w.lines;
}

// Dirt on the black strip can hide a character, which then reads as a
// blank cell: labels that differ only where one shows a space agree, and
// the label least hidden speaks for the stack.
TEST(PageSet, BlanksOfADirtyLabelDoNotAccuse)
{
    verdict v = check({{1, 3, "ba  up"}, {2, 3, "backup"}, {3, 3, "backu"}});
    EXPECT_EQ(v.faults, 0u);
    EXPECT_EQ(v.lines, "");
    // "12/20" with its 0 hidden reads "12/2 ": the count of the others holds.
    v = check({{1, 2, " x"}, {2, 20, "x"}, {3, 20, "x"}});
    EXPECT_EQ(v.lines, "unpaprel: the labels announce 20 pages, but pages 4 to 20 were not found; "
                       "--keep-going reads past a missing scan\n");
    // A character where the others have another is no blot: the second
    // page belongs elsewhere, and so the first one's page 2 is missing.
    v = check({{1, 2, "backup"}, {2, 2, "backap"}});
    EXPECT_EQ(v.faults, 2u);
    EXPECT_EQ(v.lines.find("unpaprel: scan_0002.png belongs to another archive"), 0u);
}

} // namespace
