// The messenger's four databases. Everyone on the list gets a one-to-one chat, under their
// number or (every fourth) under a @lid identifier; nearly all have a @lid paired with
// their number in LID.sqlite, and one @lid chat instead names its number in the chat row.
// A group holds the first six, a stranger with an unpaired @lid, and the owner. Calls sit
// in the messenger's log as Core Data keeps them: an aggregate, its call events and their
// participants.
#include "sample_whatsapp.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <type_traits>

#include "sample_databases.h"

namespace ovra::sample {
namespace {

constexpr int64_t kAppleEpoch = 978307200;
constexpr char kOwnJid[] = "15550100000@s.whatsapp.net";
constexpr char kGroupJid[] = "120363041234567890@g.us";
constexpr char kStrangerLid[] = "271828182845904@lid";  // in no pair
constexpr char kStrangerName[] = "Kai (climbing)";
constexpr char kUnpairedLid[] = "314159265358979@lid";  // in no pair
constexpr char kUnpairedName[] = "Rio from the market";

constexpr std::array<const char*, 12> kTexts = {
    "On my way :)", "ok",       "Haha :D",        "Where are you?", "See you at 8", "Thanks! ;)",
    "Call me?",     "Sorry :(", "Good morning 😀", "Love it <3",     "Lol :P",       "Done. Next?"};
constexpr std::array<const char*, 8> kPartnerNames = {"Ana W.", "Ben W.", "Chloe W.", "Dev W.",
                                                      "Eli W.", "Fay W.", "Gus W.",   "Hana W."};
// Message types: mostly text, then media and the rarer kinds.
constexpr std::array<int, 21> kMessageTypes = {0, 0, 0, 0, 0, 0, 0,  0,  1,  1, 2,
                                               3, 3, 4, 5, 7, 8, 11, 15, 46, 66};

constexpr const char* kChatSchema =
    "CREATE TABLE ZWACHATSESSION (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZARCHIVED INTEGER, ZCONTACTABID INTEGER, ZFLAGS INTEGER, ZHIDDEN INTEGER, "
    "ZIDENTITYVERIFICATIONEPOCH INTEGER, ZIDENTITYVERIFICATIONSTATE INTEGER, ZMESSAGECOUNTER "
    "INTEGER, ZREMOVED INTEGER, ZSESSIONTYPE INTEGER, ZSPOTLIGHTSTATUS INTEGER, ZUNREADCOUNT "
    "INTEGER, ZGROUPINFO INTEGER, ZLASTMESSAGE INTEGER, ZPROPERTIES INTEGER, ZLASTMESSAGEDATE "
    "TIMESTAMP, ZLOCATIONSHARINGENDDATE TIMESTAMP, ZCONTACTIDENTIFIER VARCHAR, ZCONTACTJID "
    "VARCHAR, ZETAG VARCHAR, ZLASTMESSAGETEXT VARCHAR, ZPARTNERNAME VARCHAR, ZSAVEDINPUT "
    "VARCHAR);"
    "CREATE TABLE ZWAGROUPMEMBER (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZCONTACTABID INTEGER, ZISACTIVE INTEGER, ZISADMIN INTEGER, ZSENDERKEYSENT INTEGER, "
    "ZCHATSESSION INTEGER, ZRECENTGROUPCHAT INTEGER, ZCONTACTIDENTIFIER VARCHAR, ZCONTACTNAME "
    "VARCHAR, ZFIRSTNAME VARCHAR, ZMEMBERJID VARCHAR);"
    "CREATE TABLE ZWAMEDIAITEM (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZCLOUDSTATUS INTEGER, ZFILESIZE INTEGER, ZMEDIAORIGIN INTEGER, ZMOVIEDURATION INTEGER, "
    "ZMESSAGE INTEGER, ZASPECTRATIO FLOAT, ZHACCURACY FLOAT, ZLATITUDE FLOAT, ZLONGITUDE FLOAT, "
    "ZMEDIAURLDATE TIMESTAMP, ZAUTHORNAME VARCHAR, ZCOLLECTIONNAME VARCHAR, ZMEDIALOCALPATH "
    "VARCHAR, ZMEDIAURL VARCHAR, ZTHUMBNAILLOCALPATH VARCHAR, ZTITLE VARCHAR, ZVCARDNAME "
    "VARCHAR, ZVCARDSTRING VARCHAR, ZXMPPTHUMBPATH VARCHAR, ZMEDIAKEY BLOB, ZMETADATA BLOB);"
    "CREATE TABLE ZWAMESSAGE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZCHILDMESSAGESDELIVEREDCOUNT INTEGER, ZCHILDMESSAGESPLAYEDCOUNT INTEGER, "
    "ZCHILDMESSAGESREADCOUNT INTEGER, ZDATAITEMVERSION INTEGER, ZDOCID INTEGER, ZENCRETRYCOUNT "
    "INTEGER, ZFILTEREDRECIPIENTCOUNT INTEGER, ZFLAGS INTEGER, ZGROUPEVENTTYPE INTEGER, "
    "ZISFROMME INTEGER, ZMESSAGEERRORSTATUS INTEGER, ZMESSAGESTATUS INTEGER, ZMESSAGETYPE "
    "INTEGER, ZSORT INTEGER, ZSPOTLIGHTSTATUS INTEGER, ZSTARRED INTEGER, ZCHATSESSION INTEGER, "
    "ZGROUPMEMBER INTEGER, ZLASTSESSION INTEGER, ZMEDIAITEM INTEGER, ZMESSAGEINFO INTEGER, "
    "ZPARENTMESSAGE INTEGER, ZMESSAGEDATE TIMESTAMP, ZSENTDATE TIMESTAMP, ZFROMJID VARCHAR, "
    "ZMEDIASECTIONID VARCHAR, ZPHASH VARCHAR, ZPUSHNAME VARCHAR, ZSTANZAID VARCHAR, ZTEXT "
    "VARCHAR, ZTOJID VARCHAR);"
    "CREATE INDEX ZWAMESSAGE_ZCHATSESSION_INDEX ON ZWAMESSAGE (ZCHATSESSION);"
    "CREATE INDEX ZWAMESSAGE_ZGROUPMEMBER_INDEX ON ZWAMESSAGE (ZGROUPMEMBER);"
    "CREATE INDEX ZWAMESSAGE_ZMEDIAITEM_INDEX ON ZWAMESSAGE (ZMEDIAITEM);"
    "CREATE INDEX ZWAGROUPMEMBER_ZCHATSESSION_INDEX ON ZWAGROUPMEMBER (ZCHATSESSION);"
    "CREATE INDEX ZWAMEDIAITEM_ZMESSAGE_INDEX ON ZWAMEDIAITEM (ZMESSAGE);";

constexpr const char* kCallSchema =
    "CREATE TABLE ZWAAGGREGATECALLEVENT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT "
    "INTEGER, ZINCOMING INTEGER, ZMISSED INTEGER, ZMISSEDREASON INTEGER, ZREAD INTEGER, ZVIDEO "
    "INTEGER, ZFIRSTDATE TIMESTAMP, ZGROUPJIDSTRING VARCHAR);"
    "CREATE TABLE ZWACDCALLEVENT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZBYTESRECEIVED INTEGER, ZBYTESSENT INTEGER, ZOUTCOME INTEGER, Z1CALLEVENTS INTEGER, ZDATE "
    "TIMESTAMP, ZDURATION FLOAT, ZCALLIDSTRING VARCHAR, ZGROUPCALLCREATORUSERJIDSTRING VARCHAR, "
    "ZGROUPJIDSTRING VARCHAR);"
    "CREATE TABLE ZWACDCALLEVENTPARTICIPANT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT "
    "INTEGER, ZOUTCOME INTEGER, Z1PARTICIPANTS INTEGER, ZJIDSTRING VARCHAR);"
    "CREATE INDEX ZWACDCALLEVENT_Z1CALLEVENTS_INDEX ON ZWACDCALLEVENT (Z1CALLEVENTS);"
    "CREATE INDEX ZWACDCALLEVENTPARTICIPANT_Z1PARTICIPANTS_INDEX ON ZWACDCALLEVENTPARTICIPANT "
    "(Z1PARTICIPANTS);";

constexpr const char* kContactsSchema =
    "CREATE TABLE ZWAADDRESSBOOKCONTACT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT "
    "INTEGER, ZLASTUPDATED TIMESTAMP, ZABOUTTEXT VARCHAR, ZBUSINESSNAME VARCHAR, ZFULLNAME "
    "VARCHAR, ZGIVENNAME VARCHAR, ZIDENTIFIER VARCHAR, ZLID VARCHAR, ZPHONENUMBER VARCHAR, "
    "ZPHONENUMBERLABEL VARCHAR, ZWHATSAPPID VARCHAR);"
    "CREATE INDEX ZWAADDRESSBOOKCONTACT_ZWHATSAPPID_INDEX ON ZWAADDRESSBOOKCONTACT "
    "(ZWHATSAPPID);"
    "CREATE INDEX ZWAADDRESSBOOKCONTACT_ZLID_INDEX ON ZWAADDRESSBOOKCONTACT (ZLID);";

constexpr const char* kLidSchema =
    "CREATE TABLE ZWAPHONENUMBERLIDPAIR (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT "
    "INTEGER, ZTIMESTAMP TIMESTAMP, ZLID VARCHAR, ZPHONENUMBER VARCHAR);"
    "CREATE INDEX ZWAPHONENUMBERLIDPAIR_ZLID_INDEX ON ZWAPHONENUMBERLIDPAIR (ZLID);"
    "CREATE INDEX ZWAPHONENUMBERLIDPAIR_ZPHONENUMBER_INDEX ON ZWAPHONENUMBERLIDPAIR "
    "(ZPHONENUMBER);";

// Core Data's own tables, in every store.
constexpr const char* kCoreDataTables =
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
    "Z_MAX INTEGER);"
    "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);"
    "CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);";

struct Person {
  std::string digits;
  std::string lid;         // "...@lid"
  bool chatByLid = false;  // the chat is filed under the @lid
  bool paired = true;      // LID.sqlite pairs the @lid with the number
  std::string personJid() const { return digits + "@s.whatsapp.net"; }
  std::string chatJid() const { return chatByLid ? lid : personJid(); }
  // How calls and the group name them: the @lid where a pair finds the number.
  std::string callJid() const { return chatByLid && paired ? lid : personJid(); }
  std::string memberJid(size_t i) const { return i % 2 == 1 && paired ? lid : personJid(); }
};

std::vector<Person> people(const std::vector<std::string>& numbers) {
  std::vector<Person> out;
  for (size_t i = 0; i < numbers.size(); ++i) {
    Person p;
    for (char c : numbers[i]) {
      if (c >= '0' && c <= '9') p.digits += c;
    }
    p.lid = std::to_string(104729000000000 + i * 7919) + "@lid";  // 15 digits, one each
    p.chatByLid = i % 4 == 1;
    p.paired = i % 8 != 5;
    out.push_back(std::move(p));
  }
  return out;
}

// Low indexes more often. (The two draws may come in either order: min does not mind.)
size_t skewed(Random& rng, size_t n) { return std::min(rng.below(n), rng.below(n)); }

double appleDate(Random& rng, int i, int n) {
  return static_cast<double>(randomTime(rng, i, n) - kAppleEpoch) + rng.unit();
}

std::string hexId(Random& rng) {
  char text[24];
  std::snprintf(text, sizeof text, "3EB0%016llX", static_cast<unsigned long long>(rng.next()));
  return text;
}

// Binds `values` to the insert's parameters in order and runs it: integers, reals, texts
// (null pointers and empty optionals as NULL). Arguments are evaluated in no fixed order,
// so anything drawn from the stream is drawn before the call.
template <typename T>
void bind(Insert& in, int i, const T& v) {
  if constexpr (std::is_integral_v<T>) {
    in.integer(i, static_cast<int64_t>(v));
  } else if constexpr (std::is_floating_point_v<T>) {
    in.real(i, v);
  } else if constexpr (std::is_same_v<T, std::optional<double>>) {
    if (v) in.real(i, *v);
  } else if constexpr (std::is_same_v<T, std::optional<int64_t>>) {
    if (v) in.integer(i, *v);
  } else {
    in.text(i, v);
  }
}
template <typename... T>
bool insert(Insert& in, const T&... values) {
  int i = 0;
  (bind(in, ++i, values), ...);
  return in.run();
}

// Appends the rows of ChatStorage.sqlite.
class ChatWriter {
 public:
  explicit ChatWriter(sqlite3* db)
      : chat_(db,
              "INSERT INTO ZWACHATSESSION (Z_PK, Z_ENT, Z_OPT, ZARCHIVED, ZFLAGS, ZHIDDEN, "
              "ZREMOVED, ZSESSIONTYPE, ZUNREADCOUNT, ZCONTACTIDENTIFIER, ZCONTACTJID, "
              "ZPARTNERNAME) VALUES (?, 2, 1, 0, 0, 0, 0, ?, 0, ?, ?, ?)"),
        member_(db,
                "INSERT INTO ZWAGROUPMEMBER (Z_PK, Z_ENT, Z_OPT, ZISACTIVE, ZISADMIN, "
                "ZCHATSESSION, ZCONTACTNAME, ZFIRSTNAME, ZMEMBERJID) VALUES (?, 4, 1, 1, ?, ?, "
                "?, ?, ?)"),
        media_(
            db,
            "INSERT INTO ZWAMEDIAITEM (Z_PK, Z_ENT, Z_OPT, ZFILESIZE, ZMESSAGE, ZMEDIALOCALPATH, "
            "ZTITLE) VALUES (?, 6, 1, ?, ?, ?, ?)"),
        message_(db,
                 "INSERT INTO ZWAMESSAGE (Z_PK, Z_ENT, Z_OPT, ZFLAGS, ZGROUPEVENTTYPE, ZISFROMME, "
                 "ZMESSAGEERRORSTATUS, ZMESSAGESTATUS, ZMESSAGETYPE, ZSORT, ZSPOTLIGHTSTATUS, "
                 "ZSTARRED, ZCHATSESSION, ZGROUPMEMBER, ZMEDIAITEM, ZMESSAGEDATE, ZSENTDATE, "
                 "ZFROMJID, ZSTANZAID, ZTEXT, ZTOJID) VALUES (?, 9, 2, 0, ?, ?, 0, ?, ?, ?, 0, 0, "
                 "?, ?, ?, ?, ?, ?, ?, ?, ?)") {}

