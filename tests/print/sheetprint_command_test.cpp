// The sheetprint command line as a user meets it: usage, --help and
// --version, refusals and their messages, checked page files, failed
// writes, outputs that would clobber a page or follow a symbolic link or
// flood a terminal, the document skeletons (PDF cross-reference offsets are
// checked against the bytes themselves), and the text sheets before pages
// that stay as they were.
#include "cli.h"
#include "print_fixture.h"
#include "terminal.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string sheetprint = SHEETPRINT_BIN;

std::string base_name(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

struct command_test : ::testing::Test {
    std::string dir = make_temp_dir();
    std::string page = dir + "/doc_0001.pgm";
    std::string out = dir + "/out.pdf";

    void SetUp() override { write_random_page(page, 11); }
    void TearDown() override { remove_tree(dir); }

    command_result run(std::vector<std::string> args, const command_options &options = {})
    {
        args.insert(args.begin(), sheetprint);
        return run_command(args, options);
    }
};

const std::string usage_start = "\nUsage: sheetprint [options] <page.pgm>...\n\n";

// The usage text after a wrong command line is the short one it always
// was; an unknown option is named before it.  --help and --version answer
// on standard output.
TEST_F(command_test, UsageWithoutPages)
{
    const std::string short_usage = run({"-h"}).err;
    for (std::vector<std::string> args :
         {std::vector<std::string>{}, {"-o", out}, {"-h"}, {"-o"}, {"-x"}, {"--bogus=1", page}}) {
        command_result r = run(args);
        EXPECT_EQ(r.status, args.size() == 1 && args[0] == "-h" ? 0 : 1);
        std::string named = args.size() && args[0] == "-x" ? "sheetprint: unknown option -x\n"
                            : args.size() && args[0] == "--bogus=1"
                                ? "sheetprint: unknown option --bogus\n"
                                : "";
        EXPECT_EQ(r.err, named + short_usage);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(file_exists(out));
    }
    EXPECT_EQ(short_usage.rfind(usage_start, 0), 0u) << short_usage;
    EXPECT_NE(short_usage.find("actual size (100%)"), std::string::npos);
    EXPECT_EQ(short_usage.find("--cover"), std::string::npos);

    command_result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind(usage_start, 0), 0u);
    for (const char *option : {"-o FILE", "--cover FILE", "--format-pages", "--version", "100%"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;

    command_result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "sheetprint 1.0\n");
    EXPECT_EQ(version.err, "");
    command_options to_full;
    to_full.stdout_path = "/dev/full";
    version = run({"--version"}, to_full);
    EXPECT_EQ(version.status, 1);
    EXPECT_EQ(version.err,
              "sheetprint: cannot write to standard output: No space left on device\n");
}

TEST_F(command_test, RefusesBadSettingsBeforeWritingAnything)
{
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-r", "0"}, "the resolution (-r) must be a whole number from 72 to 9600, not \"0\""},
        {{"-r", "600x"},
         "the resolution (-r) must be a whole number from 72 to 9600, not \"600x\""},
        {{"-r", "-600"},
         "the resolution (-r) must be a whole number from 72 to 9600, not \"-600\""},
        {{"-r", "99999999999999999999"},
         "the resolution (-r) must be a whole number from 72 to 9600, not "
         "\"99999999999999999999\""},
        {{"-d", "65"}, "the dots per pixel (-d) must be a whole number from 1 to 64, not \"65\""},
        {{"-g", "3"},
         "the toner spread compensation (-g) must be a whole number from 0 to 2, not \"3\""},
        // The limit follows -d even when -g comes first.
        {{"-g", "6", "-r", "1200", "-d", "6"},
         "the toner spread compensation (-g) must be a whole number from 0 to 5, not \"6\""},
        {{"-p", "a3"}, "unknown paper \"a3\"; a4 and letter are known"},
        {{"-f", "svg"}, "unknown format \"svg\"; ps and pdf are known"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", out, page});
        command_result r = run(args);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.err, "sheetprint: " + c.message + "\n");
        EXPECT_FALSE(file_exists(out));
    }
}

