// The common base of the JSON writer and parser: the error trace of the current call and
// the nesting limit. A codec object serves one caller at a time; make one per thread.
#ifndef OVRA_JSON_BASE_H_
#define OVRA_JSON_BASE_H_

#include <cstdint>
#include <memory>
#include <string>
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

 protected:
  uint64_t depth_ = 0;

 private:
  std::unique_ptr<ErrorTrace> errorTrace_;
  uint64_t maxDepth_ = 512;
};

}  // namespace ovra::json

#endif  // OVRA_JSON_BASE_H_
