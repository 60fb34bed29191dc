#include "model/person.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "json/writer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ovra::model {

namespace {

// The emoticons in the order they are tested and recorded. Each is written with an eye
// (':' or ';'), then nothing, '-' or ' ', then its mouth; only the capital D and P count.
struct Emoticon {
  const char* name;
  char eye;
  char mouth;
};
constexpr Emoticon kEmoticons[] = {
    {"smiling", ':', ')'}, {"winking", ';', ')'}, {"grinning", ':', 'D'}, {"tongue", ':', 'P'},
    {"kissing", ':', '*'}, {"worried", ':', '/'}, {"sad", ':', '('},      {"crying", ';', '('},
};

static_assert(std::size(kEmoticons) == Person::kEmoticonKinds);

uint32_t emoticonBit(char eye, char mouth) {
  for (uint32_t k = 0; k < std::size(kEmoticons); ++k) {
    if (kEmoticons[k].eye == eye && kEmoticons[k].mouth == mouth) return 1u << k;
  }
  return 0;
}

// One pass over the text: every eye is followed by its mouth either directly or after
// one '-' or ' '. The result has bit k set when emoticon k occurs anywhere, which is the
// same as searching for each of its three forms as a substring.
}  // namespace

uint32_t Person::emoticonsIn(std::string_view text) {
  uint32_t found = 0;
  const size_t n = text.size();
  // Every eye is followed by its mouth either directly or after one '-' or ' '. The
  // result has bit k set when emoticon k occurs anywhere, which is the same as searching
  // for each of its three forms as a substring.
  const auto eyeAt = [&](size_t i) {
    const char eye = text[i];
    const char next = text[i + 1];
    found |= emoticonBit(eye, next);
    if ((next == '-' || next == ' ') && i + 2 < n) found |= emoticonBit(eye, text[i + 2]);
  };
  size_t i = 0;
#if defined(__SSE2__)
  // Most texts hold no eye at all: they are passed over sixteen bytes at a time, the last
  // block overlapping the one before (an eye seen twice is recorded once).
  const auto eyesIn = [&](size_t at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(bytes, _mm_set1_epi8(':')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(';')))));
  };
  if (n >= 16) {
    while (i + 1 < n) {
      const size_t at = std::min(i, n - 16);
      unsigned mask = eyesIn(at) & (~0u << (i - at));
      if (mask == 0) {
        if (at == n - 16) break;
        i = at + 16;
        continue;
      }
      i = at + static_cast<size_t>(__builtin_ctz(mask));
      if (i + 1 < n) eyeAt(i);
      ++i;
    }
    return found;
  }
#endif
  for (; i + 1 < n; ++i) {
    if (text[i] == ':' || text[i] == ';') eyeAt(i);
  }
  return found;
}

void Person::addEvent(std::shared_ptr<Event> event) {
  if (!event) return;
  const uint32_t emoticons = emoticonsOf(*event);
  const int32_t time = event->timestamp();
  appendEvent(std::move(event), emoticons, time);
}

void Person::addEmoticon(const std::string& name, const Event& event) {
  appendEmoticonTime(name, event.timestamp());
}

uint32_t Person::emoticonsOf(const Event& event) {
  return event.isScannedMessage() ? emoticonsIn(event.messageText()) : 0;
}

void Person::appendEvent(std::shared_ptr<Event> event, uint32_t emoticons, int32_t time) {
  events_.push_back(std::move(event));
  appendEmoticons(emoticons, time);
}

void Person::appendEmoticons(uint32_t emoticons, int32_t time) {
  for (uint32_t k = 0; emoticons != 0; ++k, emoticons >>= 1) {
    if (emoticons & 1u) appendEmoticonTime(kEmoticons[k].name, time);
  }
}

void Person::appendEmoticons(const Noted* first, const Noted* last) {
  // Each kind's list is found (or added, in the order kinds first occur) and sized once;
  // then the times go in, in order: the same lists as appending them one by one.
  size_t counts[kEmoticonKinds] = {};
  uint32_t firstSeen[kEmoticonKinds];
  size_t kinds = 0;
  for (const Noted* n = first; n != last; ++n) {
    for (uint32_t k = 0, bits = n->emoticons; bits != 0; ++k, bits >>= 1) {
      if ((bits & 1u) && counts[k]++ == 0) firstSeen[kinds++] = k;
    }
  }
  for (size_t i = 0; i < kinds; ++i) {
    json::Value& times = emoticons_[kEmoticons[firstSeen[i]].name];
    if (!times.isArray()) times = json::Array{};
  }
  // Only now, with every key in place, do the lists stay where they are.
  json::Array* lists[kEmoticonKinds] = {};
  for (size_t i = 0; i < kinds; ++i) {
    lists[firstSeen[i]] = &emoticons_.find(kEmoticons[firstSeen[i]].name)->asArray();
  }
  for (size_t k = 0; k < kEmoticonKinds; ++k) {
    if (lists[k]) lists[k]->reserve(lists[k]->size() + counts[k]);
  }
  for (const Noted* n = first; n != last; ++n) {
    for (uint32_t k = 0, bits = n->emoticons; bits != 0; ++k, bits >>= 1) {
      if (bits & 1u) lists[k]->emplace_back(n->time);
    }
  }
}

void Person::appendEmoticonTime(std::string_view name, int32_t time) {
  json::Value& times = emoticons_[name];
  if (!times.isArray()) times = json::Array{};
  times.asArray().emplace_back(time);
}

std::optional<std::string> Person::getEmoticons() const {
  json::KtJsonWriter writer;
  std::string out;
  out.reserve(128);
  if (!writer.appendDictionary(emoticons_, out)) return std::nullopt;
  return out;
}

}  // namespace ovra::model
