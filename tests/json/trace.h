// Helpers for the codec tests: an error trace as plain (code, description) pairs.
#ifndef OVRA_TESTS_JSON_TRACE_H_
#define OVRA_TESTS_JSON_TRACE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "json/base.h"

namespace ovra::json {

using Trace = std::vector<std::pair<uint64_t, std::string>>;

// The records of the codec's last call, oldest first.
inline Trace traceOf(const KtJsonBase& codec) {
  Trace records;
  if (const ErrorTrace* trace = codec.errorTrace()) {
    for (const auto& error : *trace) records.emplace_back(error->code, error->description);
  }
  return records;
}

}  // namespace ovra::json

#endif  // OVRA_TESTS_JSON_TRACE_H_
