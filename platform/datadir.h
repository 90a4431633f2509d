// SPDX-License-Identifier: MIT
// platform/datadir.h — the demo reads "data/..." relative to its working directory. To read
// another directory, the process moves into a private directory whose "data" links there;
// the link and the directory are removed when the process exits.
#pragma once
#include <string>

// False with the reason in error; dir must exist.
bool useDataDirectory(const std::string& dir, std::string& error);
