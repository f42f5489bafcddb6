// unpaprel.cpp - the decoder program: reads scanned pages named
// "<base>_0001.png", ... and writes the payload they carry to standard
// output.  All of the work is in the stage library; see driver.cpp.
#include "page_state.h"

int main(int argc, char **argv)
{
    decoder_run run;
    return unpaprel_main(run, argc, argv);
}
