#include "json/base.h"

#include <utility>

#include "base/text.h"

namespace ovra::json {

KtJsonBase::KtJsonBase() = default;

void KtJsonBase::addErrorWithCode(JsonError code, std::string description) {
  auto error = std::make_shared<Error>();
  error->domain = kKtJSONErrorDomain;
  error->code = static_cast<uint64_t>(code);
  error->description = std::move(description);
  if (!errorTrace_) {
    errorTrace_ = std::make_unique<ErrorTrace>();
  } else {
    error->underlying = errorTrace_->back();
  }
  errorTrace_->push_back(std::move(error));
}

void KtJsonBase::clearErrorTrace() { errorTrace_.reset(); }

__attribute__((noinline)) bool KtJsonBase::fail(JsonError code, const char* description) {
  addErrorWithCode(code, description);
  return false;
}

__attribute__((noinline)) bool KtJsonBase::fail(JsonError code, const char* prefix,
                                                std::string_view detail, const char* suffix) {
  std::string description = prefix;
  description += detail;
  description += suffix;
  addErrorWithCode(code, std::move(description));
  return false;
}

uint64_t KtJsonBase::depthLimit() const {
  return maxDepth_ == 0 || maxDepth_ > kDepthCeiling ? kDepthCeiling : maxDepth_;
}

std::string KtJsonBase::hexText(unsigned value) {
  char buffer[8];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = base::hexDigit(value & 0xf, base::HexCase::kLower);
    value >>= 4;
  } while (value != 0 && p != buffer);
  return std::string(p, end);
}

}  // namespace ovra::json
