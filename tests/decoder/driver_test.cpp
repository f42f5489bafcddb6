// The unpaprel program from the command line: usage, help and version,
// format line, capacity report, the page sequence and its end, debug image
// names, the failure path, the refusals, the closing summary and what
// changes on a terminal.  Pages are small framed images, so each decodes
// quickly.
#include "cli.h"
#include "page_state.h"
#include "png_writer.h"
#include "terminal.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

const char usage[] =
    "\nusage: unpaprel <format> <input filename base>\n\n"
    "Example: scan the pages into PNG (not JPEG!) on 600dpi (or 1200dpi, slightly better)\n\n"
    " scan_0001.png\n scan_0002.png\n scan_0003.png\n ...\n\n"
    "Read the number sequence (format specification) from any of the papers and feed it as 1st "
    "argument to the paprel, 2nd argument is the filename part before the underscore:\n\n"
    "unpaprel 0-65-93-24-3-1-2-24 scan > out.ogg\n\n"
    "out.ogg is just an example of payload file you can have any kind of file instead of that.\n\n";

const char capacity_24[] =
    "Format: text height=24\n"
    "Unformatted channel capacity 433.267 kB, formatted raw channel capacity 399.546 kB, "
    "net Golay payload capacity 199.773 kB, 133182 Golay symbols, 0 bits unused (incomplete "
    "Hamming symbol), border taking 1.50439% of unformatted capacity, border with crosses taking "
    "7.78285% of unformatted capacity, border with crosses and Golay taking 53.8914% of "
    "unformatted capacity.\n";

// The page's own lines, from its name to the geometry, worked out by hand:
// 100 black and 1100 white pixels, corners (5, 4), (35, 4), (5, 26), (35, 26).
std::string page_lines(const std::string &name)
{
    const char *level = "Black 0, white 255, cutlevel 26 (0x1a), fill cutlevel 128 (0x80)\n";
    return "Decoding PNG file " + name + "...\n" +
           "Input 40 x 30 pixels, taking 0.0024 megabytes for 2 framebuffers.\n"
           "Average pixel value 234\n" +
           level + level +
           "Removing dirt from the white border: white border identified, data area identified, "
           "erased 0 pixels of dirt.\n"
           "Searching for the corners.\n"
           "One bit is 0.0194049 horizontal pixels and 0.00981267 vertical pixels.\n"
           "Input horizontal pixel vector 1,0, vertical 0,1. skew 0 deg, perpendicularity 90 deg.\n"
           "Allocating search area of 0 x 0 (0) pixels.\n"
           "Upper corners at 5, 4 and 35, 4,\nlower corners at 5, 26 and 35, 26.\n"
           "Cross half for searching is 0 x 0 input pixels.\n";
}

size_t count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

