// The soft decision: the most likely codeword against a search written out
// here independently (every codeword's overruled margins summed bit by bit),
// known answers where the hard decision fails or miscorrects, the scaling
// of a scan's margins, and a page of margins corrected with its damage
// list, counters and payload.
#include "stage_internals.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// Margins of a codeword read with every bit at `strength`: +strength for
// a 1, -strength for a 0, bit n = 0 (the word's bit 23) first.
std::vector<float> margins_of(uint64_t word, float strength)
{
    std::vector<float> m(24);
    for (uint32_t n = 0; n < 24; n++)
        m[n] = (word >> (23 - n) & 1) ? strength : -strength;
    return m;
}

// Turns bit n of what was read the other way, with the size `size`.
void misread(std::vector<float> &m, uint32_t n, float size)
{
    m[n] = m[n] > 0 ? -size : size;
}

struct brute_result {
    uint32_t data;
    double cost, runner_up;
};

// Every codeword, the cost summed in double over its 24 bits.
brute_result brute_force(const std::vector<float> &m)
{
    brute_result r = {0, INFINITY, INFINITY};
    for (uint32_t d = 0; d < 4096; d++) {
        double cost = 0;
        for (uint32_t n = 0; n < 24; n++) {
            const bool one = golay_table[d] >> (23 - n) & 1;
            if (one != (m[n] > 0))
                cost += std::fabs(m[n]);
        }
        if (cost < r.cost) {
            r.runner_up = r.cost;
            r.cost = cost;
            r.data = d;
        } else if (cost < r.runner_up) {
            r.runner_up = cost;
        }
    }
    return r;
}

TEST(DecideSoftly, AgreesWithSearchingEveryCodeword)
{
    std::mt19937 random(20261210);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::uniform_int_distribution<uint32_t> data(0, 4095);
    for (int trial = 0; trial < 3000; trial++) {
        // From clean words to words far beyond three errors.
        const float spread = 0.2f + 0.8f * (float)(trial % 10) / 9.0f;
        std::vector<float> m = margins_of(golay_table[data(random)], 1.0f);
        for (float &v : m)
            v += spread * noise(random);
        const soft_decision s = decide_softly(m.data());
        const brute_result b = brute_force(m);
        ASSERT_EQ(s.data, b.data) << trial;
        EXPECT_NEAR(s.cost, b.cost, 1e-4) << trial;
        EXPECT_NEAR(s.runner_up, b.runner_up, 1e-4) << trial;
    }
}

TEST(DecideSoftly, KnownAnswers)
{
    const uint64_t c = golay_table[0x5A3]; // 0x5A3 has no symmetry to hide a swap
    // Read cleanly: itself, nothing overruled, and the nearest other
    // codewords are 8 bits away.
    std::vector<float> m = margins_of(c, 1.0f);
    soft_decision s = decide_softly(m.data());
    EXPECT_EQ(s.data, 0x5A3u);
    EXPECT_EQ(s.cost, 0.0f);
    EXPECT_EQ(s.runner_up, 8.0f);
    // One weak misread bit: the runner-up agrees with it and overrules 7.
    misread(m, 4, 0.25f);
    s = decide_softly(m.data());
    EXPECT_EQ(s.data, 0x5A3u);
    EXPECT_EQ(s.cost, 0.25f);
    EXPECT_EQ(s.runner_up, 7.0f);
}

