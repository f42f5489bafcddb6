// stderr_capture.cpp - redirects descriptor 2 around a call; see the header.
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

std::string capture_stderr(const std::function<void()> &action)
{
    fflush(stderr);
    FILE *file = tmpfile();
    int saved = dup(2);
    if (!file || saved < 0 || dup2(fileno(file), 2) < 0) {
        ADD_FAILURE() << "cannot redirect standard error";
        if (file)
            fclose(file);
        return "";
    }
    action();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    rewind(file);
    for (int c; (c = fgetc(file)) != EOF;)
        text.push_back((char)c);
    fclose(file);
    return text;
}
