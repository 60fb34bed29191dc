#include "model/address_index.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace ovra::model {
namespace {

// Checked against a plain std::unordered_map fed the same entries: short and long keys,
// repeated keys (the last entry wins), empty keys, and more keys than announced.
TEST(AddressIndex, AgreesWithAPlainMap) {
  std::mt19937 rng(3);
  for (size_t announced : {0u, 10u, 1000u}) {
    AddressIndex index(announced);
    std::unordered_map<std::string, uint32_t> reference;
    std::vector<std::string> keys;
    for (uint32_t i = 0; i < 3000; ++i) {
      std::string key(rng() % 40, 'a');
      for (char& c : key) c = static_cast<char>('0' + rng() % 4);
      if (!keys.empty() && rng() % 4 == 0) key = keys[rng() % keys.size()];
      keys.push_back(key);
      index.insertOrAssign(key, i);
      reference[key] = i;
    }
    EXPECT_EQ(index.size(), reference.size());
    for (const auto& [key, value] : reference) {
      const uint32_t* found = index.find(key);
      ASSERT_NE(found, nullptr) << key;
      EXPECT_EQ(*found, value) << key;
    }
    for (const char* absent :
         {"x", "0123456789abcdefX", "00000000000000000000000000000000000000000"}) {
      EXPECT_EQ(index.find(absent), nullptr) << absent;
    }
  }
}

}  // namespace
}  // namespace ovra::model
