// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

// Reserves room for `size_bytes` in `buffer`. A buffer of several megabytes (a large page, its
// conversion) asks the kernel for large pages: faulting in a small page each 4 KiB costs more
// than filling it, several times more in a virtual machine.
void ReserveLarge(std::string& buffer, size_t size_bytes);
