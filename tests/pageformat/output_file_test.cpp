// create_output_file: a regular file is created or truncated and written
// as by fopen; a symbolic link in the last place is refused and what it
// points at left alone; a FIFO without a reader fails at once.
#include "output_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct scratch_dir {
    std::string path;
    scratch_dir()
    {
        char name[] = "/tmp/output_file_test.XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~scratch_dir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

std::string contents(const std::string &path)
{
    std::string text;
    if (FILE *file = fopen(path.c_str(), "rb")) {
        for (int c; (c = fgetc(file)) != EOF;)
            text += (char)c;
        fclose(file);
    }
    return text;
}

bool write_text(const std::string &path, const char *text)
{
    FILE *file = create_output_file(path.c_str());
    if (!file)
        return false;
    fputs(text, file);
    return fclose(file) == 0;
}

TEST(create_output_file, creates_and_truncates_a_regular_file)
{
    scratch_dir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string page = dir.path + "/page.pgm";
    ASSERT_TRUE(write_text(page, "a longer first text"));
    EXPECT_EQ(contents(page), "a longer first text");
    ASSERT_TRUE(write_text(page, "second"));
    EXPECT_EQ(contents(page), "second");
}

TEST(create_output_file, refuses_a_symbolic_link_and_leaves_its_target_alone)
{
    scratch_dir dir;
    const std::string target = dir.path + "/precious", link = dir.path + "/scan_0001_debug.pgm";
    ASSERT_TRUE(write_text(target, "keep me"));
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    errno = 0;
    EXPECT_EQ(create_output_file(link.c_str()), nullptr);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(contents(target), "keep me");
    // A link to a place that does not exist yet is not created through either.
    const std::string dangling = dir.path + "/dangling";
    ASSERT_EQ(symlink((dir.path + "/new").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(create_output_file(dangling.c_str()), nullptr);
    EXPECT_NE(access((dir.path + "/new").c_str(), F_OK), 0);
}

TEST(create_output_file, a_fifo_without_a_reader_fails_at_once)
{
    scratch_dir dir;
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    errno = 0;
    EXPECT_EQ(create_output_file(fifo.c_str()), nullptr);
    EXPECT_EQ(errno, ENXIO);
}

} // namespace
