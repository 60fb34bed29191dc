#include "platform/browser/pages.h"

#include <algorithm>
#include <cctype>

#include "json/writer.h"

namespace ovra::platform {
namespace {

bool isName(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(),
                                   [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

// The end of the first tag `name` ("<head", "<html", "<!doctype") in `html`, ignoring
// case, or npos.
size_t afterTag(std::string_view html, std::string_view name) {
  for (size_t i = 0; i + name.size() < html.size(); ++i) {
    const bool match = std::equal(name.begin(), name.end(), html.begin() + i, [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) ==
             std::tolower(static_cast<unsigned char>(b));
    });
    const char next = html[i + name.size()];
    if (!match || !(next == '>' || std::isspace(static_cast<unsigned char>(next)))) continue;
    const size_t end = html.find('>', i);
    return end == std::string_view::npos ? end : end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<std::string> jsonForScriptElement(const json::Value& value) {
  std::optional<std::string> text = json::KtJsonWriter().stringWithObject(value);
  if (!text) return std::nullopt;
  std::string out;
  out.reserve(text->size());
  for (const char c : *text) {
    switch (c) {
      case '<':
        out += "\\u003c";
        break;
      case '>':
        out += "\\u003e";
        break;
      case '&':
        out += "\\u0026";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string withBridge(std::string_view html, uint64_t id,
                       const std::optional<std::vector<std::string>>& methods) {
  json::Object params;
  params.set("view", json::Value(static_cast<long long>(id)));
  if (methods) {
    json::Array names;
    for (const std::string& m : *methods) {
      if (isName(m)) names.push_back(json::Value(m));
    }
    params.set("appController", json::Value(std::move(names)));
  } else {
    params.set("appController", json::Value(json::Null{}));
  }
  std::string elements = "<script type=\"application/json\">";
  elements += jsonForScriptElement(json::Value(std::move(params))).value_or("{}");
  elements += "</script><script>";
  elements += pageFile("bridge.js");
  elements += "</script>";
  return atHeadStart(html, elements);
}

std::string atHeadStart(std::string_view html, std::string_view elements) {
  size_t at = afterTag(html, "<head");
  if (at == std::string_view::npos) at = afterTag(html, "<html");
  if (at == std::string_view::npos) at = afterTag(html, "<!doctype");
  if (at == std::string_view::npos) at = 0;
  std::string out(html.substr(0, at));
  out += elements;
  out += html.substr(at);
  return out;
}

}  // namespace ovra::platform
