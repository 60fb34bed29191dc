// Parse and write throughput of the JSON codec on the two loads Ovra puts on it: a large
// social-inbox reply (parsed) and the page's contact rows (written), beside nlohmann::json
// and RapidJSON doing the same work in the same run. Ends with the codec's ratios to
// RapidJSON. The inputs are generated, deterministically.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "json/parser.h"
#include "json/writer.h"
#include "nlohmann/json.hpp"
#include "rapidjson/document.h"
#include "rapidjson/stringbuffer.h"
#include "rapidjson/writer.h"

namespace {

using ovra::json::Array;
using ovra::json::KtJsonParser;
using ovra::json::KtJsonWriter;
using ovra::json::Object;
using ovra::json::Value;

// A small deterministic generator (xorshift64*).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717ull;
  }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }

 private:
  uint64_t state_;
};

const char* const kNames[] = {"Ana M\xc3\xbcller",
                              "Jos\xc3\xa9 Garc\xc3\xad"
                              "a",
                              "Li Wei \xe4\xb8\xad",
                              "Sam O'Neil",
                              "Zo\\u00eb Adams",
                              "Bj\\u00f6rn Berg",
                              "Mar\xc3\xad"
                              "a Lopez",
                              "John \\\"JJ\\\" Smith"};
const char* const kWords[] = {"hey",
                              "see",
                              "you",
                              "tomorrow",
                              "at",
                              "the",
                              "caf\xc3\xa9",
                              "\xf0\x9f\x98\x80",
                              ":)",
                              "ok",
                              "\\\"quoted\\\"",
                              "line\\nbreak",
                              "tab\\there",
                              "http:\\/\\/example.com\\/a",
                              "\\ud83d\\ude02",
                              "na\\u00efve",
                              "\xe4\xbd\xa0\xe5\xa5\xbd",
                              "thanks",
                              "lol",
                              "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"};

std::string person(Random& r) {
  return "{\"name\":\"" + std::string(kNames[r.below(8)]) + "\",\"id\":\"" +
         std::to_string(100000000000 + r.below(900000000)) + "\"}";
}

// {"data":[{thread},...]} in the shape of an inbox reply, about `bytes` long.
std::string inboxReply(size_t bytes) {
  Random r(42);
  std::string text = "{\"data\":[";
  for (int thread = 0; text.size() < bytes; ++thread) {
    if (thread) text += ',';
    text += "{\"id\":\"" + std::to_string(1000000 + thread) + "\",\"to\":{\"data\":[";
    const size_t people = 2 + r.below(3);
    for (size_t p = 0; p < people; ++p) {
      if (p) text += ',';
      text += person(r);
    }
    text += "]},\"updated_time\":" + std::to_string(1300000000 + r.below(50000000)) +
            ",\"unread\":" + std::to_string(r.below(3)) + ",\"unseen\":0,\"comments\":{\"data\":[";
    const size_t messages = 3 + r.below(10);
    for (size_t m = 0; m < messages; ++m) {
      if (m) text += ',';
      text += "{\"id\":\"" + std::to_string(1000000 + thread) + "_" + std::to_string(m) +
              "\",\"from\":" + person(r) + ",\"message\":\"";
      const size_t words = 3 + r.below(25);
      for (size_t w = 0; w < words; ++w) {
        if (w) text += ' ';
        text += kWords[r.below(20)];
      }
      text += "\",\"created_time\":" + std::to_string(1300000000 + r.below(50000000)) + "}";
    }
    text += "],\"paging\":{\"previous\":\"https:\\/\\/graph.facebook.com\\/" +
            std::to_string(thread) + "\\/comments?since=0\"}}}";
  }
  text += "]}";
  return text;
}

// The page's contact list: rows of four strings, five zeros, the emoticon JSON text, two
// zeros.
Value contactRows(size_t count) {
  Random r(7);
  Array rows;
  rows.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string emoticons = "{\":)\":[";
    for (size_t k = 0, n = r.below(6); k < n; ++k) {
      if (k) emoticons += ',';
      emoticons += std::to_string(1300000000 + r.below(50000000));
    }
    emoticons += "],\":(\":[]}";
    Array row;
    row.reserve(12);
    row.emplace_back(std::to_string(i));
    row.emplace_back(std::string("Contact\tPerson ") + std::to_string(i));
    row.emplace_back("+4915" + std::to_string(10000000 + r.below(89999999)));
    row.emplace_back("Firma M\xc3\xbcller & S\xc3\xb6hne \"GmbH\"");
    for (int z = 0; z < 5; ++z) row.emplace_back(0);
    row.emplace_back(std::move(emoticons));
    row.emplace_back(0);
    row.emplace_back(0);
    rows.emplace_back(std::move(row));
  }
  return rows;
}

struct Inputs {
  std::string inbox = inboxReply(20 << 20);
  std::string rowsText = *KtJsonWriter().stringWithObject(contactRows(50000));
};

const Inputs& inputs() {
  static const Inputs kInputs;
  return kInputs;
}