  bool ok() const { return chat_.ok() && member_.ok() && media_.ok() && message_.ok(); }

  int64_t chat(const std::string& jid, const char* name, int type, const char* identifier) {
    return insert(chat_, ++chats, type, identifier, jid, name) ? chats : 0;
  }
  int64_t member(int64_t chat, const std::string& jid, const char* name, bool admin) {
    return insert(member_, ++members, admin, chat, name, name, jid) ? members : 0;
  }

  struct Message {
    int64_t chat = 0;
    std::string chatJid;
    std::optional<double> date{};
    bool fromMe = false;
    int type = 0;
    const char* text = nullptr;  // for a text message, one of kTexts when none
    int groupEvent = 0;
    int64_t member = 0;       // the sender, in a group
    std::string senderJid{};  // ZFROMJID of a received message, when not the chat's
  };
  bool message(Random& rng, const Message& m) {
    const int64_t pk = ++messages;
    const char* text = m.type == 0 && m.text == nullptr ? rng.pick(kTexts) : m.text;
    int64_t media = 0;
    if (m.type != 0 && m.type != 6 && m.type != 10 && m.type != 14 && m.type != 59) {
      media = ++mediaItems;
      const std::string path = "Media/" + m.chatJid + "/" + hexId(rng) + ".bin";
      const int64_t size = static_cast<int64_t>(1000 + rng.below(900000));
      const char* caption = rng.chance(0.3) ? "caption :)" : nullptr;
      if (!insert(media_, media, size, pk, path, caption)) return false;
    }
    std::optional<double> sent = m.date;
    if (sent && !m.fromMe) *sent -= rng.unit();  // a received message left its sender earlier
    const std::string stanza = hexId(rng);
    const std::string& from = m.senderJid.empty() ? m.chatJid : m.senderJid;
    auto some = [](int64_t v) { return v != 0 ? std::optional<int64_t>(v) : std::nullopt; };
    return insert(message_, pk, m.groupEvent, m.fromMe, m.fromMe ? 8 : 0, m.type, pk, m.chat,
                  some(m.member), some(media), m.date, sent, m.fromMe ? nullptr : from.c_str(),
                  stanza, text, m.fromMe ? m.chatJid.c_str() : nullptr);
  }

