// print_fixture.cpp - page files, Ghostscript and PNG reading for the tests.
#include "print_fixture.h"

#include "cli.h"
#include "page_format.h"

#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

std::vector<unsigned char> write_random_page(const std::string &path, unsigned seed)
{
    std::string bytes = random_bytes(page_pixels, seed);
    std::vector<unsigned char> pixels(page_pixels);
    for (uint32_t i = 0; i < page_pixels; i++)
        pixels[i] = (unsigned char)bytes[i] & 1 ? 0 : 255;
    write_pgm(path, page_width, page_height, pixels);
    return pixels;
}

std::string find_program(const std::string &name)
{
    const char *path = getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

std::string find_ghostscript()
{
    return find_program("gs");
}

bool render_sheets(const std::string &gs, const std::string &document,
                   const std::string &png_pattern)
{
    command_result result =
        run_command({gs, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pnggray", "-r600",
                     "-sOutputFile=" + png_pattern, document});
    if (result.status != 0)
        fprintf(stderr, "gs failed with status %d:\n%s%s", result.status, result.out.c_str(),
                result.err.c_str());
    return result.status == 0;
}

bool read_png(const std::string &path, grey_image *image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return false;
    png.format = PNG_FORMAT_GRAY;
    image->width = png.width;
    image->height = png.height;
    image->pixels.assign((size_t)png.width * png.height, 0);
    bool ok = png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr) != 0;
    png_image_free(&png);
    return ok;
}
