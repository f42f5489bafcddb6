// scan_options.cpp - the command line of paperscan.
//
// Reads "--name value" options, which come before the output base and the
// page files, checks every value against its range, and
// fills a scan_options record.  Nothing is allocated: the output base and
// page names stay in argv.
#include "scan_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char paperscan_usage[] =
    "\nUsage: paperscan [options] <output base> <page.pgm>...\n\n"
    "Simulates printing paprel's pages and scanning them: writes <output base>_0001.png,\n"
    "_0002.png, ... one scan of a whole sheet per page, in the order given.\n\n"
    "Geometry (page pixels are the pixels of the PGM page):\n"
    "  --scale S         scan pixels per page pixel (3)\n"
    "  --aspect A        vertical scale over horizontal scale (1)\n"
    "  --perspective P   top edge wider than the bottom edge by about P (0)\n"
    "  --rotate DEG      skew on the glass, counter-clockwise (0)\n"
    "  --sheet NAME      a4, letter or WIDTHxHEIGHT in scan pixels (a4)\n"
    "  --dpi D           scanner resolution for named sheets and dust (600)\n"
    "  --offset DX,DY    page shift from the centre of the sheet, scan pixels (0,0)\n"
    "Print and optics (reflectances in linear light, 0..1):\n"
    "  --blur SIGMA      optical point spread, page pixels (0.3)\n"
    "  --dot-gain G      toner dots grow by G page pixels, -0.9..0.9 (0.1)\n"
    "  --paper R         paper reflectance (0.85)\n"
    "  --toner R         toner reflectance (0.04)\n"
    "  --illumination F  share of light lost towards the right and the ends (0.05)\n"
    "  --noise N         sensor noise, standard deviation (0.01)\n"
    "  --streak column|row:POS[:DEG[:W]]\n"
    "                    a white line printed through the whole page along a column\n"
    "                    or a row, crossing the page's middle at POS (0..1 of its\n"
    "                    width or height), turned by DEG degrees (-45..45; the bottom\n"
    "                    or right end moves right or down) and W page pixels wide\n"
    "                    (0.1..50); repeat for up to 8 lines (none; DEG 0, W 1)\n"
    "Dirt (sizes in scan pixels):\n"
    "  --dust D          specks per square inch of sheet (0.2)\n"
    "  --dust-size R     largest speck radius (2.5)\n"
    "  --hairs N         hairs on the glass (0)\n"
    "  --hair-width W    (1.5)\n"
    "  --scratches N     lines of toner scraped off the page (0)\n"
    "  --scratch-width W (2)\n"
    "Output:\n"
    "  --kind K          grey8, grey16, rgb, palette or grey1 (grey8)\n"
    "  --gamma G         write a gAMA chunk of G and encode the samples with it;\n"
    "                    without it the samples are encoded with 0.454545, no chunk\n"
    "  --interlace       Adam7 interlacing\n"
    "  --seed N          the same seed gives the same scans (1)\n\n";

