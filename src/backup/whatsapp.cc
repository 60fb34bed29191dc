// The messenger's databases: identifiers, queries built from the columns a file has, the
// message rule, rows into events, and the pairing of calls logged twice.
//
// The messenger stores its data in Core Data files: every table has Z_PK, to-one links
// are columns holding the other row's Z_PK (a link named after the other side's to-many
// relationship reads Z<entity number><NAME>, such as Z1PARTICIPANTS), and dates are REAL
// seconds since 2001-01-01 UTC. Columns come and go between versions, so every query is
// built from the names the file really has, and whatever can be done without is read as
// NULL.
#include "backup/whatsapp.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>

namespace ovra::backup {
namespace {

constexpr double kAppleEpoch = 978307200;  // 2001-01-01 in seconds since 1970

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view textAt(std::span<const std::string_view> texts, size_t i) {
  return i < texts.size() ? texts[i] : std::string_view();
}

std::optional<bool> flagAt(std::span<const std::string_view> texts, size_t i) {
  if (const std::optional<int64_t> value = parseInteger(textAt(texts, i))) return *value != 0;
  return std::nullopt;
}

// Whole seconds of a duration: rounded down, 0 for none, NaN or less than nothing.
int32_t wholeSeconds(std::optional<double> seconds) {
  if (!seconds || !(*seconds > 0)) return 0;
  if (*seconds >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(*seconds);
}

// The person behind `jid` into the event's address and name: the number, a @lid's paired
// number (or the chat's own number for it, `alt`), else the name, else the identifier.
void addressOf(std::string_view jid, std::string_view name, std::string_view alt,
               const LidMap& lids, WhatsAppEvent& event, ConvertCounts& counts) {
  event.name = name;
  const Jid who = classifyJid(jid);
  if (who.kind == JidKind::kPerson) {
    event.address = who.user;
    return;
  }
  if (who.kind == JidKind::kLid) {
    if (std::optional<std::string_view> number = lids.number(who.user)) {
      event.address = *number;
      return;
    }
    const Jid other = classifyJid(alt);
    if (other.kind == JidKind::kPerson) {
      event.address = other.user;
      return;
    }
  } else {
    ++counts.unknownIdentifiers;
  }
  event.address = !name.empty() ? name : jid;
}

// The last nine digits of an address that is a phone number as written (digits, spaces,
// "+", "-", ".", brackets); none for anything else.
std::optional<std::string> comparableNumber(std::string_view address) {
  std::string digits;
  for (char c : address) {
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c != ' ' && c != '+' && c != '-' && c != '.' && c != '(' && c != ')') {
      return std::nullopt;
    }
  }
  if (digits.empty()) return std::nullopt;
  return digits.size() > 9 ? digits.substr(digits.size() - 9) : digits;
}

// A number that fills all of `text`.
template <typename T>
std::optional<T> parseNumber(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  return value;
}

void appendCount(std::string& line, size_t n, std::string_view one, std::string_view many,
                 std::string_view rest) {
  if (n == 0) return;
  line += line.empty() ? "" : ", ";
  line += std::to_string(n) + " ";
  line += n == 1 ? one : many;
  line += rest;
}

}  // namespace

// ---- Identifiers -------------------------------------------------------------------------

Jid classifyJid(std::string_view jid) {
  const size_t at = jid.find('@');
  if (at == std::string_view::npos || jid.find('@', at + 1) != std::string_view::npos) return {};
  const std::string_view user = jid.substr(0, at);
  const std::string_view server = jid.substr(at + 1);
  JidKind kind = JidKind::kUnknown;
  if (server == "s.whatsapp.net") {
    kind = allDigits(user) ? JidKind::kPerson : JidKind::kUnknown;
  } else if (server == "lid") {
    kind = allDigits(user) ? JidKind::kLid : JidKind::kUnknown;
  } else if (server == "g.us") {
    kind = user.empty() ? JidKind::kUnknown : JidKind::kGroup;
  } else if (server == "status") {
    kind = JidKind::kStatus;
  } else if (server == "broadcast") {
    kind = JidKind::kBroadcast;  // broadcast lists, and the status feed "status@broadcast"
  }
  return Jid{kind, user};
}

bool LidMap::add(LidPair pair) {
  std::string_view lid = trim(pair.lid);
  if (lid.find('@') != std::string_view::npos) {
    const Jid j = classifyJid(lid);
    if (j.kind != JidKind::kLid) return false;
    lid = j.user;
  }
  std::string_view phone = trim(pair.phone);
  if (phone.find('@') != std::string_view::npos) {
    const Jid j = classifyJid(phone);
    if (j.kind != JidKind::kPerson) return false;
    phone = j.user;
  } else if (phone.starts_with('+')) {
    phone.remove_prefix(1);
  }
  if (!allDigits(lid) || !allDigits(phone)) return false;
  numbers_.insert_or_assign(std::string(lid), std::string(phone));
  return true;
}

std::optional<std::string_view> LidMap::number(std::string_view lidUser) const {
  const auto found = numbers_.find(lidUser);
  if (found == numbers_.end()) return std::nullopt;
  return found->second;
}

void LidMap::addAll(const LidMap& later) {
  for (const auto& [lid, number] : later.numbers_) numbers_.insert_or_assign(lid, number);
}

// ---- Rows --------------------------------------------------------------------------------

std::optional<double> parseReal(std::string_view text) {
  if (text = trim(text); text.starts_with('+')) text.remove_prefix(1);
  return parseNumber<double>(text);
}

std::optional<int64_t> parseInteger(std::string_view text) {
  // Plain digits, as SQLite writes nearly every number here, short of any overflow.
  if (!text.empty() && text.size() < 19) {
    int64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      value = value * 10 + (text[i] - '0');
    if (i == text.size()) return value;
  }
  return parseNumber<int64_t>(trim(text));
}

ChatRow chatRowFromTexts(std::span<const std::string_view> texts) {
  ChatRow row;
  row.id = parseInteger(textAt(texts, 0)).value_or(0);
  row.date = parseReal(textAt(texts, 1));
  row.fromMe = flagAt(texts, 2).value_or(false);
  row.messageType = parseInteger(textAt(texts, 3));
  row.groupEventType = parseInteger(textAt(texts, 4)).value_or(0);
  row.text = textAt(texts, 5);
  row.chatJid = textAt(texts, 6);
  row.partnerName = textAt(texts, 7);
  row.memberJid = textAt(texts, 8);
  row.memberName = textAt(texts, 9);
  row.fromJid = textAt(texts, 10);
  row.toJid = textAt(texts, 11);
  row.chatIdentifier = textAt(texts, 12);
  row.chatId = parseInteger(textAt(texts, 13)).value_or(0);
  row.memberId = parseInteger(textAt(texts, 14)).value_or(0);
  return row;
}

CallRow callRowFromTexts(std::span<const std::string_view> texts) {
  CallRow row;
  row.id = parseInteger(textAt(texts, 0)).value_or(0);
  row.date = parseReal(textAt(texts, 1));
  row.duration = parseReal(textAt(texts, 2));
  row.outcome = parseInteger(textAt(texts, 3));
  row.incoming = flagAt(texts, 4);
  row.missed = flagAt(texts, 5);
  row.video = flagAt(texts, 6).value_or(false);
  row.participantJid = textAt(texts, 7);
  row.participants = parseInteger(textAt(texts, 8)).value_or(0);
  row.groupJid = textAt(texts, 9);
  row.creatorJid = textAt(texts, 10);
  return row;
}

LidPair lidPairFromTexts(std::span<const std::string_view> texts) {
  return LidPair{textAt(texts, 0), textAt(texts, 1)};
}

std::optional<CallStamp> callStampFromTexts(std::span<const std::string_view> texts) {
  const std::optional<int32_t> time = unixTimeFromAppleDate(parseReal(textAt(texts, 2)));
  if (!time) return std::nullopt;
  return CallStamp{parseInteger(textAt(texts, 0)).value_or(0), *time,
                   wholeSeconds(parseReal(textAt(texts, 3))), std::string(textAt(texts, 1))};
}

// ---- Events ------------------------------------------------------------------------------

std::optional<int32_t> unixTimeFromAppleDate(std::optional<double> seconds) {
  if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
  const double unix = std::floor(*seconds) + kAppleEpoch;
  if (unix >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (unix <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(unix);
}

MessageKind classifyMessage(std::optional<int64_t> messageType, int64_t groupEventType) {
  // Text, image, video, audio, contact card, location, link, document, GIF, sticker, poll,
  // album; and group event, system notice, deleted for everyone, call placed.
  static constexpr std::array<int64_t, 12> kMessages = {0, 1, 2, 3, 4, 5, 7, 8, 11, 15, 46, 66};
  static constexpr std::array<int64_t, 4> kNotices = {6, 10, 14, 59};
  if (!messageType) return MessageKind::kUnknownType;
  if (std::find(kNotices.begin(), kNotices.end(), *messageType) != kNotices.end()) {
    return MessageKind::kNotice;
  }
  if (std::find(kMessages.begin(), kMessages.end(), *messageType) == kMessages.end()) {
    return MessageKind::kUnknownType;
  }
  return groupEventType != 0 ? MessageKind::kNotice : MessageKind::kMessage;
}

std::array<std::string_view, 5> recordTexts(const WhatsAppEvent& event, RecordDigits& digits) {
  const auto write = [](auto& buffer, int64_t value) {
    const auto [end, ec] = std::to_chars(std::begin(buffer), std::end(buffer), value);
    (void)ec;  // every buffer holds its number's digits
    return std::string_view(std::begin(buffer), end);
  };
  const bool call = event.type == kCallEventType;
  return {write(digits.id, event.id), event.address, write(digits.time, event.time),
          call ? write(digits.duration, event.duration) : event.text,
          write(digits.flags, event.flags)};
}

namespace {

// The message event of a chat row, with the partner of a one-to-one chat and a group's
// sender taken from `findChat()` and `findMember()` where they know them, else found here.
template <typename FindChat, typename FindMember>
std::optional<WhatsAppEvent> messageEventOf(const ChatRow& row, const LidMap& lids,
                                            ConvertCounts& counts, FindChat findChat,
                                            FindMember findMember) {
  switch (classifyMessage(row.messageType, row.groupEventType)) {
    case MessageKind::kNotice:
      ++counts.notices;
      return std::nullopt;
    case MessageKind::kUnknownType:
      ++counts.unknownTypes;
      return std::nullopt;
    case MessageKind::kMessage:
      break;
  }
  const bool inChat = !row.chatJid.empty();
  const std::string_view partner = inChat ? row.chatJid : row.fromMe ? row.toJid : row.fromJid;
  const PartnerCache::Partner* known = inChat ? findChat() : nullptr;
  const JidKind kind = known ? known->kind : classifyJid(partner).kind;
  if (kind == JidKind::kStatus || kind == JidKind::kBroadcast) {
    ++counts.skipped;
    return std::nullopt;
  }
  const std::optional<int32_t> time = unixTimeFromAppleDate(row.date);
  if (!time) {
    ++counts.noDate;
    return std::nullopt;
  }
  WhatsAppEvent event;
  event.type = kWhatsAppEventType;
  event.id = row.id;
  event.text = row.text;
  event.time = *time;
  event.flags = row.fromMe ? 3 : 2;
  const auto take = [&](const PartnerCache::Partner& found, std::string_view name) {
    event.name = name;
    event.address = found.address;
    event.addressFinished = true;
    counts.unknownIdentifiers += found.unknownIdentifier;
  };
  if (kind != JidKind::kGroup) {
    if (known) {
      take(*known, row.partnerName);
    } else {
      addressOf(partner, row.partnerName, inChat ? row.chatIdentifier : std::string_view(), lids,
                event, counts);
    }
  } else if (!row.fromMe) {
    if (const PartnerCache::Partner* member = findMember()) {
      take(*member, row.memberName);
    } else {
      addressOf(row.memberJid, row.memberName, {}, lids, event, counts);
    }
  }  // else: sent to the group, counted for no member
  ++counts.events;
  return event;
}

}  // namespace

std::optional<WhatsAppEvent> messageEvent(const ChatRow& row, const LidMap& lids,
                                          ConvertCounts& counts) {
  const auto none = [] { return static_cast<const PartnerCache::Partner*>(nullptr); };
  return messageEventOf(row, lids, counts, none, none);
}

std::optional<WhatsAppEvent> messageEvent(const ChatRow& row, const LidMap& lids,
                                          ConvertCounts& counts, PartnerCache& cache) {
  return messageEventOf(
      row, lids, counts, [&] { return cache.chat(row, lids); },
      [&] { return cache.member(row, lids); });
}

PartnerCache::Partner* PartnerCache::slot(std::vector<Partner>& table, int64_t id) {
  if (id <= 0 || id >= kMaxId) return nullptr;
  if (static_cast<size_t>(id) >= table.size()) table.resize(static_cast<size_t>(id) + 1);
  return &table[static_cast<size_t>(id)];
}

PartnerCache::Partner PartnerCache::found(JidKind kind, std::string_view jid, std::string_view name,
                                          std::string_view alt, const LidMap& lids) const {
  Partner partner;
  partner.found = true;
  partner.kind = kind;
  if (kind == JidKind::kGroup || kind == JidKind::kStatus || kind == JidKind::kBroadcast) {
    return partner;
  }
  WhatsAppEvent event;
  ConvertCounts counts;
  addressOf(jid, name, alt, lids, event, counts);
  partner.unknownIdentifier = counts.unknownIdentifiers > 0;
  partner.address = finish_(event.address);
  return partner;
}

const PartnerCache::Partner* PartnerCache::chat(const ChatRow& row, const LidMap& lids) {
  Partner* partner = slot(chats_, row.chatId);
  if (partner && !partner->found) {
    *partner = found(classifyJid(row.chatJid).kind, row.chatJid, row.partnerName,
                     row.chatIdentifier, lids);
  }
  return partner;
}

const PartnerCache::Partner* PartnerCache::member(const ChatRow& row, const LidMap& lids) {
  Partner* partner = slot(members_, row.memberId);
  if (partner && !partner->found) {
    // A sender is a person whatever its identifier's form; only the address counts.
    *partner = found(JidKind::kPerson, row.memberJid, row.memberName, {}, lids);
  }
  return partner;
}

std::optional<WhatsAppEvent> callEvent(const CallRow& row, const LidMap& lids,
                                       ConvertCounts& counts) {
  const std::optional<int32_t> time = unixTimeFromAppleDate(row.date);
  if (!time) {
    ++counts.noDate;
    return std::nullopt;
  }
  // Without the aggregate's flag, a call started by its only participant came in.
  const bool incoming =
      row.incoming.value_or(row.creatorJid.empty() || row.creatorJid == row.participantJid);
  const bool unanswered =
      row.outcome ? (*row.outcome == 1 || *row.outcome == 4) : row.missed.value_or(false);
  WhatsAppEvent event;
  event.type = kCallEventType;
  event.id = row.id;
  event.time = *time;
  event.flags = incoming ? 4 : 5;
  event.duration = unanswered ? 0 : wholeSeconds(row.duration);
  const bool group = !row.groupJid.empty() || row.participants > 1;
  if (!group) {
    addressOf(row.participantJid, {}, {}, lids, event, counts);
  } else if (incoming) {
    addressOf(row.creatorJid, {}, {}, lids, event, counts);
  }  // else: the owner called the group, counted for no member
  ++counts.events;
  return event;
}

std::string badInputSummary(std::string_view database, const ConvertCounts& counts) {
  std::string line;
  appendCount(line, counts.noDate, "row", "rows", " without a date");
  appendCount(line, counts.unknownIdentifiers, "identifier", "identifiers", " of unknown form");
  appendCount(line, counts.unknownTypes, "row", "rows", " of an unknown message type passed over");
  return line.empty() ? line : std::string(database) + ": " + line;
}

// ---- Calls recorded twice ----------------------------------------------------------------

std::vector<bool> phoneLogCopies(std::span<const CallStamp> messengerCalls,
                                 std::span<const CallStamp> phoneLogCalls, int32_t tolerance) {
  std::vector<size_t> byTime(messengerCalls.size());
  for (size_t i = 0; i < byTime.size(); ++i) byTime[i] = i;
  std::stable_sort(byTime.begin(), byTime.end(), [&](size_t a, size_t b) {
    return messengerCalls[a].time < messengerCalls[b].time;
  });
  std::vector<std::optional<std::string>> numbers(messengerCalls.size());
  for (size_t i = 0; i < numbers.size(); ++i) {
    numbers[i] = comparableNumber(messengerCalls[i].address);
  }
  // Every pair that could be one call: (distance, phone-log call, messenger call).
  std::vector<std::tuple<int64_t, size_t, size_t>> pairs;
  for (size_t j = 0; j < phoneLogCalls.size(); ++j) {
    const int64_t t = phoneLogCalls[j].time;
    const std::optional<std::string> number = comparableNumber(phoneLogCalls[j].address);
    auto it = std::lower_bound(byTime.begin(), byTime.end(), t - tolerance,
                               [&](size_t i, int64_t v) { return messengerCalls[i].time < v; });
    for (; it != byTime.end() && messengerCalls[*it].time <= t + tolerance; ++it) {
      if (number && numbers[*it] && *number != *numbers[*it]) continue;
      pairs.emplace_back(std::abs(messengerCalls[*it].time - t), j, *it);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  std::vector<bool> copy(phoneLogCalls.size(), false);
  std::vector<bool> taken(messengerCalls.size(), false);
  for (const auto& [distance, j, i] : pairs) {
    if (copy[j] || taken[i]) continue;
    copy[j] = true;
    taken[i] = true;
  }
  return copy;
}

}  // namespace ovra::backup
