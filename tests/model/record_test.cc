#include "model/record.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/event.h"

namespace ovra::model {
namespace {

// Checked against plain lists of strings: empty, short, chunk-crossing and long texts
// (kept apart), texts replaced by shorter and longer ones, and the last column dropped.
TEST(RowBlock, AgreesWithPlainListsOfTexts) {
  std::mt19937 rng(5);
  const auto randomText = [&] {
    const size_t pick = rng() % 1000;
    const size_t size = pick < 100 ? 0 : pick < 997 ? rng() % 40 : 60000 + rng() % 20000;
    std::string text(size, ' ');
    for (char& c : text) c = static_cast<char>('a' + rng() % 26);
    return text;
  };
  auto block = std::make_shared<RowBlock>(3);
  std::vector<std::vector<std::string>> reference;
  std::vector<Record> records;
  for (size_t row = 0; row < 40000; ++row) {  // past the first page and the first chunks
    std::vector<std::string> texts = {randomText(), randomText(), randomText()};
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    const size_t given = rng() % 4 == 0 ? 2 : 3;  // a missing text reads as ""
    records.emplace_back(block, block->appendRow(views.data(), given));
    if (given == 2) texts[2].clear();
    reference.push_back(std::move(texts));
  }
  for (int k = 0; k < 5000; ++k) {
    const size_t row = rng() % reference.size(), column = rng() % 3;
    reference[row][column] = randomText();
    (*records[row])[column].setText(reference[row][column]);
  }
  block->dropLastColumn();
  for (size_t row = 0; row < reference.size(); ++row) {
    const Record copy = records[row];  // the very row, through another handle
    ASSERT_EQ(copy->size(), 2u);
    for (size_t column = 0; column < 2; ++column) {
      ASSERT_EQ(copy.text(column), reference[row][column]) << row << "," << column;
    }
    EXPECT_FALSE(copy.text(2));
  }
  // Rows wider than the first page's growing room.
  RowBlock wide(10000);
  const std::vector<std::string_view> many(10000, "x");
  for (int row = 0; row < 2; ++row)
    EXPECT_EQ(wide.appendRow(many.data(), many.size()), size_t(row));
  EXPECT_EQ(wide.text(1, 9999), "x");
}

// A row built by code keeps its list; events copied from a store keep their decorator's
// class and the very row, and outlive the store's own handle.
TEST(Record, RowsBuiltByCodeAndEventsFromAStoreStayWhole) {
  auto values = std::make_shared<json::Array>(json::Array{"t1", 7, "x"});
  Record built(values);
  (*built)[2].setText("y");
  EXPECT_EQ((*values)[2], json::Value("y"));
  EXPECT_FALSE((*built)[1].isString());
  EXPECT_EQ((*built)[1].asInt(), 7);
  EXPECT_EQ((*built).values(), *values);

  std::vector<std::shared_ptr<Event>> events;
  {
    auto store = std::make_shared<EventStore>();
    auto block = std::make_shared<RowBlock>(5);
    for (int i = 0; i < 300; ++i) {
      const std::string_view texts[] = {"1", "555", "1300000000", "long enough message",
                                        "12345678"};
      std::shared_ptr<Event> e = EventStore::make(store);
      e->initialize(i % 2 ? "call" : "sms");
      e->addData(Record(block, block->appendRow(texts, 5)));
      e->readTextsFromRecord(i % 2 ? -1 : 3, i % 2 ? 3 : -1, 4);
      events.push_back(std::move(e));
    }
  }
  const Event copy = *events[1];
  EXPECT_NE(dynamic_cast<CallDecorator*>(copy.decorator()), nullptr);
  EXPECT_TRUE(copy.lib() == events[1]->lib());
  EXPECT_EQ(copy.durationText(), "long enough message");
  EXPECT_EQ(copy.flagText(), "12345678");  // longer than the copy an event keeps
  EXPECT_EQ(events[0]->messageText(), "long enough message");
  EXPECT_EQ(events[0]->decorator()->timestamp(), "1300000000");
  (*events[0]->lib())[1].setText("556");
  EXPECT_EQ(events[0]->record().text(1), "556");
}

}  // namespace
}  // namespace ovra::model
