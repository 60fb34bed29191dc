// intValue: the integer at the start of a text, as matching reads an event's date and the
// timeline a person's uid. Inline, for it runs once per event in the matching walk; a pure
// function, any thread.
#ifndef OVRA_MODEL_INT_VALUE_H_
#define OVRA_MODEL_INT_VALUE_H_

#include <cstdint>
#include <limits>
#include <string_view>

#include "base/text.h"

namespace ovra::model {

// The integer at the start of a text, read the way the phone's own frameworks read it:
// leading white space, an optional sign, then decimal digits; 0 when there are no digits;
// values beyond the signed 32-bit range become its nearest end.
inline int32_t intValue(std::string_view text) {
  // Most texts are dates: nothing but up to ten digits, summed without a test per digit.
  if (!text.empty() && text.size() <= 10) {
    uint64_t value = 0;
    bool digits = true;
    for (char c : text) {
      const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
      digits &= digit < 10;
      value = value * 10 + digit;
    }
    if (digits) return base::clampToInt32(static_cast<int64_t>(value));
  }
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLimit) magnitude = kLimit;  // stays saturated for any length
  }
  return base::clampToInt32(negative ? -magnitude : magnitude);
}

}  // namespace ovra::model

#endif  // OVRA_MODEL_INT_VALUE_H_
