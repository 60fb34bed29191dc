// The browser engine's own page and the bridge it puts into pages: the embedded files, the
// one JSON value of the bridge's parameters, and where the bridge goes in a page.
#include "platform/browser/pages.h"

#include <gtest/gtest.h>

#include "json/parser.h"

namespace ovra::platform {
namespace {

// No text of a value can end the script element it stands in, or open a comment there,
// and the value reads back whole.
TEST(Pages, ParametersStayInsideTheirJsonValue) {
  const std::string hostile =
      "</script><script>alert(1)</script><!-- <\\/SCRIPT > & \xE2\x80\xA8 \"quoted\"";
  json::Object object;
  object.set("</script>", json::Value(hostile));
  const std::optional<std::string> text = jsonForScriptElement(json::Value(object));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->find_first_of("<>&"), std::string::npos) << *text;
  const std::optional<json::Value> back = json::KtJsonParser().objectWithString(*text);
  ASSERT_TRUE(back && back->isObject());
  const json::Value* read = back->get("</script>");
  ASSERT_TRUE(read && read->isString());
  EXPECT_EQ(read->asString(), hostile);

  // Names that are not identifiers never reach the page; the bridge's own script does not
  // end its element early.
  const std::string page =
      withBridge("<html><head><title>t</title>", 7,
                 std::vector<std::string>{"getContacts", "x</script><script>alert(1)", ""});
  EXPECT_EQ(page.find("alert"), std::string::npos) << page;
  EXPECT_EQ(page.find("<html><head><script type=\"application/json\">"
                      "{\"view\":7,\"appController\":[\"getContacts\"]}</script><script>"),
            0u);
  EXPECT_EQ(pageFile("bridge.js").find("</"), std::string::npos);
  EXPECT_NE(withBridge("<p>", 8, std::nullopt).find("{\"view\":8,\"appController\":null}"),
            std::string::npos);
}

TEST(Pages, TheBridgeGoesFirstIntoTheHead) {
  const struct {
    const char* page;
    const char* expected;
  } cases[] = {
      {"<!DOCTYPE html><html lang=en><HEAD>x", "<!DOCTYPE html><html lang=en><HEAD>Bx"},
      {"<html>\n<header>x", "<html>B\n<header>x"},  // <header> is not the head
      {"<!doctype html><p>x", "<!doctype html>B<p>x"},
      {"<p>x", "B<p>x"},
      {"<head x", "B<head x"},  // a tag that never ends
  };
  for (const auto& c : cases) EXPECT_EQ(atHeadStart(c.page, "B"), c.expected) << c.page;
}

}  // namespace
}  // namespace ovra::platform