TEST(DecideSoftly, WeakMisreadingsBeyondTheHardDecision)
{
    const uint64_t c = golay_table[0x9C1];
    // Four weak misreadings: irreparable for the hard decision.
    std::vector<float> m = margins_of(c, 1.0f);
    for (uint32_t n : {0u, 7u, 13u, 22u})
        misread(m, n, 0.1f);
    EXPECT_EQ(hard_correction(hard_word(m.data())), no_pattern);
    soft_decision s = decide_softly(m.data());
    EXPECT_EQ(s.data, 0x9C1u);
    EXPECT_NEAR(s.cost, 0.4f, 1e-6);

    // Five weak misreadings within a weight-8 codeword's bits: the word
    // lies 3 bits from another codeword, which the hard decision takes;
    // the margins say the first.
    const uint64_t other = c ^ golay_table[1];
    ASSERT_EQ(bit_count(golay_table[1]), 8u);
    m = margins_of(c, 1.0f);
    uint32_t flipped = 0;
    for (uint32_t n = 0; n < 24 && flipped < 5; n++)
        if (golay_table[1] >> (23 - n) & 1) {
            misread(m, n, 0.1f);
            flipped++;
        }
    const uint64_t read = hard_word(m.data());
    const uint32_t e = hard_correction(read);
    ASSERT_NE(e, no_pattern);
    EXPECT_EQ((read ^ e) & 0xFFFFFF, other);
    s = decide_softly(m.data());
    EXPECT_EQ(s.data, 0x9C1u);
    EXPECT_NEAR(s.cost, 0.5f, 1e-6);
    EXPECT_NEAR(s.runner_up, 3.0f, 1e-6);
}

TEST(DecideSoftly, UnknownBitsReadAsZeroAndCostNothing)
{
    std::vector<float> m = margins_of(golay_table[0x7E2], 1.0f);
    m[3] = NAN;
    m[17] = 0.0f;
    // Both read as 0; whatever the codeword has there, overruling is free.
    EXPECT_EQ(hard_word(m.data()) >> (23 - 3) & 1, 0u);
    EXPECT_EQ(hard_word(m.data()) >> (23 - 17) & 1, 0u);
    const soft_decision s = decide_softly(m.data());
    EXPECT_EQ(s.data, 0x7E2u);
    EXPECT_EQ(s.cost, 0.0f);
}

TEST(MarginScale, MedianBecomesOneCappedAndNanZero)
{
    std::vector<float> m(bits_per_page);
    for (size_t i = 0; i < m.size(); i++)
        m[i] = (i % 2 ? 1 : -1) * (float)(40 + i % 3 * 10); // sizes 40, 50, 60
    m[5] = 1000.0f;
    m[6] = -1000.0f;
    m[7] = NAN;
    margin_scale scale = scan_scale(m.data());
    EXPECT_FLOAT_EQ(scale.inverse, 1.0f / 50.0f);
    EXPECT_EQ(scale.typical, 1.0f);
    scale.cap = 2.0f;
    normalise_margins(m.data(), scale);
    EXPECT_FLOAT_EQ(m[0], -40.0f / 50.0f);
    EXPECT_FLOAT_EQ(m[1], 1.0f);
    EXPECT_FLOAT_EQ(m[2], -60.0f / 50.0f);
    EXPECT_EQ(m[5], 2.0f);
    EXPECT_EQ(m[6], -2.0f);
    EXPECT_EQ(m[7], 0.0f);
    // Summed scans: taken as they are, their typical size measured.
    const margin_scale summed = summed_scale(m.data());
    EXPECT_EQ(summed.inverse, 1.0f);
    EXPECT_FLOAT_EQ(summed.typical, 1.0f);
    // A scan with no contrast at all keeps its margins (0 stays 0).
    std::vector<float> flat(bits_per_page, 0.0f);
    EXPECT_EQ(scan_scale(flat.data()).inverse, 1.0f);
}

// The doubt grows with the damage: a lead that is sure on a nearly clean
// page is doubtful where a tenth of the bits are misread.
TEST(MarginScale, DoubtGrowsWithTheShareOfDamagedWords)
{
    EXPECT_LT(doubt_lead(0.01, 1.0f), 0.5f);
    EXPECT_GT(doubt_lead(0.95, 1.0f), 1.0f);
    EXPECT_LT(doubt_lead(0.2, 1.0f), doubt_lead(0.6, 1.0f));
    // Twice the typical margin (two scans summed): twice the lead.
    EXPECT_FLOAT_EQ(doubt_lead(0.3, 2.0f), 2 * doubt_lead(0.3, 1.0f));
    // For 1 % of bits misread (z = 2.326) a unit of margin is worth 2 z^2.
    const double p = 0.01, share = 1 - std::pow(1 - p, 24);
    EXPECT_NEAR(lead_scale(share, 1.0f), 2 * 2.3263 * 2.3263, 1e-3);
}

