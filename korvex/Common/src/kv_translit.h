// Latin spelling of the Ukrainian letters of the Windows Cyrillic code page.
#pragma once

namespace kv {

// Writes src (at most src_length bytes, stopping at a zero) into dst with the Ukrainian
// letters spelt in Latin letters; every other byte is copied. Output stops before it
// would pass dst_size - 2 characters; a letter whose spelling does not fit whole is
// left out. dst is then ended with a zero when dst_size > 0 (nothing is written
// otherwise). Answers the number of characters written before the zero.
int transliterate_ukrainian(const char* src, int src_length, char* dst, int dst_size) noexcept;

}  // namespace kv
