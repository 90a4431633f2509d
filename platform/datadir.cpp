// SPDX-License-Identifier: MIT
// platform/datadir.cpp — a private working directory whose data links to the chosen one.
#include "platform/datadir.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string linkDir;

void removeLinkDir()
{
    std::error_code ec;
    fs::remove(linkDir + "/data", ec);
    fs::remove(linkDir, ec);
}

} // namespace

bool useDataDirectory(const std::string& dir, std::string& error)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "data directory " + dir + " does not exist";
        return false;
    }
    const fs::path target = fs::absolute(dir, ec);
    const fs::path tmp = fs::temp_directory_path(ec);
    std::string pattern = (tmp / "rinta-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        error = "cannot make a working directory under " + tmp.string();
        return false;
    }
    if (linkDir.empty())
        std::atexit(removeLinkDir); // also when the song's end ends the process
    else
        removeLinkDir(); // a second call replaces the first
    linkDir = pattern;
    removeOnSignalExit((linkDir + "/data").c_str()); // a signal's quick end leaves none either
    removeOnSignalExit(linkDir.c_str());
    fs::create_directory_symlink(target, linkDir + "/data", ec);
    if (ec || chdir(linkDir.c_str()) != 0) {
        error = "cannot link " + linkDir + "/data to " + target.string();
        return false;
    }
    return true;
}
