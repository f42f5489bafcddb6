// encoder_fixture.h - a fresh encoder with page 1 started, in a temp dir.
//
// The encoder keeps its state in process-wide variables; the fixture sets
// them as main would for base "<temp dir>/unit" and starts page 1, so a
// test can feed bits and look at page_buffer and the page files.
#ifndef TESTS_ENCODER_ENCODER_FIXTURE_H
#define TESTS_ENCODER_ENCODER_FIXTURE_H

#include "cli.h"
#include "encoder_internals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

struct encoder_fixture : ::testing::Test {
    std::string dir;
    std::string base;
    std::string name;

    // Starts page 1 of `count` with the label name `label`.
    void start(uint32_t count, const std::string &label)
    {
        if (page_file)
            fclose(page_file);
        page_file = nullptr;
        name = label;
        filename_base = base.c_str();
        label_name = name.c_str();
        output_filename_size = (uint32_t)strlen(filename_base) + 10;
        free(output_filename);
        output_filename = (char *)malloc(output_filename_size);
        page_number = 0;
        page_count = count;
        bit_accumulator = 1;
        codeword_index = 0;
        new_page();
    }

    void SetUp() override
    {
        dir = make_temp_dir();
        base = dir + "/unit";
        start(1, "");
    }

    void TearDown() override
    {
        if (page_file)
            fclose(page_file);
        page_file = nullptr;
        free(output_filename);
        output_filename = nullptr;
        remove_tree(dir);
    }
};

#endif
