// text_sheets.cpp - the lines of the cover sheet and of the page format's
// description, and the file measurements the cover prints.
#include "text_sheets.h"

#include "page_format.h"
#include "sha256.h"
#include "version.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The non-ASCII characters a Markdown text is likely to use, as ASCII.
const struct {
    const char *utf8;
    const char *ascii;
} transliterations[] = {
    {"\xE2\x80\x94", "--"},  {"\xE2\x80\x93", "-"},  {"\xE2\x88\x92", "-"},  {"\xC3\x97", "x"},
    {"\xE2\x80\x98", "'"},   {"\xE2\x80\x99", "'"},  {"\xE2\x80\x9C", "\""}, {"\xE2\x80\x9D", "\""},
    {"\xE2\x80\xA6", "..."}, {"\xE2\x89\xA4", "<="}, {"\xE2\x89\xA5", ">="}, {"\xE2\x86\x92", "->"},
    {"\xC2\xB7", "."},       {"\xC2\xA0", " "},      {"\xC2\xB1", "+-"},
};

bool printable(unsigned char c)
{
    return c >= 0x20 && c < 0x7f;
}

// Appends `text` as a line that may be longer than one: cut every
// text_columns - indent characters, spaces kept, so that a name reads back
// exactly; the continuation lines are indented by `indent`.
bool add_cut(text_lines *lines, size_t indent, const char *text)
{
    char line[text_columns + 1];
    size_t length = strlen(text);
    size_t take = length < text_columns ? length : text_columns;
    if (!add_line(lines, text, take))
        return false;
    for (size_t done = take; done < length; done += take) {
        take = length - done < text_columns - indent ? length - done : text_columns - indent;
        memset(line, ' ', indent);
        memcpy(line + indent, text + done, take);
        if (!add_line(lines, line, indent + take))
            return false;
    }
    return true;
}

// `name` for a shell command line: as it is when it has no character the
// shell would read, otherwise in single quotes, and after "./" when it
// starts with a dash, which the quotes would not stop sha256sum from taking
// as an option.  Bytes that Courier cannot show are '?' (the cover prints
// them in hex).
void shell_word(const char *name, char *out, size_t size)
{
    bool plain = name[0] != '\0';
    for (const char *c = name; *c; c++)
        plain = plain && (isalnum((unsigned char)*c) || strchr("._+,@%=:/-", *c));
    size_t n = 0;
    if (name[0] == '-')
        n += snprintf(out, size, "./");
    if (!plain)
        out[n++] = '\'';
    for (const char *c = name; *c && n + 6 < size; c++) {
        if (*c == '\'') {
            memcpy(out + n, "'\\''", 4);
            n += 4;
        } else
            out[n++] = printable((unsigned char)*c) ? *c : '?';
    }
    if (!plain)
        out[n++] = '\'';
    out[n] = '\0';
}

// A file name holds at most 255 bytes (NAME_MAX); this holds a line that
// quotes it four times over, as a shell word does at worst, or as hex.
constexpr size_t name_room = 4 * 256 + 80;

// A formatted line, wrapped at spaces (cut = 0) or cut with continuation
// lines indented by `cut` (for names and commands, whose spaces count).
bool add_text(text_lines *lines, size_t cut, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
bool add_text(text_lines *lines, size_t cut, const char *format, ...)
{
    char line[name_room];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return cut ? add_cut(lines, cut, line) : add_wrapped(lines, line, strlen(line));
}

// A short account of the page, enough to see what the pages are and where
// to look; the full description is on the sheets of --format-pages.
const char *const layout_text[] = {
    "The pages, briefly:",
    "  Each page is 1546 x 2242 pixels; black is a 1 bit, white a 0. A black frame "
    "2 pixels wide surrounds a data area of 1542 x 2214 pixels. In it sit 65 x 93 "
    "registration crosses every 24 pixels, each 6 x 6 pixels with its top-left and "
    "bottom-right 3 x 3 quarters black. The bits fill the other pixels of the data area "
    "in reading order, row by row, each row left to right. Every 12 data bits travel as "
    "a codeword of the extended Golay (24,12,8) code; bit n of codeword k lies at bit "
    "position n x 133182 + k, so the 24 bits of a codeword are spread down the whole "
    "page. The file's bytes fill the codewords in order, most significant bit first. "
    "Under the data area, inside the frame, a label strip 24 pixels high shows the "
    "format string, the page number and count, and the file's name.",
    "  The full description: docs/FORMAT.md, also printed by sheetprint --format-pages.",
};

// `name` with the bytes Courier cannot show as '?'; true when it had any.
bool shown_name(const char *name, char *out, size_t size)
{
    bool replaced = false;
    size_t n = 0;
    for (; name[n] && n + 1 < size; n++) {
        replaced = replaced || !printable((unsigned char)name[n]);
        out[n] = printable((unsigned char)name[n]) ? name[n] : '?';
    }
    out[n] = '\0';
    return replaced;
}

} // namespace

