// The messenger's databases: identifiers, the message rule, dates, rows into events, calls
// logged twice, and the queries on files of older versions.
#include "backup/whatsapp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "backup_fixture.h"

namespace ovra::backup {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Every row of `sql` on the file, values as text (NULL as ""), as the query wrapper gives
// them; fails the test on any error.
Rows query(const std::string& path, const std::string& sql) {
  Connection db;
  Statement stmt;
  Rows rows;
  if (sqlite3_open_v2(path.c_str(), db.out(), SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db.get(), sql.c_str(), -1, stmt.out(), nullptr) != SQLITE_OK) {
    ADD_FAILURE() << path << ": " << sqlite3_errmsg(db.get()) << "\n" << sql;
    return rows;
  }
  while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
    rows.emplace_back();
    for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) {
      const unsigned char* text = sqlite3_column_text(stmt.get(), i);
      rows.back().push_back(text ? reinterpret_cast<const char*>(text) : "");
    }
  }
  return rows;
}

Schema schemaOf(const std::string& path) {
  Schema schema;
  for (const auto& row : query(path, kSchemaQuery)) schema.add(row[0], row[1]);
  return schema;
}

std::vector<std::string_view> views(const std::vector<std::string>& row) {
  return {row.begin(), row.end()};
}

TEST(WhatsAppJid, IsClassifiedByServerWithDigitsOnlyNumbers) {
  const std::tuple<std::string_view, JidKind, std::string_view> cases[] = {
      {"4915112345678@s.whatsapp.net", JidKind::kPerson, "4915112345678"},
      {"+4915112345678@s.whatsapp.net", JidKind::kUnknown, ""},
      {"4915112345678:12@s.whatsapp.net", JidKind::kUnknown, ""},  // a device
      {"@s.whatsapp.net", JidKind::kUnknown, ""},
      {"4915112345678@S.WHATSAPP.NET", JidKind::kUnknown, ""},
      {"120363041234567890@g.us", JidKind::kGroup, "120363041234567890"},
      {"4915112345678-1400000000@g.us", JidKind::kGroup, "4915112345678-1400000000"},
      {"@g.us", JidKind::kUnknown, ""},
      {"status@broadcast", JidKind::kBroadcast, "status"},
      {"1690000000@broadcast", JidKind::kBroadcast, "1690000000"},
      {"0@status", JidKind::kStatus, "0"},
      {"271828182845904@lid", JidKind::kLid, "271828182845904"},
      {"abc@lid", JidKind::kUnknown, ""},
      {"12025550123@c.us", JidKind::kUnknown, ""},
      {"4915112345678", JidKind::kUnknown, ""},
      {"a@b@s.whatsapp.net", JidKind::kUnknown, ""},
      {"", JidKind::kUnknown, ""},
  };
  for (const auto& [text, kind, user] : cases) {
    const Jid jid = classifyJid(text);
    EXPECT_EQ(jid.kind, kind) << text;
    if (kind != JidKind::kUnknown) {
      EXPECT_EQ(jid.user, user) << text;
    }
  }
}

