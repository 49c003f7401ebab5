// Range arithmetic of the download host at the edges the download engine reaches.
#include <gtest/gtest.h>

#include "ranges.h"

namespace vendorsim {
namespace {

using Kind = RangeResult::Kind;

struct RangeCase {
  const char* header;
  uint64_t size;
  Kind kind;
  uint64_t first;
  uint64_t last;
};

TEST(SimRanges, SingleRangesAgainstFileSize) {
  const RangeCase cases[] = {
      {"", 1000, Kind::kNone, 0, 0},
      {"bytes=0-0", 1000, Kind::kSatisfiable, 0, 0},
      {"bytes=999-999", 1000, Kind::kSatisfiable, 999, 999},      // the last byte
      {"bytes=0-999", 1000, Kind::kSatisfiable, 0, 999},          // exactly the file
      {"bytes=0-1000", 1000, Kind::kSatisfiable, 0, 999},         // runs to content length
      {"bytes=4194304-10485760", 10485760, Kind::kSatisfiable, 4194304, 10485759},
      {"bytes=500-99999999", 1000, Kind::kSatisfiable, 500, 999},
      {"bytes=500-", 1000, Kind::kSatisfiable, 500, 999},         // open end
      {"bytes=-1", 1000, Kind::kSatisfiable, 999, 999},           // suffix
      {"bytes=-5000", 1000, Kind::kSatisfiable, 0, 999},          // suffix longer than file
      {"Bytes=1-2", 1000, Kind::kSatisfiable, 1, 2},              // unit is case-insensitive
      {" bytes=1-2 ", 1000, Kind::kSatisfiable, 1, 2},
      {"bytes=1000-1000", 1000, Kind::kUnsatisfiable, 0, 0},      // first byte past the end
      {"bytes=1000-", 1000, Kind::kUnsatisfiable, 0, 0},
      {"bytes=0-0", 0, Kind::kUnsatisfiable, 0, 0},               // empty file
      {"bytes=-0", 1000, Kind::kUnsatisfiable, 0, 0},
      {"bytes=5-1", 1000, Kind::kIgnored, 0, 0},                  // last before first
      {"bytes=0-1,5-6", 1000, Kind::kIgnored, 0, 0},              // several ranges
      {"items=0-1", 1000, Kind::kIgnored, 0, 0},
      {"bytes=a-b", 1000, Kind::kIgnored, 0, 0},
      {"bytes=1-2-3", 1000, Kind::kIgnored, 0, 0},
      {"bytes=99999999999999999999-", 1000, Kind::kIgnored, 0, 0},  // overflow
      {"bytes=", 1000, Kind::kIgnored, 0, 0},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.header);
    const RangeResult result = ParseSingleRange(c.header, c.size);
    EXPECT_EQ(result.kind, c.kind);
    if (c.kind == Kind::kSatisfiable) {
      EXPECT_EQ(result.first, c.first);
      EXPECT_EQ(result.last, c.last);
    }
  }
}

TEST(SimRanges, ContentRangeTexts) {
  EXPECT_EQ(ContentRangeValue(999, 999, 1000), "bytes 999-999/1000");
  EXPECT_EQ(ContentRangeValue(0, 4194303, 10485760), "bytes 0-4194303/10485760");
  EXPECT_EQ(UnsatisfiedRangeValue(1000), "bytes */1000");
}

}  // namespace
}  // namespace vendorsim
