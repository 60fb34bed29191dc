#include "json/parser.h"

#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "json/writer.h"

namespace ovra::json {
namespace {

Value parse(std::string_view text) {
  std::optional<Value> value = KtJsonParser().objectWithString(text);
  EXPECT_TRUE(value) << text;
  return value ? std::move(*value) : Value();
}

Value decimal(const char* text) { return *Decimal::fromLiteral(text); }

TEST(KtJsonParser, ReadsEveryKindOfValueBetweenAnyWhitespace) {
  Object expected;
  expected.set("a", Array{1, -2, "x", true, false, nullptr, Object{}, Array{}});
  EXPECT_EQ(parse(" \t\v\f\r\n{\"a\"\v:\f[1,\r-2 , \"x\",true,false,null,{},[]] }\n\v "),
            Value(expected));
  // A repeated key keeps its first place and takes the last value.
  EXPECT_EQ(parse(R"({"a":1,"b":2,"a":3})").asObject().members(),
            (std::vector<Member>{{"a", 3}, {"b", 2}}));
  EXPECT_EQ(parse(std::string("[1]\0garbage", 11)), Value(Array{1}));  // ends at the NUL
}

// Numbers keep their exact value, as integers while they fit in 64 bits; escapes decode
// to UTF-8, surrogate pairs to one character.
TEST(KtJsonParser, ReadsNumbersAndStringsExactly) {
  const std::pair<const char*, Value> cases[] = {
      {"[-0]", 0},
      {"[9223372036854775807]", INT64_MAX},
      {"[9223372036854775808]", decimal("9223372036854775808")},
      {"[-9223372036854775809]", decimal("-9223372036854775809")},
      {"[1.5e3]", decimal("1500")},
      {"[-2.50E-2]", decimal("-0.025")},
      {R"(["\"\\\/\b\f\n\r\t"])", "\"\\/\b\f\n\r\t"},
      {R"(["caf\u00e9\u20AC"])", "caf\xc3\xa9\xe2\x82\xac"},
      {R"(["\ud83d\ude00"])", "\xf0\x9f\x98\x80"},  // U+1F600
      {R"(["a\u0000b"])", std::string("a\0b", 3)},
      {"[\"caf\xc3\xa9 \xf0\x9f\x98\x80\"]", "caf\xc3\xa9 \xf0\x9f\x98\x80"},
      {R"(["0123456789abcdef0123456789\n"])", "0123456789abcdef0123456789\n"},
  };
  for (const auto& [text, value] : cases) {
    const Value v = parse(text);
    ASSERT_TRUE(v.isArray() && v.asArray().size() == 1) << text;
    EXPECT_EQ(v.asArray()[0].kind(), value.kind()) << text;
    EXPECT_EQ(v.asArray()[0], value) << text;
  }
}

// From 16 members keys are found through a hash index; however an object is copied, moved
// or grown, find() agrees with a plain scan, and a repeated key keeps its first place.
TEST(Object, FindAgreesWithAScanHoweverTheObjectIsCopiedOrGrown) {
  for (int n : {15, 16, 17, 40}) {
    Object source;
    std::vector<Member> members;  // the reference, in order
    for (int i = 0; i < n; ++i) {
      members.push_back({"k" + std::to_string(i), i});
      source.set(members.back().key, i);
    }
    source.reserve(2 * source.size());  // moves every member, after the index exists from 16
    Object copied(source), assigned;
    assigned.set("old", 1);
    assigned = source;
    Object moved(std::move(source));
    for (auto [name, o] :
         {std::pair{"copied", &copied}, {"assigned", &assigned}, {"moved", &moved}}) {
      SCOPED_TRACE(std::to_string(n) + " members, " + name);
      std::vector<Member> expected = members;
      (*o)["late"] = 99;  // crosses the threshold from 15
      expected.push_back({"late", 99});
      o->reserve(8 * o->size());
      o->set("k0", -1);  // repeated: first position, new value
      expected[0].value = -1;
      ASSERT_EQ(o->members(), expected);
      for (const Member& m : o->members()) EXPECT_EQ(o->find(m.key), &m.value) << m.key;
      EXPECT_EQ(o->find("k"), nullptr);
    }
  }
}

// A parsed document holds strings inside its nodes up to 14 bytes and in its blocks
// beyond, drops repeated keys (small objects by a pairwise check, large ones through a
// table) and spills into further blocks; read back in heap form, found by key or written,
// it agrees with the same tree built by code.
TEST(Document, AgreesWithTheTreeBuiltByCode) {
  auto text = [](size_t n, char fill) { return std::string(n, fill); };
  for (int n : {3, 15, 16, 40, 3000}) {
    SCOPED_TRACE(std::to_string(n) + " members");
    std::string json = "{";
    Object expected;
    for (int i = 0; i < n; ++i) {
      // Every seventh key repeats an earlier one; key and value lengths cross 14 bytes.
      const int k = i % 7 == 6 ? i / 2 : i;
      const std::string key = "k" + std::to_string(k) + text(static_cast<size_t>(k % 17), 'x');
      const std::string value = text(static_cast<size_t>(i % 31), 'v') + R"(\n\u00e9)";
      if (i) json += ',';
      json += "\"" + key + "\":[\"" + value + "\"," + std::to_string(i) + ",1.5e3,{},[],null]";
      expected.set(key, Array{text(static_cast<size_t>(i % 31), 'v') + "\n\xc3\xa9", i,
                              decimal("1500"), Object{}, Array{}, nullptr});
    }
    json += ",\"long\":\"" + text(300000, 'L') + "\"}";
    expected.set("long", text(300000, 'L'));

    KtJsonParser parser;
    std::optional<Document> document = parser.documentWithString(json);
    ASSERT_TRUE(document);
    Document moved = std::move(*document);
    EXPECT_EQ(moved.root().toValue(), Value(expected));
    for (const Member& member : expected) {
      const Node* found = moved.root().find(member.key);
      ASSERT_NE(found, nullptr) << member.key;
      EXPECT_EQ(found->toValue(), member.value) << member.key;
    }
    EXPECT_EQ(moved.root().find("k"), nullptr);
    EXPECT_EQ(KtJsonWriter().stringWithDocument(moved), KtJsonWriter().stringWithObject(expected));
  }
}

}  // namespace
}  // namespace ovra::json