  int64_t chats = 0, members = 0, mediaItems = 0, messages = 0;  // rows written

 private:
  Insert chat_, member_, media_, message_;
};

bool primaryKeys(sqlite3* db, std::initializer_list<std::pair<const char*, int64_t>> entities) {
  Insert key(db, "INSERT INTO Z_PRIMARYKEY VALUES (?, ?, 0, ?)");
  Insert meta(db, "INSERT INTO Z_METADATA VALUES (1, ?, NULL)");
  int ent = 0;
  for (const auto& [name, max] : entities) {
    if (!insert(key, ++ent, name, max)) return false;
  }
  return insert(meta, "5D8F3B2A-6C1E-4F7A-9B0D-2E4C6A8F1B3D");
}

std::string writeChats(const std::string& path, Random& rng, const std::vector<Person>& ps,
                       const WhatsAppOptions& o, WhatsAppCounts& counts) {
  const std::string schema = std::string(kChatSchema) + kCoreDataTables;
  return writeDatabase(path, schema.c_str(), true, [&](sqlite3* db) -> std::string {
    ChatWriter w(db);
    if (!w.ok()) return errorText(db);
    std::vector<int64_t> chats;
    for (size_t i = 0; i < ps.size(); ++i) {
      const std::string alt = ps[i].personJid();
      chats.push_back(w.chat(ps[i].chatJid(), kPartnerNames[i % kPartnerNames.size()], 0,
                             ps[i].chatByLid && !ps[i].paired ? alt.c_str() : nullptr));
    }
    bool ok = true;
    // One-to-one chats, with a notice now and then.
    for (int i = 0; ok && !ps.empty() && i < o.messages; ++i) {
      const size_t who = skewed(rng, ps.size());
      const double date = appleDate(rng, i, o.messages);
      const bool fromMe = rng.chance(0.5);
      ok = w.message(rng, {chats[who], ps[who].chatJid(), date, fromMe, rng.pick(kMessageTypes)});
      ++counts.messages[who];
      ++counts.messageEvents;
      if (ok && i % 12 == 5) {
        static constexpr std::array<std::pair<int, int>, 4> kNotices = {
            {{10, 2}, {14, 0}, {59, 0}, {10, 1}}};  // (type, group event type)
        const auto [type, event] = kNotices[static_cast<size_t>(i / 12) % kNotices.size()];
        ok =
            w.message(rng, {chats[who], ps[who].chatJid(), date + 1, fromMe, type, nullptr, event});
        ++counts.notices;
      }
    }
    // The group: the first six, a stranger whose @lid has no pair, and the owner.
    const int64_t group = w.chat(kGroupJid, "Climbing Saturdays", 1, nullptr);
    std::vector<std::pair<int64_t, size_t>> members;  // member row, person (or size: stranger)
    for (size_t i = 0; i < std::min<size_t>(ps.size(), 6); ++i) {
      members.emplace_back(w.member(group, ps[i].memberJid(i), kPartnerNames[i % 8], i == 0), i);
    }
    members.emplace_back(w.member(group, kStrangerLid, kStrangerName, false), ps.size());
    w.member(group, kOwnJid, nullptr, true);
    ok = ok && w.message(rng, {group, kGroupJid, appleDate(rng, 0, 1), true, 6, nullptr, 12});
    ++counts.notices;  // the group was created
    for (int i = 0; ok && i < o.groupMessages; ++i) {
      ChatWriter::Message m{group, kGroupJid, appleDate(rng, i, o.groupMessages), rng.chance(0.3)};
      m.type = rng.pick(kMessageTypes);
      ++counts.messageEvents;
      if (m.fromMe) {
        ++counts.groupSent;
      } else {
        const auto& [member, who] = members[rng.below(members.size())];
        m.member = member;
        if (who < ps.size()) ++counts.messages[who];
      }
      ok = w.message(rng, m);
      if (ok && i % 20 == 7) {  // someone joins
        ok = w.message(rng, {group, kGroupJid, m.date, false, 6, nullptr, 2, m.member});
        ++counts.notices;
      }
    }
    // A chat under a @lid that nothing pairs with a number: it goes by its name.
    counts.nameOnlyPartner = kUnpairedName;
    const int64_t unpaired = w.chat(kUnpairedLid, kUnpairedName, 0, nullptr);
    for (int i = 0; ok && i < 6; ++i) {
      ok = w.message(rng, {unpaired, kUnpairedLid, appleDate(rng, i, 6), i % 2 == 0});
      ++counts.nameOnlyMessages;
      ++counts.messageEvents;
    }
    // The status feed and a broadcast list: not conversations.
    const std::string feed = "status@broadcast", list = "1690000000@broadcast";
    const int64_t status = w.chat(feed, nullptr, 3, nullptr);
    const int64_t broadcast = w.chat(list, "Team news", 2, nullptr);
    const std::string poster = ps.empty() ? kOwnJid : ps[0].personJid();
    for (int i = 0; ok && i < 5; ++i) {
      ok = i < 3 ? w.message(rng,
                             {status, feed, appleDate(rng, i, 5), false, 1, nullptr, 0, 0, poster})
                 : w.message(rng, {broadcast, list, appleDate(rng, i, 5), true});
      ++counts.skipped;
    }
    if (ok && o.badRows && !ps.empty()) {
      const std::string jid = ps[0].chatJid(), odd = "12025550123@c.us";
      ok = w.message(rng, {chats[0], jid, std::nullopt, false, 0, "no date"}) &&
           w.message(rng, {chats[0], jid, appleDate(rng, 1, 2), false, 28});
      ++counts.noDate;
      ++counts.unknownTypes;
      const int64_t oddChat = w.chat(odd, "Old web contact", 0, nullptr);
      for (int i = 0; ok && i < 2; ++i) {
        ok = w.message(rng, {oddChat, odd, appleDate(rng, i, 2), i == 0});
        ++counts.unknownIdentifiers;
        ++counts.messageEvents;
      }
    }
    if (!ok) return errorText(db);
    if (!exec(db,
              "UPDATE ZWACHATSESSION SET ZMESSAGECOUNTER = (SELECT COUNT(*) FROM ZWAMESSAGE m "
              "WHERE m.ZCHATSESSION = ZWACHATSESSION.Z_PK), ZLASTMESSAGEDATE = (SELECT "
              "MAX(ZMESSAGEDATE) FROM ZWAMESSAGE m WHERE m.ZCHATSESSION = ZWACHATSESSION.Z_PK)") ||
        !primaryKeys(db, {{"WAChatSession", w.chats},
                          {"WAGroupMember", w.members},
                          {"WAMediaItem", w.mediaItems},
                          {"WAMessage", w.messages}})) {
      return errorText(db);
    }
    return std::string();
  });
}

std::string writeCalls(const std::string& path, Random& rng, const std::vector<Person>& ps,
                       const WhatsAppOptions& o, WhatsAppCounts& counts) {
  const std::string schema = std::string(kCallSchema) + kCoreDataTables;
  return writeDatabase(path, schema.c_str(), true, [&](sqlite3* db) -> std::string {
    Insert aggregate(db,
                     "INSERT INTO ZWAAGGREGATECALLEVENT (Z_PK, Z_ENT, Z_OPT, ZINCOMING, ZMISSED, "
                     "ZMISSEDREASON, ZREAD, ZVIDEO, ZFIRSTDATE, ZGROUPJIDSTRING) VALUES (?, 1, 1, "
                     "?, ?, 0, 1, ?, ?, ?)");
    Insert event(db,
                 "INSERT INTO ZWACDCALLEVENT (Z_PK, Z_ENT, Z_OPT, ZBYTESRECEIVED, ZBYTESSENT, "
                 "ZOUTCOME, Z1CALLEVENTS, ZDATE, ZDURATION, ZCALLIDSTRING, "
                 "ZGROUPCALLCREATORUSERJIDSTRING, ZGROUPJIDSTRING) VALUES (?, 2, 1, ?, ?, ?, ?, "
                 "?, ?, ?, ?, ?)");
    Insert participant(db,
                       "INSERT INTO ZWACDCALLEVENTPARTICIPANT (Z_PK, Z_ENT, Z_OPT, ZOUTCOME, "
                       "Z1PARTICIPANTS, ZJIDSTRING) VALUES (?, 3, 1, ?, ?, ?)");
    if (!aggregate.ok() || !event.ok() || !participant.ok()) return errorText(db);
    int64_t calls = 0, participants = 0;
    // One call: its aggregate, the event and one participant row per identifier.
    auto call = [&](double date, bool incoming, int outcome, double duration, const char* group,
                    const char* creator, const std::vector<std::string>& jids) {
      const int64_t pk = ++calls;
      const int64_t bytes = outcome == 0 ? static_cast<int64_t>(duration * 12000) : 0;
      const bool video = rng.chance(0.25);
      const std::string id = hexId(rng);
      bool ok = insert(aggregate, pk, incoming, incoming && outcome == 1, video, date, group) &&
                insert(event, pk, bytes, bytes, outcome, pk, date, duration, id, creator, group);
      for (const std::string& jid : jids) {
        ok = ok && insert(participant, ++participants, outcome, pk, jid);
      }
      return ok;
    };
    bool ok = true;
    std::vector<std::vector<int64_t>> times(ps.size());  // each person's call times
    for (int i = 0; ok && !ps.empty() && i < o.calls; ++i) {
      const size_t who = skewed(rng, ps.size());
      const double date = appleDate(rng, i, o.calls);
      const bool incoming = rng.chance(0.5);
      const double u = rng.unit();
      const int outcome = incoming ? (u < 0.7 ? 0 : u < 0.9 ? 1 : 4) : (u < 0.8 ? 0 : 1);
      const double duration = outcome == 0   ? 5 + rng.unit() * 900
                              : outcome == 4 ? 1 + rng.unit() * 3
                                             : 0;
      ok = call(date, incoming, outcome, duration, nullptr, nullptr, {ps[who].callJid()});
      ++counts.calls[who];
      ++counts.callEvents;
      times[who].push_back(static_cast<int64_t>(date));
      if (rng.chance(o.phoneLogShare)) {
        PhoneLogCall copy;
        copy.date = date + rng.unit() * 2;
        copy.time = static_cast<int64_t>(copy.date) + kAppleEpoch;
        copy.duration = outcome == 0 ? duration : 0;
        copy.address = "+" + ps[who].digits;
        copy.originated = !incoming;
        copy.answered = outcome == 0;
        copy.copy = true;
        copy.contact = who;
        counts.phoneLog.push_back(std::move(copy));
      }
    }
    if (ok && !ps.empty()) {
      // Group calls: one the first person started (it counts for them), one the owner did.
      std::vector<std::string> jids;
      for (size_t i = 0; i < std::min<size_t>(ps.size(), 6); ++i) jids.push_back(ps[i].callJid());
      const std::string creator = ps[0].callJid();
      ok = call(appleDate(rng, 1, 3), true, 0, 300, kGroupJid, creator.c_str(), jids) &&
           call(appleDate(rng, 2, 3), false, 0, 120, kGroupJid, kOwnJid, jids);
      ++counts.calls[0];
      counts.callEvents += 2;
      // A call only the phone's log still has: it counts once, from there.
      PhoneLogCall lone;
      lone.date = appleDate(rng, 1, 2);
      auto near = [&](int64_t t) { return std::abs(t - static_cast<int64_t>(lone.date)) < 600; };
      while (std::any_of(times[0].begin(), times[0].end(), near)) lone.date += 3600;
      lone.time = static_cast<int64_t>(lone.date) + kAppleEpoch;
      lone.duration = 42;
      lone.address = "+" + ps[0].digits;
      lone.answered = true;
      counts.phoneLog.push_back(std::move(lone));
      ++counts.calls[0];
    }
    if (!ok || !primaryKeys(db, {{"WAAggregateCallEvent", calls},
                                 {"WACDCallEvent", calls},
                                 {"WACDCallEventParticipant", participants}})) {
      return errorText(db);
    }
    return std::string();
  });
}

std::string writeContacts(const std::string& path, Random& rng, const std::vector<Person>& ps) {
  const std::string schema = std::string(kContactsSchema) + kCoreDataTables;
  return writeDatabase(path, schema.c_str(), true, [&](sqlite3* db) -> std::string {
    Insert row(db,
               "INSERT INTO ZWAADDRESSBOOKCONTACT (Z_PK, Z_ENT, Z_OPT, ZLASTUPDATED, ZFULLNAME, "
               "ZGIVENNAME, ZIDENTIFIER, ZLID, ZPHONENUMBER, ZPHONENUMBERLABEL, ZWHATSAPPID) "
               "VALUES (?, 1, 1, ?, ?, ?, ?, ?, ?, 'mobile', ?)");
    for (size_t i = 0; i < ps.size(); ++i) {
      const char* name = kPartnerNames[i % kPartnerNames.size()];
      const double updated = appleDate(rng, 1, 1);
      const std::string given(name, std::string_view(name).find(' '));
      const std::string id = hexId(rng) + ":ABPerson";
      if (!insert(row, i + 1, updated, name, given, id, ps[i].paired ? ps[i].lid.c_str() : nullptr,
                  "+" + ps[i].digits, ps[i].personJid())) {
        return errorText(db);
      }
    }
    if (!primaryKeys(db, {{"WAAddressBookContact", static_cast<int64_t>(ps.size())}})) {
      return errorText(db);
    }
    return std::string();
  });
}

std::string writeLids(const std::string& path, Random& rng, const std::vector<Person>& ps,
                      const WhatsAppOptions& o, WhatsAppCounts& counts) {
  const std::string schema = std::string(kLidSchema) + kCoreDataTables;
  return writeDatabase(path, schema.c_str(), true, [&](sqlite3* db) -> std::string {
    Insert pair(db,
                "INSERT INTO ZWAPHONENUMBERLIDPAIR (Z_PK, Z_ENT, Z_OPT, ZTIMESTAMP, ZLID, "
                "ZPHONENUMBER) VALUES (?, 1, 1, ?, ?, ?)");
    int64_t pk = 0;
    auto add = [&](double when, const std::string& lid, const std::string& phone) {
      return insert(pair, ++pk, when, lid, phone);
    };
    bool ok = true;
    for (size_t i = 0; ok && i < ps.size(); ++i) {
      if (!ps[i].paired) continue;
      // Both forms of each side occur: with and without the server part.
      const bool full = i % 3 != 2;
      ok = add(appleDate(rng, 1, 1), full ? ps[i].lid : ps[i].lid.substr(0, ps[i].lid.find('@')),
               full ? ps[i].personJid() : ps[i].digits);
    }
    if (ok && !ps.empty() && ps[0].paired) {
      // An older pairing of the first @lid, stored after the newer one.
      ok = add(appleDate(rng, 0, 1) - 86400 * 400, ps[0].lid, "19995550000@s.whatsapp.net");
    }
    if (ok && o.badRows) {
      ok = add(appleDate(rng, 1, 1), "not-a-lid", "+4915112345678");
      ++counts.badLidPairs;
    }
    if (!ok || !primaryKeys(db, {{"WAPhoneNumberLIDPair", pk}})) return errorText(db);
    return std::string();
  });
}

}  // namespace

WhatsAppPaths whatsAppFilesIn(const std::string& folder) {
  return {folder + "/" + kWhatsAppChats.path, folder + "/" + kWhatsAppCalls.path,
          folder + "/" + kWhatsAppContacts.path, folder + "/" + kWhatsAppLids.path};
}

std::string writeWhatsApp(const WhatsAppPaths& paths, const std::vector<std::string>& numbers,
                          const WhatsAppOptions& options, WhatsAppCounts& counts) {
  counts = WhatsAppCounts();
  counts.messages.assign(numbers.size(), 0);
  counts.calls.assign(numbers.size(), 0);
  for (const std::string* path : {&paths.chats, &paths.calls, &paths.contacts, &paths.lids}) {
    std::error_code ec;
    if (std::filesystem::exists(*path, ec) || ec) return *path + ": already exists";
  }
  Random rng(options.seed * 0x9E3779B97F4A7C15ull + 23);
  const std::vector<Person> ps = people(numbers);
  std::string error = writeChats(paths.chats, rng, ps, options, counts);
  if (error.empty()) error = writeCalls(paths.calls, rng, ps, options, counts);
  if (error.empty()) error = writeContacts(paths.contacts, rng, ps);
  if (error.empty()) error = writeLids(paths.lids, rng, ps, options, counts);
  return error;
}

}  // namespace ovra::sample