class unpaprel_cli : public ::testing::Test {
protected:
    void TearDown() override { remove_tree(dir); }
    command_result run(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {UNPAPREL_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        command_options options;
        options.dir = dir;
        return run_command(argv, options);
    }
    void page(const std::string &name, const std::vector<uint8_t> &grey = framed_scan())
    {
        ASSERT_TRUE(write_png(dir + "/" + name, 40, 30, grey));
    }
    std::string dir = make_temp_dir();
};

TEST_F(unpaprel_cli, fewer_than_two_arguments_print_the_usage)
{
    for (auto args :
         {std::vector<std::string>{}, std::vector<std::string>{"0-65-93-24-3-1-2-24"}}) {
        command_result r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, usage);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(unpaprel_cli, format_line_and_capacity_report)
{
    command_result r = run({"0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.err.substr(0, sizeof capacity_24 - 1), capacity_24);

    r = run({"0-65-93-24-3-1-2-30", "scan"});
    EXPECT_EQ(r.err.substr(0, r.err.find("unpaprel:")),
              "Format: text height=30\n"
              "Unformatted channel capacity 434.426 kB, formatted raw channel capacity 399.546 kB, "
              "net Golay payload capacity 199.773 kB, 133182 Golay symbols, 0 bits unused "
              "(incomplete Hamming symbol), border taking 1.76727% of unformatted capacity, border "
              "with crosses taking 8.02899% of unformatted capacity, border with crosses and Golay "
              "taking 54.0145% of unformatted capacity.\n");

    // Not a format at all, or one that stops early: the default label height.
    for (const char *format : {"hello", "0-65-93"}) {
        r = run({format, "scan"});
        EXPECT_EQ(r.err.substr(0, sizeof capacity_24 - 1), capacity_24) << format;
    }
}

TEST_F(unpaprel_cli, label_height_that_wraps_the_page_height_is_refused)
{
    for (const char *height : {"4294965078", "4294967295"}) {
        command_result r = run({std::string("0-65-93-24-3-1-2-") + height, "scan"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("Format: text height=") + height + "\nunpaprel: text height " +
                             height + " is out of range\n");
    }
    // The largest height whose page height still fits is taken.
    command_result r = run({"0-65-93-24-3-1-2-4294965077", "scan"});
    EXPECT_NE(r.err.find("Unformatted channel capacity 8.30002E+08 kB"), std::string::npos);
}

TEST_F(unpaprel_cli, missing_first_page)
{
    command_result r = run({"0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(capacity_24) +
                         "unpaprel: cannot open scan_0001.png: No such file or directory\n");
}

TEST_F(unpaprel_cli, pages_until_the_first_missing_one)
{
    page("scan_0001.png");
    page("scan_0002.png");
    page("scan_0003.png");
    page("scan_0005.png");
    command_result r = run({"0-65-93-24-3-1-2-24", "scan"});
    // A frame this small holds no readable bits, so every page has
    // irreparable codewords, and the run must say its payload is damaged.
    EXPECT_EQ(r.status, 1);
    std::string first = std::string(capacity_24) + page_lines("scan_0001.png");
    EXPECT_EQ(r.err.substr(0, first.size()), first);
    for (const char *n : {"0001", "0002", "0003"}) {
        std::string debug = std::string("scan_") + n + "_debug.pgm";
        EXPECT_EQ(count(r.err, "Decoding PNG file scan_" + std::string(n) + ".png...\n"), 1u);
        EXPECT_EQ(count(r.err, "Writing debug image into " + debug + ".\n"), 1u);
        std::string pgm = read_file(dir + "/" + debug);
        EXPECT_EQ(pgm.substr(0, 13), "P5\n40 30\n255\n");
        EXPECT_EQ(pgm.size(), 13u + 1200);
    }
    EXPECT_EQ(count(r.err, "Decoding PNG file"), 3u);
    EXPECT_EQ(r.out.size(), 3u * 199773);
    EXPECT_FALSE(file_exists(dir + "/scan_0005_debug.pgm"));
    size_t last_page = r.err.rfind("Writing debug image into scan_0003_debug.pgm.\n");
    ASSERT_NE(last_page, std::string::npos);
    std::string tail = r.err.substr(last_page + 46);
    unsigned long damaged = 0;
    ASSERT_EQ(sscanf(tail.c_str(), "unpaprel: %lu irreparable codewords, the payload is damaged\n",
                     &damaged),
              1)
        << tail;
    EXPECT_EQ(tail, "unpaprel: " + std::to_string(damaged) +
                        " irreparable codewords, the payload is damaged\n");
    EXPECT_EQ(damaged % 3, 0u) << "three identical pages";
    EXPECT_GT(damaged, 0u);
}

TEST_F(unpaprel_cli, base_with_directory_and_failure_image_in_the_working_directory)
{
    mkdir((dir + "/sub").c_str(), 0755);
    page("sub/scan_0001.png");
    // Page 2 is white paper with one speck: the speck is erased as dirt, and
    // then no corner is left to find.
    std::vector<uint8_t> speck(40 * 30, 255);
    speck[3 * 40 + 30] = speck[3 * 40 + 31] = speck[4 * 40 + 30] = speck[4 * 40 + 31] = 0;
    page("sub/scan_0002.png", speck);
    command_result r = run({"0-65-93-24-3-1-2-24", "sub/scan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.size(), 199773u); // the first page's payload stays written
    EXPECT_TRUE(file_exists(dir + "/sub/scan_0001_debug.pgm"));
    EXPECT_FALSE(file_exists(dir + "/sub/scan_0002_debug.pgm"));
    std::string tail = "erased 4 pixels of dirt.\nSearching for the corners.\n"
                       "Error: cannot find upper left corner\nSee failure_debug.pgm why.\n";
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
    EXPECT_EQ(read_file(dir + "/failure_debug.pgm"),
              "P5\n40 30\n255\n" + std::string(1200, '\xff'));
}

TEST_F(unpaprel_cli, debug_image_that_cannot_be_written_is_only_a_warning)
{
    page("scan_0001.png");
    page("scan_0002.png");
    mkdir((dir + "/scan_0001_debug.pgm").c_str(), 0755);
    command_result r = run({"0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.status, 1) << "the frames hold irreparable codewords";
    EXPECT_NE(r.err.find("Writing debug image into scan_0001_debug.pgm.\n"
                         "Warning: cannot open dumpfile scan_0001_debug.pgm: Is a directory\n"
                         "Decoding PNG file scan_0002.png...\n"),
              std::string::npos);
    EXPECT_TRUE(file_exists(dir + "/scan_0002_debug.pgm"));
}

TEST_F(unpaprel_cli, broken_page_ends_the_run_naming_the_file)
{
    page("scan_0001.png");
    write_file(dir + "/scan_0002.png", "GIF89a not a PNG at all");
    command_result r = run({"0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.status, 1);
    std::string tail = "Decoding PNG file scan_0002.png...\n"
                       "unpaprel: cannot read PNG file scan_0002.png: Not a PNG file\n";
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
    EXPECT_EQ(r.out.size(), 199773u);
    EXPECT_TRUE(file_exists(dir + "/scan_0001_debug.pgm"));
    EXPECT_FALSE(file_exists(dir + "/failure_debug.pgm"));
}

// The page limit, lowered so that a few small pages reach it.  A run that
// ends exactly at the limit is complete; only a page beyond it is an error.
// Each run happens in a child process, with the payload sent to /dev/null.
TEST_F(unpaprel_cli, page_limit_fails_only_when_a_page_lies_beyond_it)
{
    page("scan_0001.png");
    page("scan_0002.png");
    std::string base = dir + "/scan";
    auto decode = [&base]() {
        if (!freopen("/dev/null", "w", stdout))
            exit(99);
        decoder_run run;
        run.page_limit = 2;
        char format[] = "0-65-93-24-3-1-2-24";
        char *argv[] = {(char *)"unpaprel", format, &base[0], nullptr};
        exit(unpaprel_main(run, 3, argv));
    };
    // The frames hold irreparable words, so the complete run ends with the
    // damage line, not with the page limit.
    EXPECT_EXIT(
        decode(), ::testing::ExitedWithCode(1),
        "scan_0002_debug.pgm.\nunpaprel: [0-9]+ irreparable codewords, the payload is damaged\n$");
    page("scan_0003.png");
    EXPECT_EXIT(decode(), ::testing::ExitedWithCode(1),
                "scan_0002_debug.pgm.\nunpaprel: Too many pages - 10,000 or more.\n$");
}

// Options stand before the format or after the base; an unknown one before
// them is named, one after them is ignored like any other extra argument.
TEST_F(unpaprel_cli, options_and_unknown_options)
{
    command_result r = run({"--bogus", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "unpaprel: unknown option --bogus\n" + std::string(usage));
    r = run({"--keep-going", "0-65-93-24-3-1-2-24"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, usage);
    page("scan_0001.png");
    const command_result plain = run({"0-65-93-24-3-1-2-24", "scan"});
    for (auto args : {std::vector<std::string>{"0-65-93-24-3-1-2-24", "scan", "--bogus"},
                      std::vector<std::string>{"--keep-going", "0-65-93-24-3-1-2-24", "scan"},
                      std::vector<std::string>{"0-65-93-24-3-1-2-24", "scan", "--keep-going"}}) {
        r = run(args);
        EXPECT_EQ(r.err, plain.err) << args[0] << " " << args[2];
        EXPECT_EQ(r.status, plain.status);
    }
}

// With --keep-going a missing scan within the stack, and one in which no
// page frame is found, become pages of zero bytes: the pages after them
// keep their places in the payload, and the run ends with status 1 and the
// list of lost pages.
TEST_F(unpaprel_cli, keep_going_writes_lost_pages_as_zero_bytes)
{
    page("scan_0001.png");
    page("scan_0003.png");
    std::vector<uint8_t> speck(40 * 30, 255);
    speck[3 * 40 + 30] = 0;
    page("scan_0004.png", speck);
    page("scan_0005.png");
    const command_result r = run({"--keep-going", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.out.size(), 5u * 199773);
    const std::string zeros(199773, '\0');
    EXPECT_TRUE(r.out.substr(199773, 199773) == zeros) << "page 2";
    EXPECT_TRUE(r.out.substr(3 * 199773, 199773) == zeros) << "page 4";
    EXPECT_TRUE(r.out.substr(2 * 199773, 199773) == r.out.substr(0, 199773)) << "pages 1 and 3";
    EXPECT_NE(r.err.find("Writing debug image into scan_0001_debug.pgm.\n"
                         "Scan scan_0002.png is missing.\n"
                         "Page 2 is lost; writing it as 199773 zero bytes.\n"
                         "Decoding PNG file scan_0003.png...\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("Error: cannot find upper left corner\nSee failure_debug.pgm why.\n"
                         "Page 4 is lost; writing it as 199773 zero bytes.\n"
                         "Decoding PNG file scan_0005.png...\n"),
              std::string::npos);
    EXPECT_TRUE(file_exists(dir + "/failure_debug.pgm"));
    EXPECT_TRUE(file_exists(dir + "/scan_0005_debug.pgm"));
    const size_t end =
        r.err.find("unpaprel: pages 2 and 4 lost, written as 199773 zero bytes each\n"
                   "unpaprel: ");
    EXPECT_NE(end, std::string::npos);
    EXPECT_EQ(r.err.find("irreparable codewords", end), r.err.rfind("irreparable codewords"));
}

// Nothing after the last scan is lost; a missing first scan is lost only
// when a later scan exists.
TEST_F(unpaprel_cli, keep_going_ends_with_the_last_scan)
{
    page("scan_0001.png");
    page("scan_0002.png");
    command_result plain = run({"0-65-93-24-3-1-2-24", "scan"});
    command_result going = run({"--keep-going", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(going.err, plain.err);
    EXPECT_TRUE(going.out == plain.out);
    EXPECT_EQ(going.status, plain.status);

    std::remove((dir + "/scan_0001.png").c_str());
    going = run({"--keep-going", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(going.status, 1);
    EXPECT_EQ(going.out.size(), 2u * 199773);
    EXPECT_TRUE(going.out.substr(0, 199773) == std::string(199773, '\0'));
    EXPECT_EQ(going.err.find("Scan scan_0001.png is missing.\nPage 1 is lost; writing it as 199773 "
                             "zero bytes.\nDecoding PNG file scan_0002.png...\n"),
              sizeof capacity_24 - 1);
    std::remove((dir + "/scan_0002.png").c_str());
    going = run({"--keep-going", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(going.err, std::string(capacity_24) +
                             "unpaprel: cannot open scan_0001.png: No such file or directory\n");
}

// --help and --version answer on standard output wherever they stand and
// end the run before any scan is read; an answer that cannot be written
// fails like a payload that cannot.
TEST_F(unpaprel_cli, help_and_version_answer_on_standard_output)
{
    page("scan_0001.png");
    command_result r = run({"--version", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "unpaprel 1.0\n");
    EXPECT_EQ(r.err, "");
    r = run({"0-65-93-24-3-1-2-24", "scan", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Usage: unpaprel [OPTION]... FORMAT BASE > FILE\n", 0), 0u);
    for (const char *option : {"--keep-going", "--labels", "--max-pixels N", "--no-debug",
                               "--summary", "--help", "--version"})
        EXPECT_NE(r.out.find(std::string("\n  ") + option + " "), std::string::npos) << option;
    EXPECT_NE(r.out.find("\n  unpaprel 0-65-93-24-3-1-2-24 backup > restored.bin\n"),
              std::string::npos);
    EXPECT_FALSE(file_exists(dir + "/scan_0001_debug.pgm"));

    command_options full;
    full.stdout_path = "/dev/full";
    r = run_command({UNPAPREL_BIN, "--help"}, full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "unpaprel: cannot write output: No space left on device\n");
}

// --no-debug writes no debug image beside the scans and drops only the
// lines that announce them; failure_debug.pgm still explains a lost frame.
TEST_F(unpaprel_cli, no_debug_keeps_only_the_failure_image)
{
    page("scan_0001.png");
    std::vector<uint8_t> speck(40 * 30, 255);
    speck[3 * 40 + 30] = 0;
    page("scan_0002.png", speck);
    const command_result plain = run({"0-65-93-24-3-1-2-24", "scan"});
    std::remove((dir + "/scan_0001_debug.pgm").c_str());
    std::remove((dir + "/failure_debug.pgm").c_str());
    const command_result quiet = run({"--no-debug", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(quiet.status, plain.status);
    EXPECT_TRUE(quiet.out == plain.out);
    std::string expected = plain.err;
    const std::string line = "Writing debug image into scan_0001_debug.pgm.\n";
    ASSERT_NE(expected.find(line), std::string::npos);
    expected.erase(expected.find(line), line.size());
    EXPECT_EQ(quiet.err, expected);
    EXPECT_FALSE(file_exists(dir + "/scan_0001_debug.pgm"));
    EXPECT_TRUE(file_exists(dir + "/failure_debug.pgm"));
}

// Corrected bits and irreparable codewords of a whole transcript, summed
// from every page's Golay table.
std::pair<unsigned long, unsigned long> golay_totals(const std::string &err)
{
    unsigned long corrected = 0, irreparable = 0;
    for (size_t at = err.find("Golay stats\n"); at != std::string::npos;
         at = err.find("Golay stats\n", at + 1)) {
        unsigned long g[5] = {};
        EXPECT_EQ(sscanf(err.c_str() + at,
                         "Golay stats\n===========\n0 bad bits %lu\n1 bad bit %lu\n2 bad bits "
                         "%lu\n3 bad bits %lu\n4 bad bits %lu\n",
                         &g[0], &g[1], &g[2], &g[3], &g[4]),
                  5);
        corrected += g[1] + 2 * g[2] + 3 * g[3];
        irreparable += g[4];
    }
    return {corrected, irreparable};
}

// The summary line, and after lost codewords the line on what may give
// them back.
std::string summary(const std::string &pages, const std::string &err)
{
    const auto totals = golay_totals(err);
    const std::string remedy =
        totals.second == 0
            ? ""
            : "unpaprel: --soft weighs how dark each bit was and may give them back; a second "
              "scan of the damaged pages, read with the first, gives more: unpaprel --soft "
              "0-65-93-24-3-1-2-24 scan RESCAN > restored.bin\n";
    return "unpaprel: " + pages + " bytes written, " + std::to_string(totals.first) +
           " bits corrected, " + std::to_string(totals.second) + " irreparable codewords\n" +
           remedy;
}

// With --summary the run ends with one more line (two after irreparable
// codewords) and nothing else changes:
// after the last page, after a failure (the pages decoded so far), with
// the lost pages of a run that keeps going; none before a scan was opened.
TEST_F(unpaprel_cli, summary_line_closes_every_run_that_opened_a_scan)
{
    const std::vector<std::string> line = {"0-65-93-24-3-1-2-24", "scan"};
    const std::vector<std::string> with = {"--summary", "0-65-93-24-3-1-2-24", "scan"};
    command_result plain = run(line);
    EXPECT_EQ(run(with).err, plain.err) << "page 1 missing";

    page("scan_0001.png");
    page("scan_0002.png");
    page("scan_0003.png");
    plain = run(line);
    ASSERT_GT(golay_totals(plain.err).second, 0u);
    command_result r = run(with);
    EXPECT_EQ(r.status, plain.status);
    EXPECT_EQ(r.err, plain.err + summary("3 pages decoded, 599319", plain.err));

    write_file(dir + "/scan_0002.png", "GIF89a not a PNG at all");
    plain = run(line);
    r = run(with);
    EXPECT_EQ(r.err, plain.err + summary("1 page decoded, 199773", plain.err));

    std::remove((dir + "/scan_0002.png").c_str());
    page("scan_0005.png");
    plain = run({"--keep-going", "0-65-93-24-3-1-2-24", "scan"});
    r = run({"--keep-going", "--summary", "0-65-93-24-3-1-2-24", "scan"});
    EXPECT_EQ(r.err, plain.err + summary("3 pages decoded, 2 pages lost, 998865", plain.err));
}

// On a terminal: standard output is refused before any scan is read (a
// wrong command line still gets its usage text first), and standard error
// ends with the summary without being asked.
TEST_F(unpaprel_cli, terminal_refuses_the_payload_and_gets_the_summary)
{
    page("scan_0001.png");
    command_options options;
    options.dir = dir;
    terminal_result t = run_on_terminal({UNPAPREL_BIN, "0-65-93-24-3-1-2-24", "scan"}, options);
    EXPECT_EQ(t.status, 1);
    EXPECT_EQ(t.screen, "unpaprel: standard output is a terminal; redirect the payload into a "
                        "file: unpaprel FORMAT BASE > restored.bin\n");
    EXPECT_FALSE(file_exists(dir + "/scan_0001_debug.pgm"));
    t = run_on_terminal({UNPAPREL_BIN, "0-65-93-24-3-1-2-24"}, options);
    EXPECT_EQ(t.status, 1);
    EXPECT_EQ(t.screen, usage);
    t = run_on_terminal({UNPAPREL_BIN, "--version"}, options);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.screen, "unpaprel 1.0\n");

    const command_result piped = run({"--summary", "0-65-93-24-3-1-2-24", "scan"});
    options.stdout_path = dir + "/restored.bin";
    t = run_on_terminal({UNPAPREL_BIN, "0-65-93-24-3-1-2-24", "scan"}, options);
    EXPECT_EQ(t.status, piped.status);
    EXPECT_EQ(t.screen, piped.err);
    EXPECT_TRUE(read_file(dir + "/restored.bin") == piped.out);
}

} // namespace
