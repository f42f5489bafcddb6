// encoder_fixture.h - a fresh encoder run with page 1 started, in a temp dir.
//
// The fixture clears the test program's one run record and starts it as
// main would, for base "<temp dir>/unit" but with a label name of its own,
// so a test can feed bits and look at the page buffer and the page files.
// TearDown closes whatever the test left open.
#ifndef TESTS_ENCODER_ENCODER_FIXTURE_H
#define TESTS_ENCODER_ENCODER_FIXTURE_H

#include "cli.h"
#include "encoder_internals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Static, as in paprel: the record is 4 MB and aligned to 2 MB.
inline paprel_run &cleared_run()
{
    static paprel_run record;
    memset(&record, 0, sizeof record);
    return record;
}

struct encoder_fixture : ::testing::Test {
    paprel_run &run = cleared_run();
    std::string dir;
    std::string base;
    std::string name;

    // Starts page 1 of `count` with the label name `label`.
    void start(uint32_t count, const std::string &label)
    {
        end_run(run);
        name = label;
        run.page_count = count;
        paprel_status status = start_pages(run, base.c_str(), name.c_str());
        ASSERT_FALSE(failed(status)) << "start_pages: " << (int)status.failure;
    }

    void SetUp() override
    {
        dir = make_temp_dir();
        base = dir + "/unit";
        start(1, "");
    }

    void TearDown() override
    {
        end_run(run);
        remove_tree(dir);
    }
};

#endif
