// The text before the pages: the SHA-256 a cover prints against the FIPS
// 180-2 examples, the cover's lines for a small file as a restorer reads
// them, names that a shell or Courier would garble, the wrapping of long
// lines, the Markdown as plain text, and the base of the scan names.
#include "sha256.h"
#include "text_sheets.h"

#include "cli.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string digest(const std::string &message, size_t chunk)
{
    sha256_state state;
    sha256_begin(&state);
    for (size_t i = 0; i < message.size(); i += chunk)
        sha256_update(&state, message.data() + i, std::min(chunk, message.size() - i));
    char hex[65];
    sha256_finish(&state, hex);
    return hex;
}

// Uneven chunks cross the 64-byte blocks everywhere; 55, 56 and 64 bytes
// are where the padding needs one block or two.
TEST(sha256, KnownAnswers)
{
    const struct {
        std::string message;
        const char *hex;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    };
    for (const auto &c : cases)
        for (size_t chunk : {(size_t)1000000, (size_t)1, (size_t)63, (size_t)999})
            EXPECT_EQ(digest(c.message, chunk), c.hex) << c.message.size() << " in " << chunk;
}

std::vector<std::string> lines_of(const text_lines &lines)
{
    return std::vector<std::string>(lines.line, lines.line + lines.count);
}

std::vector<std::string> cover_of(const cover_facts &facts)
{
    text_lines lines;
    EXPECT_TRUE(cover_lines(facts, &lines));
    std::vector<std::string> text = lines_of(lines);
    free_lines(&lines);
    // One whole sheet, every line within the text's width.
    EXPECT_EQ(text.size(), lines_per_sheet);
    for (const std::string &line : text)
        EXPECT_LE(line.size(), text_columns) << line;
    return text;
}

TEST(cover_sheet, SaysWhatARestorerNeeds)
{
    cover_facts facts;
    facts.name = "notes.txt";
    facts.length = 200000;
    facts.pages = 2;
    facts.base = "doc";
    snprintf(facts.sha256, sizeof facts.sha256, "%s",
             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::vector<std::string> text = cover_of(facts);
    const std::vector<std::string> expected = {
        "paprel archive: cover sheet",
        "",
        "File:    notes.txt",
        "Length:  200000 bytes",
        "SHA-256: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
        "Pages:   2, after this cover sheet",
        "Format:  0-65-93-24-3-1-2-24, written by paprel 1.0",
        "",
        "To restore the file:",
        "  1. Scan every page at 600 dpi in grey, at 100 % size, to PNG files named",
        "  doc_0001.png, doc_0002.png, ... in the order of the page numbers on the",
        "  labels.",
        "  2. unpaprel 0-65-93-24-3-1-2-24 doc > restored.bin",
        "  3. The last page is filled up with zeros; keep the first 200000 bytes:",
        "     head -c 200000 restored.bin > notes.txt",
        "  4. sha256sum notes.txt",
        "     must print",
        "     ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
        "",
        "The pages, briefly:",
    };
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(text.begin(), text.begin() + expected.size()), expected);
    std::string layout;
    for (size_t i = expected.size(); i < text.size(); i++)
        layout += text[i] + "\n";
    for (const char *fact :
         {"1546 x 2242", "65 x 93", "every 24 pixels", "Golay (24,12,8)", "frame", "label strip",
          "docs/FORMAT.md", "sheetprint\n  --format-pages"})
        EXPECT_NE(layout.find(fact), std::string::npos) << fact;
}

// A name with spaces, a quote, a non-ASCII byte or a leading dash must
// still give commands that work when typed as printed, and a long name is
// cut over lines without losing a character.
std::string line_starting(const std::vector<std::string> &text, const std::string &start)
{
    for (const std::string &line : text)
        if (line.rfind(start, 0) == 0)
            return line;
    return "no line starts with " + start;
}

