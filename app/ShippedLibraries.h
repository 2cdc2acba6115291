// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>

// A third-party library installed beside the program, as its npm package describes it.
struct ShippedLibrary {
    const char* name;
    const char* version;
    // The package's licence, an SPDX expression such as "MIT".
    const char* licence;
};

// Every player library the installation ships, in a fixed order; read from the npm packages
// when the build was configured.
std::span<const ShippedLibrary> GetShippedLibraries();

// The libraries the programs are built with, and FFmpeg, which they run; their versions are
// those found when the build was configured.
std::span<const ShippedLibrary> GetLinkedLibraries();

// "name version (licence)", the line the about box and the copyright file show.
std::string GetShippedLibraryText(const ShippedLibrary& library);
