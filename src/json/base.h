// The common base of the JSON writer and parser: the error trace of the current call and
// the nesting limit. A codec object serves one caller at a time; make one per thread.
//
// Error codes shared by writer and parser: 1 value cannot be written, 2 malformed number,
// 3 malformed input (invalid UTF-8 and missing separators included), 4 top level is not
// an array or object, 5 unescaped control character, 6 bad \u escape, 7 nesting too deep,
// 8 illegal escape, 9 trailing comma, 10 text after the value, 11 input ended early,
// 12 no input at all.
#ifndef OVRA_JSON_BASE_H_
#define OVRA_JSON_BASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::json {

inline constexpr const char kKtJSONErrorDomain[] = "org.ovra.json.ErrorDomain";

// One record of an error trace. Every record but the first of a trace links to the
// record added just before it.
struct Error {
  std::string domain;
  uint64_t code = 0;
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

  void addErrorWithCode(uint64_t code, std::string description);
  void clearErrorTrace();

  // Nesting is bounded even when maxDepth is 0 ("no limit") or larger: deeper trees
  // would exhaust the stack of whoever walks, copies or destroys them. Past this depth
  // both codecs fail with error 7 "Nested too deep".
  static constexpr uint64_t kDepthCeiling = 2048;

 protected:
  // The limit actually applied to depth_: maxDepth, capped by kDepthCeiling.
  uint64_t depthLimit() const;
  // Adds the record and returns false, for `return fail(...)` on error paths. Kept out
  // of line so recursive callers do not carry the message's temporaries in their frames.
  bool fail(uint64_t code, const char* description);
  // As above with the description `prefix` + `detail` + `suffix`.
  bool fail(uint64_t code, const char* prefix, std::string_view detail, const char* suffix);
  // Lowercase hexadecimal digits of `value`, without prefix or padding ("1f").
  static std::string hexText(unsigned value);

  uint64_t depth_ = 0;

 private:
  std::unique_ptr<ErrorTrace> errorTrace_;
  uint64_t maxDepth_ = 512;
};

}  // namespace ovra::json

#endif  // OVRA_JSON_BASE_H_