TEST(cover_sheet, NamesThatNeedCare)
{
    cover_facts facts;
    facts.name = "it's a \xC3\xA9t\xC3\xA9.tar";
    std::vector<std::string> text = cover_of(facts);
    EXPECT_EQ(text[2], "File:    it's a ??t??.tar");
    EXPECT_EQ(text[3], "         (its bytes in hex: 69742773206120c3a974c3a92e746172)");
    EXPECT_EQ(line_starting(text, "     head"),
              "     head -c 0 restored.bin > 'it'\\''s a ??t??.tar'");
    EXPECT_EQ(line_starting(text, "  4."), "  4. sha256sum 'it'\\''s a ??t??.tar'");
    EXPECT_EQ(line_starting(text, "  2."), "  2. unpaprel 0-65-93-24-3-1-2-24 scan > restored.bin");

    facts.name = "-n";
    EXPECT_EQ(line_starting(cover_of(facts), "  4."), "  4. sha256sum ./-n");

    const std::string long_name = std::string(100, 'x') + " " + std::string(99, 'y');
    facts.name = long_name.c_str();
    text = cover_of(facts);
    EXPECT_EQ(text[2], "File:    " + long_name.substr(0, 69));
    EXPECT_EQ(text[3], "         " + long_name.substr(69, 69));
    EXPECT_EQ(text[4], "         " + long_name.substr(138));
}

TEST(text_sheets, WrapsAtSpacesKeepingTheIndent)
{
    text_lines lines;
    const std::string prose = "   " + std::string(70, 'a') + " bb cc " + std::string(80, 'd');
    ASSERT_TRUE(add_wrapped(&lines, prose.data(), prose.size()));
    ASSERT_TRUE(add_wrapped(&lines, "short  ", 7));
    EXPECT_EQ(lines_of(lines), (std::vector<std::string>{"   " + std::string(70, 'a') + " bb",
                                                         "   cc", "   " + std::string(75, 'd'),
                                                         "   " + std::string(5, 'd'), "short"}));
    ASSERT_TRUE(end_sheet(&lines));
    EXPECT_EQ(lines.count, lines_per_sheet);
    EXPECT_EQ(sheets_of(lines), 1u);
    free_lines(&lines);
}

TEST(text_sheets, MarkdownAsPlainAscii)
{
    const std::string markdown =
        "# Title\n\nA \xE2\x80\x94 b \xC3\x97 c\td \xC3\xBC\xE2\x80\xA6\r\n";
    text_lines lines;
    ASSERT_TRUE(plain_text_lines(markdown.data(), markdown.size(), &lines));
    ASSERT_EQ(lines.count, lines_per_sheet);
    EXPECT_EQ(std::vector<std::string>(lines.line, lines.line + 4),
              (std::vector<std::string>{"# Title", "", "A -- b x c d ?...", ""}));
    free_lines(&lines);

    // The description built into the program is there and reads as text.
    ASSERT_GT(format_description_size, 0u);
    EXPECT_EQ(std::string(format_description, 2), "# ");

    char escaped[2 * text_columns + 1];
    escape_line("f(x) \\ y", escaped);
    EXPECT_STREQ(escaped, "f\\(x\\) \\\\ y");
}

TEST(text_sheets, ScanBaseFromThePageFileName)
{
    char base[16];
    const struct {
        const char *path;
        const char *base; // null: not a page file name
    } cases[] = {
        {"doc_0001.pgm", "doc"},
        {"out/a_b_0012.pgm", "a_b"},
        {"doc_001.pgm", nullptr},
        {"_0001.pgm", nullptr},
        {"doc_0001.png", nullptr},
        {"doc-0001.pgm", nullptr},
        {"a_very_long_base_0001.pgm", nullptr}, // longer than the buffer
    };
    for (const auto &c : cases) {
        bool found = page_file_base(c.path, base, sizeof base);
        EXPECT_EQ(found, c.base != nullptr) << c.path;
        if (found && c.base) {
            EXPECT_STREQ(base, c.base);
        }
    }
}

// paprel writes one page for an empty file and a second page from the
// 199774th byte on.
TEST(text_sheets, MeasuresTheFile)
{
    temp_dir dir;
    const struct {
        size_t length;
        uint32_t pages;
    } cases[] = {{0, 1}, {199773, 1}, {199774, 2}};
    for (const auto &c : cases) {
        const std::string path = dir.path + "/f" + std::to_string(c.length);
        const std::string content(c.length, 'a');
        write_file(path, content);
        cover_facts facts;
        ASSERT_TRUE(measure_file(path.c_str(), &facts));
        EXPECT_EQ(facts.length, c.length);
        EXPECT_EQ(facts.pages, c.pages);
        EXPECT_EQ(std::string(facts.name), "f" + std::to_string(c.length));
        EXPECT_EQ(std::string(facts.sha256), digest(content, 4096));
    }
    cover_facts facts;
    errno = 0;
    EXPECT_FALSE(measure_file((dir.path + "/missing").c_str(), &facts));
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(measure_file(dir.path.c_str(), &facts));
    EXPECT_EQ(errno, EISDIR);
}

} // namespace