TEST_F(command_test, RefusesAPageThatDoesNotFitAndSaysWhatWould)
{
    command_result r = run({"-p", "letter", "-o", out, page});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("at 600 dpi with 3 dots per pixel the page is 7.73 x 11.21 in, but "
                         "letter paper"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("1200 dpi with 5 dots per pixel (6.44 x 9.34 in)"), std::string::npos);
    EXPECT_FALSE(file_exists(out));
    // The suggestion itself is accepted, with the paper's name as printed.
    for (const char *paper : {"letter", "Letter", "LETTER"})
        EXPECT_EQ(run({"-p", paper, "-r", "1200", "-d", "5", "-o", out, page}).status, 0) << paper;
    EXPECT_EQ(run({"-p", "A4", "-o", out, page}).status, 0);
}

TEST_F(command_test, ChecksEveryPageFileBeforeCreatingTheOutput)
{
    write_file(dir + "/small.pgm", "P5\n3 2\n255\n" + std::string(6, '\0'));
    write_file(dir + "/text.txt", "hello\n");
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {dir + "/missing.pgm", "cannot open " + dir + "/missing.pgm: No such file or directory"},
        {dir + "/small.pgm",
         dir + "/small.pgm: not a paprel page: the size is not 1546 x 2242 pixels"},
        {dir + "/text.txt", dir + "/text.txt: not a binary PGM file (it does not start with P5)"},
    };
    for (const auto &c : cases) {
        command_result r = run({"-o", out, page, c.file});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "sheetprint: " + c.message + "\n");
        EXPECT_FALSE(file_exists(out));
    }
}

TEST_F(command_test, AFailureWhileWritingLeavesNoDocument)
{
    // The header is right, so the page passes the first check; its pixels
    // end early, which shows only while the document is being written.
    std::string whole = read_file(page);
    std::string cut = dir + "/doc_0002.pgm";
    write_file(cut, whole.substr(0, whole.size() - 1));
    for (const char *name : {"/out.pdf", "/out.ps"}) {
        command_result r = run({"-o", dir + name, page, cut});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "sheetprint: " + cut + ": the file ends before the last pixel\n");
        EXPECT_FALSE(file_exists(dir + name));
    }
}

