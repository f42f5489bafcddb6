// The byte streams of the documents: ASCII85 against known answers (with a
// line that would start with '%'), Flate through zlib's own inflate, and
// the byte count that PDF offsets are taken from.
#include "cli.h"
#include "sheet_output.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Points the document output at a temporary file and returns what was written.
struct captured_output {
    captured_output()
    {
        output.file = tmpfile();
        output.path = nullptr;
        output.offset = 0;
    }
    std::string text()
    {
        fflush(output.file);
        std::string bytes;
        rewind(output.file);
        for (int c; (c = getc(output.file)) != EOF;)
            bytes.push_back((char)c);
        return bytes;
    }
    ~captured_output()
    {
        fclose(output.file);
        output.file = nullptr;
    }
};

std::string ascii85(const std::string &bytes)
{
    captured_output capture;
    ascii85_state state;
    ascii85_write(&state, (const unsigned char *)bytes.data(), bytes.size());
    ascii85_finish(&state);
    std::string text = capture.text();
    EXPECT_EQ(output.offset, text.size());
    return text;
}

TEST(SheetOutput, Ascii85KnownAnswers)
{
    EXPECT_EQ(ascii85("sure."), "F*2M7/c~>\n");
    EXPECT_EQ(ascii85(std::string(4, '\0') + "\x01"), "z!<~>\n");
    EXPECT_EQ(ascii85(std::string(3, '\0')), "!!!!~>\n");
    // Fifteen groups of value 1 fill 75 columns; the group 00 25 7B B4 has
    // the digits 0 4 0 0 0, so its '%' would open the second line.
    std::string bytes;
    for (int i = 0; i < 15; i++)
        bytes += std::string("\0\0\0\x01", 4);
    bytes += std::string("\0\x25\x7B\xB4", 4);
    std::string expected;
    for (int i = 0; i < 15; i++)
        expected += "!!!!\"";
    EXPECT_EQ(ascii85(bytes), expected + "!\n %!!!~>\n");
}

TEST(SheetOutput, FlateStreamInflatesToItsInput)
{
    // Random bytes do not compress, so the output spans several chunks.
    std::string input = random_bytes(300000, 3) + std::string(100000, 'x');
    captured_output capture;
    static flate_stream stream;
    flate_begin(&stream, false);
    for (size_t at = 0; at < input.size(); at += 1000)
        flate_write(&stream, (const unsigned char *)input.data() + at, 1000);
    flate_finish(&stream);
    std::string compressed = capture.text();
    EXPECT_EQ(output.offset, compressed.size());

    std::string inflated(input.size() + 1, '\0');
    uLongf size = inflated.size();
    ASSERT_EQ(uncompress((Bytef *)&inflated[0], &size, (const Bytef *)compressed.data(),
                         compressed.size()),
              Z_OK);
    inflated.resize(size);
    EXPECT_TRUE(inflated == input);
}

} // namespace