void free_lines(text_lines *lines)
{
    free(lines->line);
    *lines = text_lines{};
}

bool add_line(text_lines *lines, const char *text, size_t length)
{
    if (lines->count == lines->capacity) {
        uint32_t capacity = lines->capacity ? 2 * lines->capacity : 64;
        void *grown = realloc(lines->line, (size_t)capacity * sizeof *lines->line);
        if (!grown)
            return false;
        lines->line = (char(*)[text_columns + 1]) grown;
        lines->capacity = capacity;
    }
    if (length > text_columns)
        length = text_columns;
    memcpy(lines->line[lines->count], text, length);
    lines->line[lines->count++][length] = '\0';
    return true;
}

bool add_wrapped(text_lines *lines, const char *text, size_t length)
{
    while (length > 0 && text[length - 1] == ' ')
        length--;
    size_t indent = 0;
    while (indent < length && text[indent] == ' ' && indent < text_columns / 2)
        indent++;
    char line[text_columns + 1];
    size_t start = 0; // of what is left of text
    while (length - start + (start ? indent : 0) > text_columns) {
        size_t lead = start ? indent : 0, room = text_columns - lead, cut = room;
        while (cut > 0 && text[start + cut] != ' ')
            cut--;
        if (cut == 0 || (start == 0 && cut <= indent))
            cut = room; // one word fills the line
        memset(line, ' ', lead);
        memcpy(line + lead, text + start, cut);
        if (!add_line(lines, line, lead + cut))
            return false;
        start += cut;
        while (start < length && text[start] == ' ')
            start++;
    }
    memset(line, ' ', start ? indent : 0);
    memcpy(line + (start ? indent : 0), text + start, length - start);
    return add_line(lines, line, (start ? indent : 0) + length - start);
}

bool end_sheet(text_lines *lines)
{
    while (lines->count % lines_per_sheet != 0)
        if (!add_line(lines, "", 0))
            return false;
    return true;
}

uint32_t sheets_of(const text_lines &lines)
{
    return (lines.count + lines_per_sheet - 1) / lines_per_sheet;
}

bool measure_file(const char *path, cover_facts *facts)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    sha256_state hash;
    sha256_begin(&hash);
    static unsigned char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        sha256_update(&hash, buffer, got);
    bool failed = ferror(file);
    fclose(file);
    if (failed) {
        errno = errno ? errno : EIO;
        return false;
    }
    const char *slash = strrchr(path, '/');
    facts->name = slash ? slash + 1 : path;
    facts->length = hash.length;
    sha256_finish(&hash, facts->sha256);
    // paprel writes one page even for an empty file.
    const uint64_t pages = pages_for_bytes(facts->length);
    facts->pages = pages == 0 ? 1 : pages > UINT32_MAX ? UINT32_MAX : (uint32_t)pages;
    return true;
}

bool page_file_base(const char *path, char *base, size_t size)
{
    const char *slash = strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    size_t length = strlen(name);
    const char suffix[] = "_0000.pgm";
    if (length <= sizeof suffix - 1 || length - (sizeof suffix - 1) >= size)
        return false;
    const char *tail = name + length - (sizeof suffix - 1);
    for (size_t i = 0; suffix[i]; i++)
        if (suffix[i] == '0' ? !isdigit((unsigned char)tail[i]) : tail[i] != suffix[i])
            return false;
    memcpy(base, name, tail - name);
    base[tail - name] = '\0';
    return true;
}

