// SPDX-License-Identifier: MIT
// fuzz/input_file.cpp — the one scratch file each fuzz target writes its inputs to.
#include "fuzz/input_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string gPath;
void removeInput() { unlink(gPath.c_str()); }
} // namespace

const char* fuzzInputPath(const char* suffix)
{
    if (!gPath.empty()) return gPath.c_str();
    struct stat st{};
    const char* dir = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string name = std::string(dir) + "/rinta-fuzz-XXXXXX" + suffix;
    const int fd = mkstemps(name.data(), static_cast<int>(std::strlen(suffix)));
    if (fd < 0) {
        std::perror("fuzz: cannot make the scratch file");
        std::abort();
    }
    close(fd);
    gPath = name;
    std::atexit(removeInput);
    return gPath.c_str();
}

void writeFuzzInput(const char* path, const std::uint8_t* data, std::size_t size)
{
    const int fd = open(path, O_WRONLY | O_TRUNC);
    std::size_t done = 0;
    while (fd >= 0 && done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (fd < 0 || done != size) {
        std::perror("fuzz: cannot write the scratch file");
        std::abort();
    }
    close(fd);
}