namespace {

struct number_option {
    const char *name;
    double scan_options::*field;
    double lo, hi;
};

constexpr number_option number_options[] = {
    {"--scale", &scan_options::scale, 0.5, 12.0},
    {"--aspect", &scan_options::aspect, 0.5, 2.0},
    {"--perspective", &scan_options::perspective, -0.2, 0.2},
    {"--rotate", &scan_options::rotate, -180.0, 180.0},
    {"--dpi", &scan_options::dpi, 50.0, 2400.0},
    {"--blur", &scan_options::blur, 0.0, 5.0},
    {"--dot-gain", &scan_options::dot_gain, -0.9, 0.9},
    {"--paper", &scan_options::paper, 0.0, 1.0},
    {"--toner", &scan_options::toner, 0.0, 1.0},
    {"--illumination", &scan_options::illumination, 0.0, 0.9},
    {"--noise", &scan_options::noise, 0.0, 1.0},
    {"--dust", &scan_options::dust, 0.0, 1000.0},
    {"--dust-size", &scan_options::dust_size, 0.5, 100.0},
    {"--hair-width", &scan_options::hair_width, 0.1, 50.0},
    {"--scratch-width", &scan_options::scratch_width, 0.1, 50.0},
};

struct count_option {
    const char *name;
    uint32_t scan_options::*field;
};

constexpr count_option count_options[] = {
    {"--hairs", &scan_options::hairs},
    {"--scratches", &scan_options::scratches},
};
constexpr unsigned long max_count = 1000;

const char *const kind_names[] = {"grey8", "grey16", "rgb", "palette", "grey1"};

bool parse_double(const char *text, double *value)
{
    char *end = nullptr;
    errno = 0;
    double v = strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool parse_unsigned(const char *text, unsigned long long limit, unsigned long long *value)
{
    if (*text < '0' || *text > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0 || v > limit)
        return false;
    *value = v;
    return true;
}

bool bad_value(const char *name, const char *value, const char *wanted)
{
    fprintf(stderr, "paperscan: %s needs %s, not \"%s\"\n", name, wanted, value);
    return false;
}

bool set_number(const number_option &o, const char *value, scan_options *options)
{
    double v = 0.0;
    if (!parse_double(value, &v) || v < o.lo || v > o.hi) {
        char wanted[80];
        snprintf(wanted, sizeof wanted, "a number from %g to %g", o.lo, o.hi);
        return bad_value(o.name, value, wanted);
    }
    options->*o.field = v;
    return true;
}

bool set_count(const count_option &o, const char *value, scan_options *options)
{
    unsigned long long v = 0;
    if (!parse_unsigned(value, max_count, &v))
        return bad_value(o.name, value, "a whole number from 0 to 1000");
    options->*o.field = (uint32_t)v;
    return true;
}

// "a4", "letter" or WIDTHxHEIGHT in scan pixels.
bool set_sheet(const char *value, scan_options *options)
{
    if (strcmp(value, "a4") == 0 || strcmp(value, "letter") == 0) {
        bool a4 = value[0] == 'a';
        options->named_sheet = true;
        options->sheet_mm_width = a4 ? 210.0 : 215.9;
        options->sheet_mm_height = a4 ? 297.0 : 279.4;
        return true;
    }
    unsigned width = 0, height = 0;
    char tail = 0;
    if (sscanf(value, "%5ux%5u%c", &width, &height, &tail) != 2 || width < 16 || height < 16 ||
        width > 20000 || height > 20000)
        return bad_value("--sheet", value, "a4, letter or WIDTHxHEIGHT from 16x16 to 20000x20000");
    options->named_sheet = false;
    options->sheet_width = width;
    options->sheet_height = height;
    return true;
}

bool set_offset(const char *value, scan_options *options)
{
    double x = 0.0, y = 0.0;
    const char *comma = strchr(value, ',');
    char first[64];
    size_t length = comma ? (size_t)(comma - value) : 0;
    if (!comma || length >= sizeof first)
        return bad_value("--offset", value, "DX,DY");
    memcpy(first, value, length);
    first[length] = '\0';
    if (!parse_double(first, &x) || !parse_double(comma + 1, &y) || fabs(x) > 20000.0 ||
        fabs(y) > 20000.0)
        return bad_value("--offset", value, "DX,DY, each from -20000 to 20000");
    options->offset_x = x;
    options->offset_y = y;
    return true;
}

bool set_kind(const char *value, scan_options *options)
{
    for (unsigned k = 0; k < sizeof kind_names / sizeof kind_names[0]; k++)
        if (strcmp(value, kind_names[k]) == 0) {
            options->kind = (png_kind)k;
            return true;
        }
    return bad_value("--kind", value, "grey8, grey16, rgb, palette or grey1");
}

bool set_gamma(const char *value, scan_options *options)
{
    double v = 0.0;
    if (!parse_double(value, &v) || v < 0.05 || v > 5.0)
        return bad_value("--gamma", value, "a number from 0.05 to 5");
    options->write_gamma = true;
    options->gamma = v;
    return true;
}

bool set_seed(const char *value, scan_options *options)
{
    unsigned long long v = 0;
    if (!parse_unsigned(value, ~0ull, &v))
        return bad_value("--seed", value, "a whole number");
    options->seed = v;
    return true;
}

// The numbers of a streak after its direction: POS[:DEG[:W]], each in its
// range; DEG and W keep their defaults when left out.
bool parse_streak_numbers(const char *text, streak_line *line)
{
    double *fields[3] = {&line->position, &line->angle, &line->width};
    const double lo[3] = {0.0, -45.0, 0.1}, hi[3] = {1.0, 45.0, 50.0};
    char field[64];
    for (int i = 0; i < 3; i++) {
        const char *colon = strchr(text, ':');
        size_t length = colon ? (size_t)(colon - text) : strlen(text);
        if (length >= sizeof field)
            return false;
        memcpy(field, text, length);
        field[length] = '\0';
        if (!parse_double(field, fields[i]) || *fields[i] < lo[i] || *fields[i] > hi[i])
            return false;
        if (!colon)
            return true;
        text = colon + 1;
    }
    return false; // a fourth number
}

// column|row:POS[:DEG[:W]], appended to the streaks given so far.
bool set_streak(const char *value, scan_options *options)
{
    const char *wanted = "column or row, then :POS from 0 to 1, optionally :DEG from -45 to 45 "
                         "and :W from 0.1 to 50";
    if (options->streak_count == max_streaks) {
        fprintf(stderr, "paperscan: --streak given more than %u times\n", max_streaks);
        return false;
    }
    streak_line line = {false, 0.0, 0.0, 1.0};
    const char *numbers = nullptr;
    if (strncmp(value, "column:", 7) == 0)
        numbers = value + 7;
    else if (strncmp(value, "row:", 4) == 0)
        numbers = value + 4, line.along_row = true;
    if (!numbers || !parse_streak_numbers(numbers, &line))
        return bad_value("--streak", value, wanted);
    options->streaks[options->streak_count++] = line;
    return true;
}

// Options that are not a plain number or count.
struct special_option {
    const char *name;
    bool (*set)(const char *value, scan_options *options);
};

constexpr special_option special_options[] = {
    {"--sheet", set_sheet}, {"--offset", set_offset}, {"--kind", set_kind},
    {"--gamma", set_gamma}, {"--seed", set_seed},     {"--streak", set_streak},
};

// Sets option `name` from `value`; false with a message when either is bad.
bool set_option(const char *name, const char *value, scan_options *options)
{
    for (const number_option &o : number_options)
        if (strcmp(name, o.name) == 0)
            return set_number(o, value, options);
    for (const count_option &o : count_options)
        if (strcmp(name, o.name) == 0)
            return set_count(o, value, options);
    for (const special_option &o : special_options)
        if (strcmp(name, o.name) == 0)
            return o.set(value, options);
    fprintf(stderr, "paperscan: unknown option %s\n", name);
    return false;
}

// Checks that need more than one option.
bool check_combination(scan_options *options)
{
    if (options->toner >= options->paper) {
        fprintf(stderr, "paperscan: --toner (%g) must be darker than --paper (%g)\n",
                options->toner, options->paper);
        return false;
    }
    if (options->named_sheet) {
        options->sheet_width = (uint32_t)floor(options->sheet_mm_width / 25.4 * options->dpi + 0.5);
        options->sheet_height =
            (uint32_t)floor(options->sheet_mm_height / 25.4 * options->dpi + 0.5);
    }
    return true;
}

} // namespace

bool parse_command_line(int argc, const char *const *argv, scan_command *command)
{
    *command = scan_command{};
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
        if (strcmp(argv[i], "--interlace") == 0) {
            command->options.interlace = true;
            continue;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "paperscan: %s needs a value\n", argv[i]);
            return false;
        }
        if (!set_option(argv[i], argv[i + 1], &command->options))
            return false;
        i++;
    }
    if (argc - i < 2) {
        fprintf(stderr, "paperscan: need an output base and at least one page after the options\n");
        return false;
    }
    if (argc - i - 1 > 9999) {
        fprintf(stderr, "paperscan: more than 9999 pages\n");
        return false;
    }
    for (int k = i; k < argc; k++)
        if (strncmp(argv[k], "--", 2) == 0) {
            fprintf(stderr, "paperscan: options go before the output base: %s\n", argv[k]);
            return false;
        }
    command->output_base = argv[i];
    command->pages = argv + i + 1;
    command->page_count = argc - i - 1;
    return check_combination(&command->options);
}