// A page of margins: every codeword k read cleanly as data word k % 4096,
// with the damage of the test on a few codewords.
struct margin_page {
    std::vector<float> m = std::vector<float>(bits_per_page);
    margin_page()
    {
        for (uint32_t k = 0; k < codewords_per_page; k++)
            set(k, margins_of(golay_table[k % 4096], 1.0f));
    }
    void set(uint32_t k, const std::vector<float> &word)
    {
        std::copy(word.begin(), word.end(), m.begin() + (size_t)k * 24);
    }
    float *word(uint32_t k) { return m.data() + (size_t)k * 24; }
};

struct soft_run {
    decoder_run run;
    std::string out, err;
};

void correct(soft_run &r, std::vector<test_page *> scans, margin_page &p)
{
    r.run.soft = true;
    std::vector<page_state *> pages;
    for (test_page *t : scans)
        pages.push_back(&t->page);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    clear_damage_stats(r.run);
    correct_page_softly(r.run, pages.data(), (uint32_t)pages.size(), p.m.data(),
                        margin_scale{1.0f, INFINITY, 1.0f});
    report_page_damage(r.run);
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
}

// Data word k of the payload written, 12 bits from bit 12 k.
uint32_t data_word(const std::string &out, uint32_t k)
{
    uint32_t d = 0;
    for (uint32_t b = 12 * k; b < 12 * k + 12; b++)
        d = d * 2 + ((uint8_t)out[b / 8] >> (7 - b % 8) & 1);
    return d;
}

std::string coordinate(uint32_t k, uint32_t n, char mark)
{
    int32_t x, y;
    bit_to_pixel(n * codewords_per_page + k, &x, &y);
    return std::to_string(x + 22) + mark + std::to_string(y + 22) + " ";
}

TEST(CorrectPageSoftly, ReportsWhatItChangedAndWhatItDoubts)
{
    auto t = draw_test_page(1, 20, {});
    set_exact_crosses(*t);
    margin_page p;
    // Codeword 10: one weak misreading, corrected as the hard decision would.
    misread(p.m, 10 * 24 + 2, 0.2f);
    // Codeword 20: four weak misreadings, irreparable for the hard decision.
    std::vector<float> w = margins_of(golay_table[20], 1.0f);
    for (uint32_t n : {1u, 9u, 14u, 23u})
        misread(w, n, 0.1f);
    p.set(20, w);
    // Codeword 30: every bit at 0.01, one misread strongly: a coin toss.
    w = margins_of(golay_table[30], 0.01f);
    misread(w, 0, 1.0f);
    p.set(30, w);
    soft_run r;
    correct(r, {t.get()}, p);
    ASSERT_EQ(r.out.size(), payload_bytes_per_page);
    EXPECT_EQ(data_word(r.out, 10), 10u);
    EXPECT_EQ(data_word(r.out, 20), 20u);
    EXPECT_EQ(data_word(r.out, 4095), 4095u);
    const damage_stats &d = r.run.damage;
    EXPECT_EQ(d.golay_stats[0], codewords_per_page - 3);
    EXPECT_EQ(d.golay_stats[1], 1u);
    EXPECT_EQ(d.golay_stats[4], 1u);
    EXPECT_EQ(r.run.soft_damage.beyond, 1u);
    EXPECT_EQ(r.run.soft_damage.rescued, 1u);
    EXPECT_EQ(r.run.soft_damage.overruled, 0u);
    EXPECT_EQ(r.run.soft_damage.doubtful, 1u);
    // Codeword 10's bit 2 and codeword 20's four bits, with their kinds,
    // then codeword 30 as irreparable.
    const uint64_t c10 = golay_table[10], c20 = golay_table[20];
    std::string list = coordinate(10, 2, (c10 >> 21 & 1) ? '\'' : ',');
    for (uint32_t n : {1u, 9u, 14u, 23u})
        list += coordinate(20, n, (c20 >> (23 - n) & 1) ? '\'' : ',');
    EXPECT_NE(r.err.find(list), std::string::npos) << r.err;
    std::string irreparable = "\n";
    for (uint32_t n = 0; n < 24; n++)
        irreparable += coordinate(30, n, ':');
    EXPECT_NE(r.err.find(irreparable + "!\n"), std::string::npos);
    EXPECT_NE(r.err.find("3 bad bits      0\nmore bad bits   1\n4 bad bits      1\n"
                         "total codewords 133182\n"
                         "Soft decision: 1 codewords taken otherwise than the hard decision (1 "
                         "it could not correct, 0 it corrected to another codeword), 1 doubtful "
                         "and left irreparable.\n"),
              std::string::npos)
        << r.err;
}

