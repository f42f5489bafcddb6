// assertion.cpp - the report of a failed precondition of a table lookup.
//
// The damage list gathered so far goes out first, so that the report comes
// after everything the page has said, as it would with unbuffered messages.
// An assertion is a fault of the program, not of its input: it aborts.
#include "page_state.h"

#include <cstdio>
#include <cstdlib>

void assertion_failed(const char *expression, unsigned line, const char *function)
{
    flush_damage_list();
    fprintf(stderr, "unpaprel: unpaprel:%u: %s: Assertion `%s' failed.\n", line, function,
            expression);
    abort();
}
