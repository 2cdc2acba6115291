// SPDX-License-Identifier: GPL-3.0-or-later
// The work a safe save of a page cannot avoid, done in-process for every page named: read it,
// write it to a temporary file beside it, fsync, rename over it. Prints the seconds it took.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i < argc; ++i) {
        const std::string page = argv[i];
        std::ifstream in(page, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        const std::string bytes = text.str();
        const std::string temp = page + ".tmp";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 ||
            ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), page.c_str()) != 0) {
            std::perror(page.c_str());
            return 1;
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", took.count());
    return 0;
}
