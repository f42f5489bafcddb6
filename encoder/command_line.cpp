// command_line.cpp - paprel's arguments, its help and its warnings.
//
// paprel [-h | --help | --version] <input file | -> [filename base]. An
// argument that starts with '-' is an option unless it is "-" (standard
// input) or names an existing file, which keeps such files usable as they
// always were. The usage text for a command line without arguments or
// with an unknown option is the one paprel always printed, byte for byte;
// --help prints a fuller text on standard output. Reads the arguments and
// the file system's names; writes standard output and standard error.
#include "command_line.h"
#include "version.h"

#include <cstring>
#include <sys/stat.h>

namespace {

const char usage_text[] =
    "\nUsage: paprel <input file> [filename base]\n\n"
    "Will take the input file as data payload and produce paprel_out_????.pgm which contain "
    "the input file encoded onto paper, with error correction codes, and automatically split "
    "into multiple files when necessary. Those pgm's are supposed to be printed on laser "
    "printer at least 600 DPI for example using GIMP, or use the included sheetprint to "
    "convert them to PostScript and print for example using a PostScript viewer program.\n\n";

const char help_text[] =
    "Usage: paprel [options] <input file> [filename base]\n"
    "       paprel [options] - [filename base]\n"
    "\n"
    "Writes a file onto printable pages: grey-scale PGM images\n"
    "<base>_0001.pgm, <base>_0002.pgm, ... of 1546 x 2242 pixels, each holding\n"
    "199773 bytes of the file in Golay-coded bits, for a laser printer at\n"
    "600 dpi (sheetprint makes a PDF or PostScript document of them at exact\n"
    "size). unpaprel reads the file back from scans of the pages.\n"
    "\n"
    "Arguments:\n"
    "  <input file>     the file to encode; - reads standard input. A pipe, a\n"
    "                   FIFO, a device or standard input is first copied into a\n"
    "                   temporary file in $TMPDIR (default /tmp), as every label\n"
    "                   shows the page count.\n"
    "  [filename base]  the start of the page file names, printed on every\n"
    "                   label (about 70 characters fit); paprel_out and no name\n"
    "                   on the labels without it.\n"
    "\n"
    "Options:\n"
    "  -h, --help       print this text and exit\n"
    "      --version    print the version and exit\n"
    "\n"
    "Example:\n"
    "  tar -cf - documents | xz -9 | paprel - backup\n"
    "  sheetprint -o backup.pdf backup_*.pgm\n";

bool names_a_file(const char *arg)
{
    struct stat info;
    return lstat(arg, &info) == 0;
}

// encode for an argument that is no option: a file, "-", or a name that
// exists although it looks like an option.
paprel_action option_action(const char *arg)
{
    if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0)
        return paprel_action::help;
    if (strcmp(arg, "--version") == 0)
        return paprel_action::version;
    if (arg[0] == '-' && strcmp(arg, "-") != 0 && !names_a_file(arg))
        return paprel_action::unknown_option;
    return paprel_action::encode;
}

} // namespace

paprel_command read_command_line(int argc, char *const *argv)
{
    paprel_command command = {};
    command.action = argc < 2 ? paprel_action::usage : paprel_action::encode;
    // The first option decides, wherever it stands.
    for (int i = 1; i < argc && command.action == paprel_action::encode; i++) {
        command.action = option_action(argv[i]);
        command.bad_option = argv[i];
    }
    if (command.action != paprel_action::encode)
        return command;
    command.input = argv[1];
    // A base given on the command line is also the name on the labels.
    command.base = argc > 2 ? argv[2] : "paprel_out";
    command.label = argc > 2 ? argv[2] : "";
    command.ignored_count = argc > 3 ? argc - 3 : 0;
    command.ignored = argv + 3;
    return command;
}

int answer_command_line(const paprel_command &command)
{
    switch (command.action) {
    case paprel_action::help:
        fputs(help_text, stdout);
        return 0;
    case paprel_action::version:
        printf("paprel %s\n", program_version);
        return 0;
    case paprel_action::unknown_option:
        fprintf(stderr, "paprel: unknown option %s\n", command.bad_option);
        break;
    case paprel_action::usage:
    case paprel_action::encode:
        break;
    }
    fwrite(usage_text, 1, sizeof usage_text - 1, stderr);
    return 1;
}

namespace {

void warn_ignored(const paprel_command &command)
{
    if (command.ignored_count == 0)
        return;
    fprintf(stderr,
            "paprel: warning: ignoring %d argument%s after the base:", command.ignored_count,
            command.ignored_count == 1 ? "" : "s");
    for (int i = 0; i < command.ignored_count; i++)
        fprintf(stderr, " %s", command.ignored[i]);
    fputc('\n', stderr);
}

// The name's characters that get a cell on a label, however many fit.
size_t drawn_characters(const char *name)
{
    size_t count = 0;
    for (const char *p = name; *p != '\0'; p++)
        count += (signed char)*p >= 32;
    return count;
}

// The last page has the longest "page/count" and so shows the least of
// the name; page 1 may show a little more.
void warn_label_text(const paprel_run &run, const char *name)
{
    const uint32_t last = run.page_count > 1 ? run.page_count : 1;
    char shown[label_text_size], first_shown[label_text_size];
    label_shown_name(last, run.page_count, name, shown);
    label_shown_name(1, run.page_count, name, first_shown);
    const size_t count = strlen(shown), first_count = strlen(first_shown);
    if (count < drawn_characters(name)) {
        fprintf(stderr,
                "paprel: warning: the label shows only the first %zu characters of the base",
                count);
        if (first_count != count)
            fprintf(stderr, " (%zu on page 1)", first_count);
        fprintf(stderr, ": \"%s\"\n", shown);
    } else if (strcmp(shown, name) != 0) {
        fprintf(stderr,
                "paprel: warning: the label leaves out the base's control and non-ASCII "
                "characters: \"%s\"\n",
                shown);
    }
}

} // namespace

void warn_about_arguments(const paprel_run &run, const paprel_command &command)
{
    warn_ignored(command);
    const char *name = command.label;
    if (strchr(name, '/'))
        fprintf(stderr,
                "paprel: warning: the label shows the whole base, directories included: \"%s\"\n",
                name);
    warn_label_text(run, name);
}
