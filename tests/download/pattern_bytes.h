// Test helper: deterministic file content, the same bytes for the hand-rolled server, the files
// the vendor simulator serves and the checks of what arrived.
// Threading: pure functions. Ownership: none.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// Deterministic content: byte i of a generated file of a given seed (one mixed 64-bit word per
// eight bytes, so large files are generated quickly).
inline uint64_t PatternWord(uint32_t seed, uint64_t word) {
  uint64_t x = word * 0x9E3779B97F4A7C15ull + seed;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  return x;
}

inline void FillPattern(uint32_t seed, int64_t offset, char* out, size_t n) {
  size_t i = 0;
  uint64_t pos = static_cast<uint64_t>(offset);
  while (i < n) {
    const uint64_t word = PatternWord(seed, pos / 8);
    const size_t within = static_cast<size_t>(pos % 8);
    const size_t take = std::min<size_t>(8 - within, n - i);
    for (size_t k = 0; k < take; ++k) {
      out[i + k] = static_cast<char>(word >> (8 * (within + k)));
    }
    i += take;
    pos += take;
  }
}

inline std::string PatternBytes(uint32_t seed, int64_t size) {
  std::string s(static_cast<size_t>(size), '\0');
  FillPattern(seed, 0, &s[0], s.size());
  return s;
}

}  // namespace testsupport
