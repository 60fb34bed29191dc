// KtJsonParser: strict JSON text to a parsed document (or a value tree). Only an array or
// an object is accepted at the top level; integers that fit in 64 bits become integers, every other
// number an exact Decimal. Strings must be valid UTF-8 and come out as valid UTF-8 (escaped
// surrogate pairs are combined, lone surrogates rejected). Elements and members must be
// separated by commas. A parser keeps per-call state (read position, depth, error trace)
// and serves one caller at a time; make a fresh one per reply or per thread.
#ifndef OVRA_JSON_PARSER_H_
#define OVRA_JSON_PARSER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/base.h"
#include "json/document.h"
#include "json/value.h"

namespace ovra::json {

class KtJsonParser : public KtJsonBase {
 public:
  // The array or object in `text` (which ends at its first NUL byte), or nothing on
  // failure, with the reasons in errorTrace(), innermost cause first. An absent text
  // fails with kNoInput.
  std::optional<Document> documentWithString(std::optional<std::string_view> text);
  // The same in the heap form.
  std::optional<Value> objectWithString(std::optional<std::string_view> text);

 private:
  // Each reads one token from c_, moves c_ past it and returns false on failure, having
  // added the reason to the trace. The scanRestOf methods start right after the token's
  // first byte; scanNumber starts at the minus sign or first digit.
  bool scanValue(Node& value);
  bool scanRestOfTrue(Node& value);
  bool scanRestOfFalse(Node& value);
  bool scanRestOfNull(Node& value);
  // Moves past `rest` when the text continues with it; false otherwise.
  bool skipLiteral(std::string_view rest);
  bool scanRestOfArray(Node& value);
  bool scanRestOfDictionary(Node& value);
  // The container closed at the top of elements_ or members_, from `base` on, taken off
  // the stack into the document. Kept out of line, out of the recursion's frames.
  void takeElements(size_t base, Node& value);
  void takeMembers(size_t base, Node& value);
  // Whether two of the members from `base` on (a few) share a key.
  bool hasRepeatedKey(size_t base) const;
  // Keeps each key of the members from `base` on once, at its first place, with its last value.
  void dropRepeatedKeys(size_t base);
  // The string's contents: a view of the text itself, or of scratch_ when the string has
  // escapes; valid until the next string is read.
  bool scanRestOfString(std::string_view& string);
  // A copy of `n` bytes in the document's blocks (null when there are none).
  const void* keep(const void* bytes, size_t n);
  // Into the node when short, else into the document's blocks.
  void storeString(std::string_view string, Node& node);
  // What may follow an element or member: a comma (with no `close` right after it),
  // `close` itself, or the end of input, which the caller's loop reports.
  bool scanSeparator(char close, const char* trailingComma, const char* missing);
  bool scanNumber(Node& value);
  // Four hexadecimal digits into one 16-bit unit.
  bool scanHexQuad(unsigned& unit);
  // The character of a \u escape (two escapes for a surrogate pair), appended as UTF-8.
  bool scanUnicodeChar(std::string& string);
  void skipWhitespace();
  bool scanIsAtEnd();

  const char* c_ = nullptr;    // read position, valid during one call only
  const char* end_ = nullptr;  // end of the text: its first NUL byte or its size
  Arena* arena_ = nullptr;     // the blocks of the document being read
  // Elements and members of the containers being read, innermost last.
  std::vector<Node> elements_;
  std::vector<NodeMember> members_;
  std::string scratch_;  // the decoded contents of a string with escapes
};

}  // namespace ovra::json

#endif  // OVRA_JSON_PARSER_H_
