// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for ffmpeg in the runner tests. What it does comes from the environment, which the
// runner passes on unchanged:
//   DEDE5_STANDIN_ARGS    file to receive argv, each argument followed by a NUL byte
//   DEDE5_STANDIN_OUTPUT  file whose bytes go to standard output
//   DEDE5_STANDIN_PIECE   write that output in pieces of this many bytes, pausing between them
//   DEDE5_STANDIN_STDERR  text written to standard error after the output
//   DEDE5_STANDIN_LINGER  close both outputs, then stay alive this many milliseconds
//   DEDE5_STANDIN_SIGNAL  end by this signal
//   DEDE5_STANDIN_EXIT    exit code (default 0)
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <time.h>
#include <unistd.h>

namespace {

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

void Pause(long milliseconds) {
    timespec delay{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (::nanosleep(&delay, &delay) != 0) {
    }
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* file = Env("DEDE5_STANDIN_ARGS")) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < argc; ++i) {
            out.write(argv[i], static_cast<std::streamsize>(std::strlen(argv[i]) + 1));
        }
    }
    if (const char* file = Env("DEDE5_STANDIN_OUTPUT")) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        const char* piece = Env("DEDE5_STANDIN_PIECE");
        const size_t step = piece ? std::strtoul(piece, nullptr, 10) : bytes.size();
        for (size_t pos = 0; pos < bytes.size(); pos += step) {
            if (pos > 0) {
                Pause(2);
            }
            WriteAll(STDOUT_FILENO, bytes.data() + pos, std::min(step, bytes.size() - pos));
        }
    }
    if (const char* text = Env("DEDE5_STANDIN_STDERR")) {
        WriteAll(STDERR_FILENO, text, std::strlen(text));
    }
    if (const char* linger = Env("DEDE5_STANDIN_LINGER")) {
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
        Pause(std::strtol(linger, nullptr, 10));
    }
    if (const char* signal = Env("DEDE5_STANDIN_SIGNAL")) {
        std::signal(std::atoi(signal), SIG_DFL);
        std::raise(std::atoi(signal));
    }
    const char* code = Env("DEDE5_STANDIN_EXIT");
    return code ? std::atoi(code) : 0;
}
