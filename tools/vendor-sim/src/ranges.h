// Byte-range arithmetic of the simulated download host: one "Range: bytes=..." header against
// a file size, and the Content-Range text of the answer.
// Pure functions, no state: safe from any thread. Nothing is owned.
#pragma once

#include <cstdint>
#include <string>

namespace vendorsim {

struct RangeResult {
  enum class Kind {
    kNone,           // no Range header: the whole file, 200
    kSatisfiable,    // one range inside the file: 206 with first..last
    kUnsatisfiable,  // starts at or past the end (or an empty suffix): 416
    kIgnored,        // syntax we do not serve (several ranges, other units, garbage): 200
  };
  Kind kind = Kind::kNone;
  uint64_t first = 0;  // inclusive
  uint64_t last = 0;   // inclusive, already clamped to size - 1
};

// A last position past the end is clamped to the last byte, as clients that ask for
// "first-size" (one past the end) expect the remainder of the file, not an error.
RangeResult ParseSingleRange(const std::string& header, uint64_t size);

// "bytes first-last/total".
std::string ContentRangeValue(uint64_t first, uint64_t last, uint64_t total);

// "bytes */total", the Content-Range of a 416 answer.
std::string UnsatisfiedRangeValue(uint64_t total);

}  // namespace vendorsim
