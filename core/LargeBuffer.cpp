// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LargeBuffer.h"

#include <cstdint>

#include <sys/mman.h>

void ReserveLarge(std::string& buffer, size_t size_bytes) {
    constexpr size_t kLargePage = size_t{2} << 20;
    const bool fresh = size_bytes > buffer.capacity();
    buffer.reserve(size_bytes);
    if (!fresh || size_bytes < 2 * kLargePage) {
        return;
    }
    // Only whole large pages inside the buffer; advice the kernel cannot follow changes nothing.
    const auto start = reinterpret_cast<uintptr_t>(buffer.data());
    const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
    const uintptr_t end = (start + buffer.capacity()) & ~(kLargePage - 1);
    if (end > first) {
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
}
