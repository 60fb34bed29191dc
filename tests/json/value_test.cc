#include "json/value.h"

#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace ovra::json {
namespace {

// Objects look keys up through a hash index once they reach 16 members. However an
// object is copied, moved or grown, find() must agree with a plain scan of its members,
// and a repeated key must keep its first position.
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

}  // namespace
}  // namespace ovra::json
