// stderr_capture.h - what a piece of code writes to standard error.
//
// The decoder's stages report on standard error through C stdio; tests that
// call them in-process send file descriptor 2 to a temporary file for the
// duration of the call and compare every byte.
#ifndef TESTS_SUPPORT_STDERR_CAPTURE_H
#define TESTS_SUPPORT_STDERR_CAPTURE_H

#include <functional>
#include <string>

std::string capture_stderr(const std::function<void()> &action);

#endif
