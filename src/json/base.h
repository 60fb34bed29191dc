// The common base of the JSON writer and parser: the error codes, the error trace of the
// current call and the nesting limit. A codec object serves one caller at a time; make
// one per thread.
#ifndef OVRA_JSON_BASE_H_
#define OVRA_JSON_BASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::json {

inline constexpr const char kKtJSONErrorDomain[] = "org.ovra.json.ErrorDomain";

// The codes shared by writer and parser; a trace record carries the number.
enum class JsonError : uint64_t {
  kUnwritableValue = 1,     // a value the writer cannot write (NaN, infinity, no proxy)
  kBadNumber = 2,           // a malformed number
  kMalformedInput = 3,      // malformed input: bad literal, key or separator, invalid UTF-8
  kNotArrayOrObject = 4,    // the top level is not an array or object
  kUnescapedControl = 5,    // a control character unescaped in a string
  kBadUnicodeEscape = 6,    // a bad \u escape or surrogate pair
  kTooDeep = 7,             // nesting deeper than the limit
  kIllegalEscape = 8,       // a backslash before a byte that starts no escape
  kTrailingComma = 9,       // a comma right before the closing bracket or brace
  kGarbageAfterValue = 10,  // text other than whitespace after the top-level value
  kUnexpectedEnd = 11,      // the input ended before the value did
  kNoInput = 12,            // no input at all
};

// One record of an error trace. Every record but the first of a trace links to the
// record added just before it.
struct Error {
  std::string domain;
  uint64_t code = 0;  // a JsonError
  std::string description;
  std::shared_ptr<const Error> underlying;
};

using ErrorTrace = std::vector<std::shared_ptr<const Error>>;

class KtJsonBase {
 public:
  KtJsonBase();  // maxDepth 512
  virtual ~KtJsonBase() = default;

  // The errors of the last call, oldest first; null until the first error.
  const ErrorTrace* errorTrace() const { return errorTrace_ ? &*errorTrace_ : nullptr; }

  uint64_t maxDepth() const { return maxDepth_; }
  void setMaxDepth(uint64_t maxDepth) { maxDepth_ = maxDepth; }  // 0: no limit

  void addErrorWithCode(JsonError code, std::string description);
  void clearErrorTrace();

  // Nesting is bounded even when maxDepth is 0 ("no limit") or larger: deeper trees
  // would exhaust the stack of whoever walks, copies or destroys them. Past this depth
  // both codecs fail with kTooDeep "Nested too deep".
  static constexpr uint64_t kDepthCeiling = 2048;

 protected:
  // The limit actually applied to depth_: maxDepth, capped by kDepthCeiling.
  uint64_t depthLimit() const;
  // Adds the record and returns false, for `return fail(...)` on error paths. Kept out
  // of line so recursive callers do not carry the message's temporaries in their frames.
  bool fail(JsonError code, const char* description);
  // As above with the description `prefix` + `detail` + `suffix`.
  bool fail(JsonError code, const char* prefix, std::string_view detail, const char* suffix);
  // Lowercase hexadecimal digits of `value`, without prefix or padding ("1f").
  static std::string hexText(unsigned value);

  uint64_t depth_ = 0;

 private:
  std::unique_ptr<ErrorTrace> errorTrace_;
  uint64_t maxDepth_ = 512;
};

}  // namespace ovra::json

#endif  // OVRA_JSON_BASE_H_