// Codeword 40 read with three bits wrong, clearly, and a runner-up only
// a hair behind: the hard decision's correction, the soft decision's too.
void close_call(margin_page &p)
{
    const uint64_t g = golay_table[1]; // weight 8
    std::vector<float> w = margins_of(golay_table[40], 1.0f);
    uint32_t seen = 0;
    for (uint32_t n = 0; n < 24; n++)
        if (g >> (23 - n) & 1) {
            if (seen++ < 3)
                misread(w, n, 1.0f);
            else
                w[n] = w[n] > 0 ? 0.61f : -0.61f;
        }
    p.set(40, w);
}

// Where the hard decision gives the whole page back, --soft does not fail
// it for a close call the two decisions make alike; on a page the hard
// decision cannot correct whole, the same close call is doubtful.
TEST(CorrectPageSoftly, CloseCallsTheHardDecisionShares)
{
    auto t = draw_test_page(1, 20, {});
    set_exact_crosses(*t);
    margin_page p;
    close_call(p);
    soft_run whole;
    correct(whole, {t.get()}, p);
    EXPECT_EQ(data_word(whole.out, 40), 40u);
    EXPECT_EQ(whole.run.damage.golay_stats[3], 1u);
    EXPECT_EQ(whole.run.soft_damage.doubtful, 0u);

    std::vector<float> w = margins_of(golay_table[50], 1.0f);
    for (uint32_t n : {2u, 5u, 11u, 19u})
        misread(w, n, 0.1f);
    p.set(50, w);
    soft_run broken;
    correct(broken, {t.get()}, p);
    EXPECT_EQ(data_word(broken.out, 40), 40u); // still the likeliest
    EXPECT_EQ(data_word(broken.out, 50), 50u);
    EXPECT_EQ(broken.run.soft_damage.doubtful, 1u);
    EXPECT_EQ(broken.run.damage.golay_stats[4], 1u);
    EXPECT_EQ(broken.run.soft_damage.rescued, 1u);
}

TEST(CorrectPageSoftly, MarksEveryScan)
{
    auto first = draw_test_page(1, 20, {});
    auto second = draw_test_page(2, 30, {});
    set_exact_crosses(*first);
    set_exact_crosses(*second);
    std::fill(first->work.begin(), first->work.end(), 77);
    std::fill(second->work.begin(), second->work.end(), 77);
    margin_page p;
    misread(p.m, 0, 0.2f); // codeword 0, bit 0: data-area (6, 0)
    soft_run r;
    correct(r, {first.get(), second.get()}, p);
    EXPECT_EQ(r.run.damage.golay_stats[1], 1u);
    // The list is in the first scan's pixels; both images get the ring
    // (kind 1: 0 inside at distance r - 1) and the line from the left.
    EXPECT_NE(r.err.find("28,22 "), std::string::npos) << r.err;
    EXPECT_EQ(first->work[22 * (size_t)first->page.width + 0], 0);
    // Data-area (6, 0) is page pixel (8, 2): input 46..47 x 34..35, centre (47, 35).
    const int64_t column = 47, row = 35;
    EXPECT_EQ(second->work[(size_t)row * second->page.width + 0], 0);
    EXPECT_EQ(second->work[(size_t)(row - 3) * second->page.width + (size_t)(column - 3)], 0);
    EXPECT_EQ(second->work[(size_t)(row - 4) * second->page.width + (size_t)(column - 4)], 255);
}

} // namespace
