// KtJsonWriter: compact JSON text from a value tree. No whitespace is written; object
// members come out in the object's own order. Strings are UTF-8 and escaped per byte:
// control bytes, the quotation mark and the backslash; every other byte, non-ASCII
// included, is written unchanged. A writer keeps per-call state (depth, error trace) and
// serves one caller at a time; make a fresh one per conversion or per thread.
#ifndef OVRA_JSON_WRITER_H_
#define OVRA_JSON_WRITER_H_

#include <cstdint>
#include <optional>
#include <string>

#include "json/base.h"
#include "json/document.h"
#include "json/value.h"

namespace ovra::json {

class KtJsonWriter : public KtJsonBase {
 public:
  // The JSON text of an array or object (or of a proxy that turns into one); nothing on
  // failure, with the reasons in errorTrace(), kNotArrayOrObject always last.
  std::optional<std::string> stringWithObject(const Value& value);
  // The same text for a parsed document as for its heap form.
  std::optional<std::string> stringWithDocument(const Document& document);

  // Each appends its value's text to `out` and returns false on failure (having added
  // the reason to the trace); `out` then holds a partial text that callers drop.
  bool appendValue(const Value& value, std::string& out);
  bool appendArray(const Array& array, std::string& out);
  bool appendDictionary(const Object& object, std::string& out);
  bool appendString(const std::string& string, std::string& out);  // never fails

 private:
  // The output under construction, written through a pointer (see writer.cc).
  class Sink;
  bool writeValue(const Value& value, Sink& out);
  bool writeValue(const Node& node, Sink& out);
  // Over the elements of an Array or a node, the members of an Object or a node.
  template <typename Elements>
  bool writeArray(const Elements& array, Sink& out);
  template <typename Members>
  bool writeDictionary(const Members& object, Sink& out);
  static void writeString(std::string_view string, Sink& out);

  // Proxies being resolved on the current path; bounded like nesting, so a proxy that
  // returns itself fails instead of recursing forever.
  uint64_t proxyHops_ = 0;
};

}  // namespace ovra::json

#endif  // OVRA_JSON_WRITER_H_
