// encoder_internals.h - steps of the stages that the tests drive one by one.
//
// The program reaches these only through the stages in paprel.h; the tests
// call them directly to look at a page between two steps. They take and
// change the same paprel_run record.
#ifndef ENCODER_ENCODER_INTERNALS_H
#define ENCODER_ENCODER_INTERNALS_H

#include "paprel.h"

// Bit writer: one byte's bits, most significant first, as feed_bit takes
// them; and a codeword at codeword_index, overwriting what an earlier one
// left there, with no change of index.
paprel_status feed_byte(paprel_run &run, uint8_t byte);
void place_codeword(paprel_run &run, uint64_t codeword);

// Page files: the current page drawn and written whole, and its file
// closed, where the last writes can fail.
paprel_status write_page(paprel_run &run);
paprel_status close_page_file(paprel_run &run);

#endif
