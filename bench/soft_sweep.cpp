// soft_sweep.cpp - how often the soft decision is wrong, against the truth.
//
//   soft_sweep CAP PAYLOAD SCAN.png [SCAN2.png ...]
//
// Reads the scans of one page (margins weighed as unpaprel --soft weighs
// them, but capped at CAP times the median), decides every codeword as
// unpaprel --soft would, and
// compares it with the codeword the payload gives.  Prints one line of
// counts: damaged words, the hard decision's irreparable and silently wrong
// words, the soft decision's wrong words, and for a series of doubt
// thresholds (natural log-likelihood of the lead; unpaprel's is
// soft_doubt_llr) how many words are doubtful and how many accepted ones
// are wrong.  The leads are the exact ones, from the search of all 4096
// codewords.  The stages' own measurements go to standard error.
#include "page_state.h"
#include "stage_internals.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr float thresholds[] = {2, 3, 4, 5, 6, 7, 8, 10, 12};
constexpr int threshold_count = sizeof thresholds / sizeof thresholds[0];

struct counts {
    unsigned long damaged = 0, hard_irreparable = 0, hard_wrong = 0, soft_wrong = 0;
    unsigned long clean_wrong = 0;
    unsigned long doubtful[threshold_count] = {}, accepted_wrong[threshold_count] = {};
    // The same as unpaprel --soft decides: where the hard decision corrects
    // every word of the page, a decision that agrees with it is never
    // doubtful.
    unsigned long doubtful_apart[threshold_count] = {}, accepted_wrong_apart[threshold_count] = {};
};

// Data word k of a page's payload: 12 bits from bit 12 k, first bit highest.
uint32_t true_data(const unsigned char *payload, uint32_t k)
{
    uint32_t d = 0;
    for (uint32_t b = 12 * k; b < 12 * k + 12; b++)
        d = d * 2 + (payload[b / 8] >> (7 - b % 8) & 1);
    return d;
}

bool read_scan(const char *name, float *margins)
{
    page_state *page = new (std::nothrow) page_state;
    decoder_run run;
    if (!page || !(page->scan_file = fopen(name, "rb"))) {
        fprintf(stderr, "soft_sweep: cannot open %s\n", name);
        return false;
    }
    const page_status status = sample_page(run, *page, margins);
    release_page(*page);
    delete page;
    if (status != page_decoded) {
        fprintf(stderr, "soft_sweep: %s: page not found (status %d)\n", name, (int)status);
        return false;
    }
    return true;
}

void count_word(counts &c, const float *word, uint32_t truth, float scale, bool hard_whole)
{
    const uint64_t read = hard_word(word);
    const uint32_t d = (uint32_t)(read >> data_word_bits);
    if (golay_table[d] == read) {
        c.clean_wrong += d != truth;
        return;
    }
    c.damaged++;
    const uint32_t e = hard_correction(read);
    if (e == no_pattern)
        c.hard_irreparable++;
    else
        c.hard_wrong += (uint32_t)((read ^ e) >> data_word_bits) != truth;
    const soft_decision s = decide_softly(word);
    c.soft_wrong += s.data != truth;
    const bool agrees =
        hard_whole && e != no_pattern && (uint32_t)((read ^ e) >> data_word_bits) == s.data;
    for (int t = 0; t < threshold_count; t++) {
        const bool doubt = (s.runner_up - s.cost) * scale < thresholds[t];
        c.doubtful[t] += doubt;
        c.accepted_wrong[t] += !doubt && s.data != truth;
        c.doubtful_apart[t] += doubt && !agrees;
        c.accepted_wrong_apart[t] += (!doubt || agrees) && s.data != truth;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: soft_sweep CAP PAYLOAD SCAN.png [SCAN2.png ...]\n");
        return 2;
    }
    const float cap = (float)atof(argv[1]);
    static unsigned char payload[payload_bytes_per_page];
    FILE *f = fopen(argv[2], "rb");
    if (!f || fread(payload, 1, sizeof payload, f) != sizeof payload) {
        fprintf(stderr, "soft_sweep: cannot read a page of payload from %s\n", argv[2]);
        return 1;
    }
    fclose(f);
    const int scans = argc - 3;
    float **margins = (float **)calloc((size_t)scans, sizeof(float *));
    for (int i = 0; margins && i < scans; i++) {
        margins[i] = (float *)malloc(bits_per_page * sizeof(float));
        if (!margins[i] || !read_scan(argv[i + 3], margins[i]))
            return 1;
    }
    if (!margins)
        return 1;
    // Weighed as unpaprel --soft weighs them, but with the cap given, and
    // brought to that scale in place: the words are then at the page's
    // scale, and a unit of margin is worth what the typical size says.
    const margin_scale scale = combine_scans(margins, (uint32_t)scans, cap);
    normalise_margins(margins[0], scale);
    const float *sum = margins[0];
    const page_words words = count_page_words(sum);
    const float unit = lead_scale((double)words.damaged / codewords_per_page, scale.typical);
    counts c;
    for (uint32_t k = 0; k < codewords_per_page; k++)
        count_word(c, sum + (size_t)k * codeword_bits, true_data(payload, k), unit,
                   words.hard_irreparable == 0);
    printf("scale %g ", unit);
    printf("damaged %lu clean_wrong %lu hard_irreparable %lu hard_wrong %lu soft_wrong %lu",
           c.damaged, c.clean_wrong, c.hard_irreparable, c.hard_wrong, c.soft_wrong);
    for (int t = 0; t < threshold_count; t++)
        printf(" | llr<%g: doubtful %lu/%lu wrong %lu/%lu", thresholds[t], c.doubtful[t],
               c.doubtful_apart[t], c.accepted_wrong[t], c.accepted_wrong_apart[t]);
    printf("\n");
    for (int i = 0; i < scans; i++)
        free(margins[i]);
    free(margins);
    return 0;
}
