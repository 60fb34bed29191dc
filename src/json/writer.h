// KtJsonWriter: compact JSON text from a value tree. No whitespace is written; object
// members come out in the object's own order. One caller at a time.
#ifndef OVRA_JSON_WRITER_H_
#define OVRA_JSON_WRITER_H_

#include <optional>
#include <string>

#include "json/base.h"
#include "json/value.h"

namespace ovra::json {

class KtJsonWriter : public KtJsonBase {
 public:
  // The JSON text of an array or object (or of a proxy that turns into one); nothing on
  // failure, with the reasons in errorTrace().
  std::optional<std::string> stringWithObject(const Value& value);

  bool appendValue(const Value& value, std::string& out);
  bool appendArray(const Array& array, std::string& out);
  bool appendDictionary(const Object& object, std::string& out);
  bool appendString(const std::string& string, std::string& out);
};

}  // namespace ovra::json

#endif  // OVRA_JSON_WRITER_H_
