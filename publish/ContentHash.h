// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include <xxhash.h>

// A fingerprint of the content, to notice another program's write; any split of the input gives
// the same value as the whole.
class CContentHash {
public:
    CContentHash() : m_state(XXH3_createState(), XXH3_freeState) {
        if (!m_state) {
            throw std::bad_alloc();
        }
        XXH3_64bits_reset(m_state.get());
    }
    void Update(std::string_view bytes) {
        XXH3_64bits_update(m_state.get(), bytes.data(), bytes.size());
    }
    uint64_t Value() const { return XXH3_64bits_digest(m_state.get()); }

private:
    std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> m_state;
};

// The hash of everything the descriptor reads from its start; nullopt when a read fails.
std::optional<uint64_t> HashFile(int fd);