const std::string& textFor(int which) { return which == 0 ? inputs().inbox : inputs().rowsText; }

void setLabel(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.SetLabel(state.range(0) == 0 ? "inbox" : "rows");
}

// Into a document, the codec's own counterpart of RapidJSON's document.
void ParseOvra(benchmark::State& state) {
  const std::string& text = textFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    KtJsonParser parser;
    std::optional<ovra::json::Document> document = parser.documentWithString(text);
    if (!document) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(document);
  }
  setLabel(state, text.size());
}

// Into the heap form, one allocation per container and per long string.
void ParseOvraValue(benchmark::State& state) {
  const std::string& text = textFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    KtJsonParser parser;
    std::optional<Value> value = parser.objectWithString(text);
    if (!value) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value);
  }
  setLabel(state, text.size());
}

template <unsigned kFlags>
void ParseRapid(benchmark::State& state) {
  const std::string& text = textFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse<kFlags>(text.data(), text.size());
    if (document.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(document);
  }
  setLabel(state, text.size());
}

void ParseNlohmann(benchmark::State& state) {
  const std::string& text = textFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json value = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(value);
  }
  setLabel(state, text.size());
}

void WriteOvra(benchmark::State& state) {
  const Value value = *KtJsonParser().objectWithString(textFor(static_cast<int>(state.range(0))));
  size_t bytes = 0;
  for (auto _ : state) {
    KtJsonWriter writer;
    std::optional<std::string> text = writer.stringWithObject(value);
    bytes = text->size();
    benchmark::DoNotOptimize(text);
  }
  setLabel(state, bytes);
}

void WriteRapid(benchmark::State& state) {
  const std::string& source = textFor(static_cast<int>(state.range(0)));
  rapidjson::Document document;
  document.Parse(source.data(), source.size());
  size_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    bytes = buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  setLabel(state, bytes);
}

void WriteNlohmann(benchmark::State& state) {
  const nlohmann::json value = nlohmann::json::parse(textFor(static_cast<int>(state.range(0))));
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = value.dump();
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  setLabel(state, bytes);
}

constexpr unsigned kRapidDefault = rapidjson::kParseDefaultFlags;
constexpr unsigned kRapidStrict =
    rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag;

// Each is run five times, interleaved with the others, and reported by its median: single
// runs on a shared machine swing by a quarter.
#define OVRA_JSON_BENCHMARK(b)        \
  BENCHMARK(b)                        \
      ->Arg(0)                        \
      ->Arg(1)                        \
      ->Unit(benchmark::kMillisecond) \
      ->Repetitions(5)                \
      ->ReportAggregatesOnly()

OVRA_JSON_BENCHMARK(ParseOvra);
OVRA_JSON_BENCHMARK(ParseOvraValue);
OVRA_JSON_BENCHMARK(ParseRapid<kRapidDefault>)->Name("ParseRapid");
OVRA_JSON_BENCHMARK(ParseRapid<kRapidStrict>)->Name("ParseRapidValidating");
OVRA_JSON_BENCHMARK(ParseNlohmann);
OVRA_JSON_BENCHMARK(WriteOvra);
OVRA_JSON_BENCHMARK(WriteRapid);
OVRA_JSON_BENCHMARK(WriteNlohmann);

// Prints as usual and keeps every run's throughput for the closing ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}  // plain text, no colour codes
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      if (it == run.counters.end()) continue;
      mbps_[run.run_name.function_name + "/" + run.run_name.args] = it->second / 1e6;
    }
  }
  void printRatios() const {
    std::printf("\nThroughput ratios of the medians, this codec : other (same run)\n");
    for (const char* arg : {"0", "1"}) {
      const char* load = arg[0] == '0' ? "inbox" : "rows";
      auto ratio = [&](const char* ours, const char* theirs) {
        auto a = mbps_.find(std::string(ours) + "/" + arg);
        auto b = mbps_.find(std::string(theirs) + "/" + arg);
        if (a == mbps_.end() || b == mbps_.end()) return;
        std::printf("  %-5s %-10s vs %-22s %8.1f MB/s : %8.1f MB/s = %.2fx\n", load, ours, theirs,
                    a->second, b->second, a->second / b->second);
      };
      ratio("ParseOvra", "ParseRapid");
      ratio("ParseOvra", "ParseRapidValidating");
      ratio("ParseOvra", "ParseNlohmann");
      ratio("ParseOvraValue", "ParseRapid");
      ratio("WriteOvra", "WriteRapid");
      ratio("WriteOvra", "WriteNlohmann");
    }
  }

 private:
  std::map<std::string, double> mbps_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions of all benchmarks run in a shuffled order, so that a neighbour's load on
  // a shared machine falls on this codec and its peers alike (a flag given later wins).
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  const Inputs& in = inputs();
  std::printf("inputs: inbox %.1f MB, contact rows %.1f MB\n", in.inbox.size() / 1e6,
              in.rowsText.size() / 1e6);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