TEST_F(command_test, ReportsAFullDevice)
{
    command_result r = run({"-o", "/dev/full", page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: cannot write /dev/full: No space left on device\n");
    EXPECT_TRUE(file_exists("/dev/full")); // a device is never removed

    command_options to_full;
    to_full.stdout_path = "/dev/full";
    r = run({"-f", "pdf", page}, to_full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: cannot write to standard output: No space left on device\n");

    r = run({"-o", dir + "/no/such/dir.ps", page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: cannot open " + dir +
                         "/no/such/dir.ps for writing: No such file or directory\n");
}

// Opening the output truncates it, so an output that is one of the pages,
// by another path or a hard link, is refused before anything is opened;
// so is any other paprel page, as after "-o *.pgm" puts page 1 after -o.
// A file that is no page is still overwritten.
TEST_F(command_test, NeverWritesTheDocumentOverAPage)
{
    const std::string second = dir + "/doc_0002.pgm";
    write_random_page(second, 12);
    const std::string pages[] = {read_file(page), read_file(second)};
    const std::string link = dir + "/link.ps";
    ASSERT_EQ(::link(second.c_str(), link.c_str()), 0);
    for (const std::string &output :
         {dir + "/./doc_0002.pgm", dir + "/../" + base_name(dir) + "/doc_0002.pgm", link}) {
        command_result r = run({"-o", output, page, second});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "sheetprint: the output " + output + " is the page file " + second +
                             "; not overwriting it\n");
    }
    command_result r = run({"-o", page, second}); // -o doc_*.pgm
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: the output " + page + " is a paprel page; not overwriting it\n");
    EXPECT_EQ(read_file(page), pages[0]);
    EXPECT_EQ(read_file(second), pages[1]);
    EXPECT_EQ(read_file(link), pages[1]);

    write_file(out, "an old document");
    EXPECT_EQ(run({"-o", out, page, second}).status, 0);
    EXPECT_EQ(read_file(out).rfind("%PDF-1.4\n", 0), 0u);
}

// A symbolic link where the document goes is refused with the system's
// reason; the file it points at stays as it was.
TEST_F(command_test, RefusesASymbolicLinkAsTheOutput)
{
    write_file(dir + "/precious", "not a document");
    ASSERT_EQ(symlink("precious", (dir + "/doc.ps").c_str()), 0);
    command_result r = run({"-o", dir + "/doc.ps", page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: cannot open " + dir +
                         "/doc.ps for writing: Too many levels of symbolic links\n");
    EXPECT_EQ(read_file(dir + "/precious"), "not a document");
}

TEST_F(command_test, FormatFollowsTheOptionOrTheFileName)
{
    const struct {
        std::vector<std::string> args;
        bool to_stdout;
        const char *start;
    } cases[] = {
        {{"-o", dir + "/a.pdf"}, false, "%PDF-1.4\n"},
        {{"-o", dir + "/a.PDF"}, false, "%PDF-1.4\n"},
        {{"-o", dir + "/a.ps"}, false, "%!PS-Adobe-3.0\n"},
        {{"-o", dir + "/pdf"}, false, "%!PS-Adobe-3.0\n"},
        {{"-f", "ps", "-o", dir + "/b.pdf"}, false, "%!PS-Adobe-3.0\n"},
        {{"-f", "pdf", "-o", dir + "/b.ps"}, false, "%PDF-1.4\n"},
        {{}, true, "%!PS-Adobe-3.0\n"},
        {{"-f", "pdf"}, true, "%PDF-1.4\n"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(page);
        command_result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::string document = c.to_stdout ? r.out : read_file(c.args.back());
        EXPECT_EQ(document.rfind(c.start, 0), 0u) << c.start;
        if (!c.to_stdout) {
            EXPECT_EQ(r.out, "");
        }
    }
}

// Every offset in the cross-reference table must point at its object, and
// startxref at the table: a viewer trusts them blindly.
void expect_cross_reference(const std::string &pdf, int objects)
{
    size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    size_t table = std::stoul(pdf.substr(startxref + 10));
    std::string head = "xref\n0 " + std::to_string(objects) + "\n";
    ASSERT_EQ(pdf.compare(table, head.size(), head), 0);
    size_t entry = table + head.size();
    EXPECT_EQ(pdf.substr(entry, 20), "0000000000 65535 f \n");
    for (int object = 1; object < objects; object++) {
        std::string line = pdf.substr(entry + 20 * object, 20);
        ASSERT_EQ(line.substr(10), " 00000 n \n");
        size_t offset = std::stoul(line.substr(0, 10));
        std::string expected = std::to_string(object) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, expected.size(), expected), 0) << "object " << object;
    }
    EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
}

TEST_F(command_test, PdfCrossReferencePointsAtEveryObject)
{
    std::string second = dir + "/doc_0002.pgm";
    write_random_page(second, 12);
    ASSERT_EQ(run({"-o", out, page, second}).status, 0);
    std::string pdf = read_file(out);
    expect_cross_reference(pdf, 12); // 4 + 4 objects per page
    EXPECT_NE(pdf.find("/Count 2 /Kids [\n4 0 R 8 0 R ]"), std::string::npos);
    EXPECT_NE(pdf.find("/Interpolate false"), std::string::npos);
    EXPECT_NE(pdf.find("/MediaBox [0 0 595 842]"), std::string::npos);
}

TEST_F(command_test, PostScriptAnnouncesItsPages)
{
    std::string second = dir + "/doc_0002.pgm";
    write_random_page(second, 12);
    std::string ps = dir + "/out.ps";
    ASSERT_EQ(run({"-p", "letter", "-r", "1200", "-d", "5", "-o", ps, page, second}).status, 0);
    std::string text = read_file(ps);
    EXPECT_NE(text.find("%%Pages: 2\n"), std::string::npos);
    EXPECT_NE(text.find("%%BoundingBox: 0 0 612 792\n"), std::string::npos);
    EXPECT_NE(text.find("\n%%Page: 2 2\n"), std::string::npos);
    EXPECT_NE(text.find("0.06 0.06 scale\n1235 995 translate\n7730 11210 sheetprint_image\n"),
              std::string::npos);
    // The document is plain 7-bit text and ends with the trailer.
    for (unsigned char c : text)
        ASSERT_LT(c, 128);
    EXPECT_EQ(text.substr(text.size() - 16), "%%Trailer\n%%EOF\n");
}

// The number N in the line "%%Pages: N" of a PostScript document; 0 if none.
unsigned pages_line(const std::string &ps)
{
    const size_t at = ps.find("%%Pages: ");
    return at == std::string::npos ? 0 : (unsigned)std::stoul(ps.substr(at + 9));
}

// The cover and the description come before the pages and change nothing
// of them: the pages' part of either document is the same byte for byte.
// The description's sheets are counted from a document of them alone, so
// that the test follows docs/FORMAT.md as it grows.
TEST_F(command_test, TextSheetsComeFirstAndLeaveThePagesAlone)
{
    const std::string second = dir + "/doc_0002.pgm", notes = dir + "/notes.txt";
    write_random_page(second, 12);
    write_file(notes, "abc");
    const std::string sha = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::string format_only = dir + "/format.ps";
    ASSERT_EQ(run({"--format-pages", "-o", format_only}).status, 0);
    const std::string description = read_file(format_only);
    const unsigned format_sheets = pages_line(description);
    ASSERT_GE(format_sheets, 1u);
    EXPECT_NE(description.find("%%Page: 1 1\nsave\n/Courier findfont"), std::string::npos);
    EXPECT_NE(description.find("(# The paprel page format) show"), std::string::npos);

    const std::string plain = dir + "/plain.ps", covered = dir + "/covered.ps";
    ASSERT_EQ(run({"-o", plain, page, second}).status, 0);
    command_result r = run({"--cover", notes, "--format-pages", "-o", covered, page, second});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err + r.out, "");
    std::string a = read_file(plain), b = read_file(covered);
    const unsigned text_sheets = 1 + format_sheets;
    EXPECT_EQ(pages_line(b), text_sheets + 2);
    EXPECT_NE(b.find("%%DocumentNeededResources: font Helvetica Courier\n"), std::string::npos);
    EXPECT_NE(b.find("%%Page: 1 1\nsave\n/Courier findfont"), std::string::npos);
    EXPECT_NE(b.find("/sheetprint_courier exch definefont 11 scalefont setfont\n"),
              std::string::npos);
    EXPECT_NE(b.find("(SHA-256: " + sha + ") show"), std::string::npos);
    EXPECT_NE(b.find("(  2. unpaprel 0-65-93-24-3-1-2-24 doc > restored.bin) show"),
              std::string::npos);
    // The description follows the cover.
    EXPECT_LT(b.find("(SHA-256: "), b.find("(# The paprel page format) show"));
    // Each page after its %%Page line, compared as a whole (a diff of two
    // documents would take minutes to print).
    for (unsigned n = 1; n <= 2; n++) {
        const std::string page_line =
            "%%Page: " + std::to_string(n) + " " + std::to_string(n) + "\n";
        const unsigned m = text_sheets + n;
        const std::string moved = "%%Page: " + std::to_string(m) + " " + std::to_string(m) + "\n";
        const size_t start_a = a.find(page_line), start_b = b.find(moved);
        ASSERT_NE(start_b, std::string::npos) << moved;
        const size_t end_a = a.find("showpage\n", start_a), end_b = b.find("showpage\n", start_b);
        EXPECT_TRUE(a.compare(start_a + page_line.size(), end_a - start_a - page_line.size(), b,
                              start_b + moved.size(), end_b - start_b - moved.size()) == 0)
            << page_line;
    }
    const std::string plain_pdf = dir + "/plain.pdf", covered_pdf = dir + "/covered.pdf";
    ASSERT_EQ(run({"-o", plain_pdf, page, second}).status, 0);
    ASSERT_EQ(run({"--format-pages", "--cover", notes, "-o", covered_pdf, page, second}).status, 0);
    a = read_file(plain_pdf);
    b = read_file(covered_pdf);
    // The Courier font, two objects per text sheet; the text sheets' page
    // objects come first in the page tree, from object 13 on.
    expect_cross_reference(b, 12 + 1 + 2 * text_sheets);
    EXPECT_NE(b.find("/Count " + std::to_string(text_sheets + 2) + " /Kids [\n"),
              std::string::npos);
    std::string kids, listed = b.substr(b.find("/Kids [\n") + 8);
    for (unsigned k = 0; k < text_sheets; k++)
        kids += std::to_string(13 + 2 * k) + " 0 R ";
    listed = listed.substr(0, listed.find("]"));
    std::replace(listed.begin(), listed.end(), '\n', ' '); // the list is wrapped
    EXPECT_EQ(listed, kids + "4 0 R 8 0 R ");
    EXPECT_NE(b.find("(SHA-256: " + sha + ") Tj T*"), std::string::npos);
    size_t pages_a = a.find("\n4 0 obj\n"), pages_b = b.find("\n4 0 obj\n");
    ASSERT_NE(pages_b, std::string::npos);
    EXPECT_TRUE(a.compare(pages_a, a.find("xref\n") - pages_a, b, pages_b,
                          b.find("xref\n") - pages_b) == 0);

    // The cover alone before the pages: one text sheet.
    const std::string cover_only = dir + "/cover.ps";
    ASSERT_EQ(run({"--cover", notes, "-o", cover_only, page}).status, 0);
    EXPECT_EQ(pages_line(read_file(cover_only)), 2u);
}

TEST_F(command_test, CoverRefusals)
{
    const std::string notes = dir + "/notes.txt";
    write_file(notes, "keep me");
    command_result r = run({"--cover", dir + "/missing", "-o", out, page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: cannot read " + dir + "/missing: No such file or directory\n");
    r = run({"--cover", dir, "-o", out, page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: cannot read " + dir + ": Is a directory\n");
    EXPECT_FALSE(file_exists(out));
    r = run({"--cover", notes, "-o", notes, page});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sheetprint: the output " + notes + " is the file " + notes +
                         " of the cover sheet; not overwriting it\n");
    EXPECT_EQ(read_file(notes), "keep me");
    r = run({"--cover"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, run({"-h"}).err);
}

// The refusal comes before any page is read: a missing page is not even
// noticed.  With -o, or for --help, the terminal is fine.
TEST_F(command_test, RefusesToWriteTheDocumentToATerminal)
{
    const std::string refusal = "sheetprint: standard output is a terminal; give -o FILE or "
                                "redirect it (sheetprint ... > pages.ps)\n";
    auto on_terminal = [&](std::vector<std::string> args) {
        args.insert(args.begin(), sheetprint);
        return run_on_terminal(args);
    };
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{page}, {dir + "/missing.pgm"}, {"--format-pages"}}) {
        terminal_result r = on_terminal(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.screen, refusal);
    }
    terminal_result r = on_terminal({"-o", out, page});
    EXPECT_EQ(r.status, 0) << r.screen;
    EXPECT_EQ(r.screen, "");
    EXPECT_TRUE(file_exists(out));
    r = on_terminal({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.screen, "sheetprint 1.0\n");
}

} // namespace
