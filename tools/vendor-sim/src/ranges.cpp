#include "ranges.h"

#include <cctype>

namespace vendorsim {
namespace {

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

// Decimal digits only; false on an empty text or on a value past 2^63 - 1.
bool ParseOffset(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t result = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    result = result * 10u + static_cast<uint64_t>(ch - '0');
  }
  if (result > static_cast<uint64_t>(INT64_MAX)) return false;
  *value = result;
  return true;
}

RangeResult Make(RangeResult::Kind kind, uint64_t first = 0, uint64_t last = 0) {
  RangeResult result;
  result.kind = kind;
  result.first = first;
  result.last = last;
  return result;
}

}  // namespace

RangeResult ParseSingleRange(const std::string& header, uint64_t size) {
  const std::string value = Trim(header);
  if (value.empty()) return Make(RangeResult::Kind::kNone);
  const std::string unit = "bytes=";
  if (value.size() <= unit.size()) return Make(RangeResult::Kind::kIgnored);
  for (size_t i = 0; i < unit.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(value[i])) != unit[i]) {
      return Make(RangeResult::Kind::kIgnored);
    }
  }
  const std::string rangeSet = Trim(value.substr(unit.size()));
  if (rangeSet.find(',') != std::string::npos) return Make(RangeResult::Kind::kIgnored);
  const size_t dash = rangeSet.find('-');
  if (dash == std::string::npos || rangeSet.find('-', dash + 1) != std::string::npos) {
    return Make(RangeResult::Kind::kIgnored);
  }
  const std::string firstText = Trim(rangeSet.substr(0, dash));
  const std::string lastText = Trim(rangeSet.substr(dash + 1));

  if (firstText.empty()) {  // suffix range: the last N bytes
    uint64_t suffix = 0;
    if (!ParseOffset(lastText, &suffix)) return Make(RangeResult::Kind::kIgnored);
    if (suffix == 0 || size == 0) return Make(RangeResult::Kind::kUnsatisfiable);
    const uint64_t first = suffix >= size ? 0 : size - suffix;
    return Make(RangeResult::Kind::kSatisfiable, first, size - 1);
  }

  uint64_t first = 0;
  if (!ParseOffset(firstText, &first)) return Make(RangeResult::Kind::kIgnored);
  uint64_t last = 0;
  const bool open = lastText.empty();
  if (!open) {
    if (!ParseOffset(lastText, &last)) return Make(RangeResult::Kind::kIgnored);
    if (last < first) return Make(RangeResult::Kind::kIgnored);
  }
  if (first >= size) return Make(RangeResult::Kind::kUnsatisfiable);
  if (open || last >= size) last = size - 1;
  return Make(RangeResult::Kind::kSatisfiable, first, last);
}

std::string ContentRangeValue(uint64_t first, uint64_t last, uint64_t total) {
  return "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
         std::to_string(total);
}

std::string UnsatisfiedRangeValue(uint64_t total) { return "bytes */" + std::to_string(total); }

}  // namespace vendorsim