TEST(WhatsAppDate, IsFlooredFromTwoThousandOneAndClampedTo32Bits) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const std::pair<std::string_view, std::optional<int32_t>> cases[] = {
      {"0", 978307200},        {"726521234.9", 1704828434},
      {"-0.5", 978307199},                            // before 2001 rounds down too
      {"-978307200", 0},       {"1169176447", kMax},  // the last whole second of the range
      {"1169176448", kMax},                           // clamped
      {"1e300", kMax},         {"-1e300", kMin},
      {"7.2e+08", 1698307200}, {" 12 ", 978307212},
      {"nan", std::nullopt},   {"inf", std::nullopt},
      {"1e999", std::nullopt},  // not a double at all
      {"", std::nullopt},      {"12abc", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(unixTimeFromAppleDate(parseReal(text)), expected) << text;
  }
  EXPECT_EQ(unixTimeFromAppleDate(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  // Integers: plain digits quickly, the rest as before; nothing that overflows.
  const std::pair<std::string_view, std::optional<int64_t>> integers[] = {
      {"0", 0},
      {"007", 7},
      {"999999999999999999", 999999999999999999},
      {" 12 ", 12},
      {"-5", -5},
      {"9223372036854775807", INT64_MAX},
      {"12a", std::nullopt},
      {"", std::nullopt},
      {"9223372036854775808", std::nullopt},
  };
  for (const auto& [text, expected] : integers) EXPECT_EQ(parseInteger(text), expected) << text;
}

TEST(WhatsAppMessages, CountForThePartnerOrTheGroupSender) {
  LidMap lids;
  ASSERT_TRUE(lids.add({"777@lid", "19995550000"}));
  ASSERT_TRUE(lids.add({"888@lid", "19995550001"}));
  LidMap beside;  // a later file's pairs win
  ASSERT_TRUE(beside.add({"777", "+447700900123"}));
  lids.addAll(beside);
  EXPECT_EQ(lids.number("888"), "19995550001");
  struct Case {
    ChatRow row;
    std::optional<std::string> address;  // none: no event
    int flags;
  };
  auto row = [](std::string_view chat, bool fromMe) {
    ChatRow r;
    r.date = 700000000.25;
    r.fromMe = fromMe;
    r.messageType = 0;
    r.chatJid = chat;
    r.partnerName = "Ana W.";
    return r;
  };
  ChatRow groupIn = row("120363041234567890@g.us", false), lidMember = groupIn, noMember = groupIn,
          noChat = row("", true), lidOwnNumber = row("555@lid", false),
          unnamed = row("555@lid", false), undated = row("4915112345678@s.whatsapp.net", true);
  groupIn.memberJid = "4915112345678@s.whatsapp.net";
  lidMember.memberJid = "777@lid";
  noChat.toJid = "12025550123@s.whatsapp.net";
  lidOwnNumber.chatIdentifier = "12025550123@s.whatsapp.net";
  unnamed.partnerName = "";
  undated.date = std::nullopt;
  const Case cases[] = {
      {row("4915112345678@s.whatsapp.net", true), "4915112345678", 3},
      {row("4915112345678@s.whatsapp.net", false), "4915112345678", 2},
      {row("777@lid", false), "447700900123", 2},
      {row("555@lid", true), "Ana W.", 3},  // no pair: the name
      {unnamed, "555@lid", 2},              // nor a name: the identifier
      {lidOwnNumber, "12025550123", 2},
      {noChat, "12025550123", 3},
      {groupIn, "4915112345678", 2},
      {lidMember, "447700900123", 2},
      {row("120363041234567890@g.us", true), "", 3},  // for no member
      {noMember, "", 2},                              // sender unknown
      {row("12025550123@c.us", false), "Ana W.", 2},  // unknown form
      {row("status@broadcast", false), std::nullopt, 0},
      {row("1690000000@broadcast", true), std::nullopt, 0},
      {undated, std::nullopt, 0},
  };
  ConvertCounts counts;
  for (const Case& c : cases) {
    const std::optional<WhatsAppEvent> event = messageEvent(c.row, lids, counts);
    ASSERT_EQ(event.has_value(), c.address.has_value()) << c.row.chatJid;
    if (!event) continue;
    EXPECT_EQ(event->address, *c.address) << c.row.chatJid;
    EXPECT_EQ(event->flags, c.flags) << c.row.chatJid;
    EXPECT_EQ(event->time, 1678307200);
    EXPECT_EQ(event->type, "whatsapp");
  }
  EXPECT_EQ(counts.events, 12u);
  EXPECT_EQ(counts.skipped, 2u);
  EXPECT_EQ(counts.noDate, 1u);
  EXPECT_EQ(counts.unknownIdentifiers, 2u);  // the missing sender and the unknown form
  EXPECT_EQ(badInputSummary("ChatStorage.sqlite", counts),
            "ChatStorage.sqlite: 1 row without a date, 2 identifiers of unknown form");

  // Through a cache that finds each chat and sender once, the second pass from the cache,
  // every event comes out the same, its address finished, and counts as often.
  PartnerCache cache([](std::string_view a) { return "kept " + std::string(a); });
  ConvertCounts cached;
  size_t finished = 0;
  for (int pass = 0; pass < 2; ++pass) {
    int64_t id = 0;
    for (const Case& c : cases) {
      ChatRow r = c.row;
      r.chatId = r.memberId = ++id;
      const std::optional<WhatsAppEvent> event = messageEvent(r, lids, cached, cache);
      ASSERT_EQ(event.has_value(), c.address.has_value()) << c.row.chatJid;
      if (event) {
        EXPECT_EQ(event->address, (event->addressFinished ? "kept " : "") + *c.address);
        finished += event->addressFinished;
      }
    }
  }
  EXPECT_EQ(cached.events, 2 * counts.events);
  EXPECT_EQ(cached.skipped, 2 * counts.skipped);
  EXPECT_EQ(cached.noDate, 2 * counts.noDate);
  EXPECT_EQ(cached.unknownIdentifiers, 2 * counts.unknownIdentifiers);
  EXPECT_EQ(finished, 2 * 10u);  // all but the chat-less row and the owner's to the group
}

TEST(WhatsAppCalls, CarryDirectionAndDurationOnlyWhenAnswered) {
  LidMap lids;
  struct Case {
    std::optional<int64_t> outcome;
    std::optional<bool> incoming, missed;
    std::optional<double> duration;
    std::string_view group, creator;
    int64_t participants;
    int flags;
    int32_t expectedDuration;
    std::string_view address;
  };
  constexpr std::string_view kPerson = "4915112345678@s.whatsapp.net";
  const Case cases[] = {
      {0, true, false, 125.9, "", "", 1, 4, 125, "4915112345678"},
      {0, false, false, 60, "", "", 1, 5, 60, "4915112345678"},
      {1, true, true, 12, "", "", 1, 4, 0, "4915112345678"},  // missed
      {4, true, false, 3, "", "", 1, 4, 0, "4915112345678"},  // rejected
      {std::nullopt, false, true, 9, "", "", 1, 5, 0, "4915112345678"},
      {0, std::nullopt, std::nullopt, -5, "", "", 1, 4, 0, "4915112345678"},
      {0, std::nullopt, false, std::nan(""), "", kPerson, 1, 4, 0, "4915112345678"},
      {0, std::nullopt, false, 1, "", "1@s.whatsapp.net", 1, 5, 1, "4915112345678"},
      {0, true, false, 300, "1@g.us", "12025550123@s.whatsapp.net", 3, 4, 300, "12025550123"},
      {0, false, false, 300, "1@g.us", "", 3, 5, 300, ""},
      {0, false, false, 30, "", "", 2, 5, 30, ""},  // two others: a group call
  };
  ConvertCounts counts;
  for (const Case& c : cases) {
    CallRow row;
    row.date = 1;
    row.outcome = c.outcome;
    row.incoming = c.incoming;
    row.missed = c.missed;
    row.duration = c.duration;
    row.participantJid = kPerson;
    row.participants = c.participants;
    row.groupJid = c.group;
    row.creatorJid = c.creator;
    const std::optional<WhatsAppEvent> event = callEvent(row, lids, counts);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->flags, c.flags) << c.expectedDuration;
    EXPECT_EQ(event->duration, c.expectedDuration) << c.flags;
    EXPECT_EQ(event->address, c.address);
    RecordDigits digits;
    EXPECT_EQ(recordTexts(*event, digits)[3], std::to_string(c.expectedDuration));
  }
  EXPECT_EQ(counts.unknownIdentifiers, 0u);
  EXPECT_FALSE(callEvent(CallRow{}, lids, counts));
  EXPECT_EQ(counts.noDate, 1u);
}

TEST(WhatsAppCallsLoggedTwice, DropThePhoneLogCopyOncePerCall) {
  const std::vector<CallStamp> messenger = {{1, 1000, 60, "4915112345678"},
                                            {2, 1020, 5, "4915112345678"},  // a redial
                                            {3, 5000, 0, "447700900123"},
                                            {4, 9000, 0, "271828182845904@lid"}};
  const std::vector<CallStamp> phone = {
      {10, 1021, 5, "+49 151 1234 5678"},  // the redial, nearer to call 2
      {11, 1002, 60, "+4915112345678"},    // the first call
      {12, 5002, 0, "+12025550123"},       // another number
      {13, 9025, 0, "+447700900999"},      // the unpaired @lid: by time
      {14, 1010, 0, "+4915112345678"},     // no third call: kept
      {15, 5031, 0, "Ana"},                // beyond the window
  };
  const std::vector<bool> expected = {true, true, false, true, false, false};
  EXPECT_EQ(phoneLogCopies(messenger, phone), expected);
  EXPECT_EQ(phoneLogCopies(messenger, {}), std::vector<bool>());
  EXPECT_EQ(phoneLogCopies({}, phone), std::vector<bool>(phone.size(), false));
}

TEST(WhatsAppQueries, ReadOlderFilesAndNameWhatIsMissing) {
  testing::TempDir dir;
  const std::string path = dir / "old.sqlite";
  ASSERT_EQ(testing::makeDatabase(
                path,
                "CREATE TABLE ZWAMESSAGE (Z_PK INTEGER PRIMARY KEY, ZISFROMME INTEGER, "
                "ZMESSAGEDATE TIMESTAMP, ZMESSAGETYPE INTEGER, ZFROMJID VARCHAR, ZTOJID VARCHAR);"
                "INSERT INTO ZWAMESSAGE VALUES (1, 1, 5.5, 0, NULL, '1@s.whatsapp.net');"
                "CREATE TABLE ZWACDCALLEVENT (Z_PK INTEGER PRIMARY KEY, ZDATE TIMESTAMP);"
                "CREATE TABLE ZWACDCALLEVENTPARTICIPANT (Z1PARTICIPANTS INTEGER, ZJIDSTRING);"
                "INSERT INTO ZWACDCALLEVENT VALUES (1, 3);"),
            "");
  const Schema schema = schemaOf(path);
  const BuiltQuery messages = chatMessagesQuery(schema);
  ASSERT_TRUE(messages.ok());
  EXPECT_EQ(messages.absent.size(), 4u);  // event type, text, chat, group sender
  const Rows rows = query(path, messages.sql);
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].size(), kChatRowColumns);
  ConvertCounts counts;
  const auto event = messageEvent(chatRowFromTexts(views(rows[0])), LidMap(), counts);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->address, "1");
  const BuiltQuery calls = messengerCallsQuery(schema);
  ASSERT_TRUE(calls.ok());
  ASSERT_EQ(query(path, calls.sql).at(0).size(), kCallRowColumns);

  Schema bare;
  bare.add("ZWAMESSAGE", "Z_PK");
  EXPECT_EQ(chatMessagesQuery(bare).missing,
            (std::vector<std::string>{"ZWAMESSAGE.ZMESSAGEDATE", "ZWAMESSAGE.ZISFROMME",
                                      "ZWAMESSAGE.ZMESSAGETYPE", "ZWAMESSAGE.ZCHATSESSION",
                                      "ZWACHATSESSION.Z_PK", "ZWACHATSESSION.ZCONTACTJID"}));
  EXPECT_EQ(chatMessagesQuery(bare).sql, "");
  EXPECT_FALSE(lidPairsQuery(bare).ok());
  EXPECT_FALSE(phoneLogMessengerCallsQuery(bare).ok());
}

}  // namespace
}  // namespace ovra::backup
