// Copying short texts where both sides have room to spare.
//
// A listing line is put together from a handful of short pieces: a mnemonic,
// an operand, a note. With memcpy each piece is a call that branches on its
// length; where the source is followed by kSlack readable bytes and the
// destination by kSlack writable ones, whole 16-byte blocks copy it in a move
// or two.
#pragma once

#include <cstddef>
#include <cstring>

namespace tolvek {

inline constexpr std::size_t kSlack = 16;

// Copies size bytes from `from` to out, reading and writing up to kSlack - 1
// bytes past them; returns out + size.
inline char* CopyWithSlack(char* out, const char* from, std::size_t size) {
    for (std::size_t done = 0; done < size; done += kSlack) {
        std::memcpy(out + done, from + done, kSlack);
    }
    return out + size;
}

}  // namespace tolvek
