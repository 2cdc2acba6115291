// SPDX-License-Identifier: GPL-3.0-or-later
// dede5-media-probe --full|--headers-only NAME: reads the media file open on standard input
// with libmediainfo and writes its fields on standard output. The programs start it with
// limits on memory and time, so that a damaged file that makes the library take gigabytes or
// minutes costs only this process. Exit status: 0 read, 1 not media, 2 misused, 3 unwritten.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "media/MediaInfoReader.h"

int main(int argc, char** argv) {
    const bool known = argc == 3 && (std::strcmp(argv[1], "--full") == 0 ||
                                     std::strcmp(argv[1], "--headers-only") == 0);
    if (!known || ::isatty(STDIN_FILENO)) {
        std::fputs("usage: dede5-media-probe --full|--headers-only NAME <FILE\n", stderr);
        return 2;
    }
    // NAME is in the system code page, and read only where /proc is missing.
    std::setlocale(LC_ALL, "");
    CMediaInfoReader reader;
    if (!reader.Open(STDIN_FILENO, argv[2], std::strcmp(argv[1], "--headers-only") == 0)) {
        return 1;
    }
    const std::string fields = reader.Fields();
    const bool written = std::fwrite(fields.data(), 1, fields.size(), stdout) == fields.size();
    return written && std::fflush(stdout) == 0 ? 0 : 3;
}