// Every line of the cover goes through add_text, so that none can run
// past the edge of the sheet.
bool cover_lines(const cover_facts &facts, text_lines *lines)
{
    char name[name_room], word[name_room], base[name_room], hex[name_room] = "";
    const bool odd_name = shown_name(facts.name, name, sizeof name);
    shell_word(facts.name, word, sizeof word);
    shell_word(facts.base, base, sizeof base);
    for (size_t i = 0; facts.name[i] && 2 * i + 2 < sizeof hex; i++)
        snprintf(hex + 2 * i, 3, "%02x", (unsigned char)facts.name[i]);
    const unsigned long long length = facts.length;
    bool ok = add_text(lines, 0, "paprel archive: cover sheet") && add_line(lines, "", 0) &&
              add_text(lines, 9, "File:    %s", name);
    if (ok && odd_name)
        ok = add_text(lines, 9, "         (its bytes in hex: %s)", hex);
    ok = ok && add_text(lines, 0, "Length:  %llu bytes", length) &&
         add_text(lines, 0, "SHA-256: %s", facts.sha256) &&
         add_text(lines, 0, "Pages:   %u, after this cover sheet", facts.pages) &&
         add_text(lines, 0, "Format:  %s, written by paprel %s", PAGE_FORMAT_STRING,
                  program_version) &&
         add_line(lines, "", 0) && add_text(lines, 0, "To restore the file:") &&
         add_text(lines, 0,
                  "  1. Scan every page at 600 dpi in grey, at 100 %% size, to PNG files "
                  "named %s_0001.png, %s_0002.png, ... in the order of the page numbers on "
                  "the labels.",
                  base, base) &&
         add_text(lines, 5, "  2. unpaprel %s %s > restored.bin", PAGE_FORMAT_STRING, base) &&
         add_text(
             lines, 0,
             "  3. The last page is filled up with zeros; keep the first %llu bytes:", length) &&
         add_text(lines, 5, "     head -c %llu restored.bin > %s", length, word) &&
         add_text(lines, 5, "  4. sha256sum %s", word) &&
         add_text(lines, 0, "     must print %s", facts.sha256) && add_line(lines, "", 0);
    for (size_t i = 0; ok && i < sizeof layout_text / sizeof *layout_text; i++)
        ok = add_text(lines, 0, "%s", layout_text[i]);
    return ok && end_sheet(lines);
}

bool plain_text_lines(const char *text, size_t size, text_lines *lines)
{
    char *plain = (char *)malloc(size + 1); // ASCII never takes more bytes than UTF-8
    if (!plain)
        return false;
    size_t n = 0;
    for (size_t i = 0; i < size;) {
        const unsigned char c = (unsigned char)text[i];
        size_t matched = 0;
        for (const auto &t : transliterations)
            if (!matched && strncmp(text + i, t.utf8, strlen(t.utf8)) == 0) {
                memcpy(plain + n, t.ascii, strlen(t.ascii));
                n += strlen(t.ascii);
                matched = strlen(t.utf8);
            }
        if (matched) {
            i += matched;
            continue;
        }
        if (c == '\n' || printable(c))
            plain[n++] = (char)c;
        else if (c == '\t')
            plain[n++] = ' ';
        else if (c >= 0xC0 || c == 0x7f)
            plain[n++] = '?'; // the start of another character; its tail bytes are dropped
        i++;
    }
    bool ok = true;
    for (size_t start = 0; ok && start < n;) {
        const char *end = (const char *)memchr(plain + start, '\n', n - start);
        size_t length = end ? (size_t)(end - (plain + start)) : n - start;
        ok = add_wrapped(lines, plain + start, length);
        start += length + 1;
    }
    free(plain);
    return ok && end_sheet(lines);
}

void escape_line(const char *line, char *out)
{
    for (; *line; line++) {
        if (*line == '(' || *line == ')' || *line == '\\')
            *out++ = '\\';
        *out++ = *line;
    }
    *out = '\0';
}

void text_origin(const paper_size &paper, double *x, double *y)
{
    *x = (paper.width_pt - text_columns * 0.6 * text_font_size) / 2;
    *y = paper.height_pt - 54 - text_font_size;
}
