// Helpers for the codec tests: an error trace as plain (code, description) records.
#ifndef OVRA_TESTS_JSON_TRACE_H_
#define OVRA_TESTS_JSON_TRACE_H_

#include <string>
#include <utility>
#include <vector>

#include "json/base.h"

namespace ovra::json {

using Record = std::pair<JsonError, std::string>;
using Trace = std::vector<Record>;

// The records of the codec's last call, oldest first.
inline Trace traceOf(const KtJsonBase& codec) {
  Trace records;
  if (const ErrorTrace* trace = codec.errorTrace()) {
    for (const auto& e : *trace) records.emplace_back(JsonError{e->code}, e->description);
  }
  return records;
}

}  // namespace ovra::json

#endif  // OVRA_TESTS_JSON_TRACE_H_
