// KtJsonParser: strict JSON text to a value tree. Only an array or an object is accepted
// at the top level; integers that fit in 64 bits become integers, every other number an
// exact Decimal. Input must be valid UTF-8. One caller at a time.
#ifndef OVRA_JSON_PARSER_H_
#define OVRA_JSON_PARSER_H_

#include <optional>
#include <string_view>

#include "json/base.h"
#include "json/value.h"

namespace ovra::json {

class KtJsonParser : public KtJsonBase {
 public:
  // The array or object in `text` (which ends at its first NUL byte), or nothing on
  // failure, with the reasons in errorTrace(). An absent text fails with error 12.
  std::optional<Value> objectWithString(std::optional<std::string_view> text);
};

}  // namespace ovra::json

#endif  // OVRA_JSON_PARSER_H_
