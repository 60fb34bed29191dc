// WhatsApp's databases in a phone backup: how its identifiers (JIDs) read, the queries for
// ChatStorage.sqlite, CallHistory.sqlite and LID.sqlite built from the columns a file
// really has, which rows are messages, the conversion of rows into timeline events
// ("whatsapp" messages and "call"s), and the rule that counts a call once when the phone's
// own call log records it too. Pure functions on plain values, any thread; only a
// PartnerCache holds state, for one reading on one thread.
// Row structs hold views into the texts they were read from, which must outlive them.
#ifndef OVRA_BACKUP_WHATSAPP_H_
#define OVRA_BACKUP_WHATSAPP_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra::backup {

// Where the messenger keeps its databases: the app-group domain (the business variant has
// its own) and the paths inside it.
inline constexpr char kWhatsAppDomain[] = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
inline constexpr char kWhatsAppBusinessDomain[] =
    "AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared";
inline constexpr char kChatStorageFile[] = "ChatStorage.sqlite";
inline constexpr char kMessengerCallsFile[] = "CallHistory.sqlite";
inline constexpr char kMessengerContactsFile[] = "ContactsV2.sqlite";
inline constexpr char kLidFile[] = "LID.sqlite";

inline constexpr char kWhatsAppEventType[] = "whatsapp";
inline constexpr char kCallEventType[] = "call";

// ---- Identifiers -------------------------------------------------------------------------

// What an identifier ("user@server") names, by its server part:
// "s.whatsapp.net" a person, "g.us" a group, "status" and "broadcast" the status feed and
// broadcast lists, "lid" a person known by an identifier without a number.
enum class JidKind { kPerson, kGroup, kStatus, kBroadcast, kLid, kUnknown };

struct Jid {
  JidKind kind = JidKind::kUnknown;
  std::string_view user;  // the part before "@"; for a person the country code and number
};

// A person's and a @lid's user part must be digits only, a group's must not be empty;
// anything else (no "@", another server, a device suffix "491511234:5@...") is kUnknown.
Jid classifyJid(std::string_view jid);

// Numbers paired with @lid identifiers (LID.sqlite's ZWAPHONENUMBERLIDPAIR).
struct LidPair {
  std::string_view lid;    // "123456789012345@lid" or its digits
  std::string_view phone;  // "4915112345678@s.whatsapp.net", "+4915112345678" or digits
};

class LidMap {
 public:
  // Keeps the pair; a later pair for the same @lid replaces an earlier one. False (and
  // nothing kept) when either side is of no known form.
  bool add(LidPair pair);
  // The number (digits) paired with a @lid's user part, or none.
  std::optional<std::string_view> number(std::string_view lidUser) const;
  // Takes every pair of `later`, which replace pairs of the same @lid here.
  void addAll(const LidMap& later);
  size_t size() const { return numbers_.size(); }

 private:
  // Found by a view of the identifier, without a copy of it.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> numbers_;
};

// ---- Queries -----------------------------------------------------------------------------

// The tables and columns one database has, from the rows of kSchemaQuery (table name,
// column name). Names compare without regard to case.
class Schema {
 public:
  void add(std::string_view table, std::string_view column);
  bool hasTable(std::string_view table) const;
  bool has(std::string_view table, std::string_view column) const;

 private:
  std::set<std::string> names_;  // "TABLE" and "TABLE.COLUMN", upper case
};

// Every table of a database with each of its columns: rows of (table, column).
inline constexpr char kSchemaQuery[] =
    "SELECT t.name, c.name FROM sqlite_master t, pragma_table_info(t.name) c "
    "WHERE t.type = 'table'";

struct BuiltQuery {
  std::string sql;                   // "" when something required is missing
  std::vector<std::string> missing;  // required "TABLE.COLUMN"s the file lacks
  std::vector<std::string> absent;   // optional ones it lacks; the query reads NULL instead
  bool ok() const { return missing.empty(); }
};

// ChatStorage.sqlite: one row per ZWAMESSAGE row, with its chat and group sender; columns
// as ChatRow lists them. Needs the message's Z_PK, ZMESSAGEDATE, ZISFROMME and
// ZMESSAGETYPE, and either its chat (ZCHATSESSION → ZWACHATSESSION.ZCONTACTJID) or its
// ZFROMJID and ZTOJID.
BuiltQuery chatMessagesQuery(const Schema& schema);
// CallHistory.sqlite: one row per ZWACDCALLEVENT, with its participants
// (ZWACDCALLEVENTPARTICIPANT.Z1PARTICIPANTS → the event) and the direction, video and
// missed flags of its aggregate (ZWACDCALLEVENT.Z1CALLEVENTS → ZWAAGGREGATECALLEVENT);
// columns as CallRow lists them.
BuiltQuery messengerCallsQuery(const Schema& schema);
// LID.sqlite (in some versions ChatStorage.sqlite): ZLID, ZPHONENUMBER, oldest pair first.
BuiltQuery lidPairsQuery(const Schema& schema);
// CallHistory.storedata, the phone's own call log: the messenger's calls in it (ZCALLTYPE
// 0, ZSERVICE_PROVIDER the messenger's bundle) as Z_PK, address, date (seconds since
// 2001), duration.
BuiltQuery phoneLogMessengerCallsQuery(const Schema& schema);

// True for the messenger's bundle identifiers, as the phone's call log names providers.
bool isMessengerProvider(std::string_view provider);

// ---- Rows --------------------------------------------------------------------------------

// One row of chatMessagesQuery(), in its column order.
struct ChatRow {
  int64_t id = 0;                      // ZWAMESSAGE.Z_PK
  std::optional<double> date;          // ZMESSAGEDATE, seconds since 2001-01-01 UTC
  bool fromMe = false;                 // ZISFROMME
  std::optional<int64_t> messageType;  // ZMESSAGETYPE; none when NULL or not a number
  int64_t groupEventType = 0;          // ZGROUPEVENTTYPE; 0 when NULL
  std::string_view text;               // ZTEXT
  std::string_view chatJid;            // ZWACHATSESSION.ZCONTACTJID
  std::string_view partnerName;        // ZWACHATSESSION.ZPARTNERNAME
  std::string_view memberJid;          // ZWAGROUPMEMBER.ZMEMBERJID of a group message's sender
  std::string_view memberName;         // ZWAGROUPMEMBER.ZCONTACTNAME
  std::string_view fromJid;            // ZWAMESSAGE.ZFROMJID
  std::string_view toJid;              // ZWAMESSAGE.ZTOJID
  std::string_view chatIdentifier;     // ZWACHATSESSION.ZCONTACTIDENTIFIER (a @lid chat's number)
  int64_t chatId = 0;                  // ZWAMESSAGE.ZCHATSESSION; 0 when NULL
  int64_t memberId = 0;                // ZWAMESSAGE.ZGROUPMEMBER; 0 when NULL
};
inline constexpr size_t kChatRowColumns = 15;

// One row of messengerCallsQuery(), in its column order.
struct CallRow {
  int64_t id = 0;                   // ZWACDCALLEVENT.Z_PK
  std::optional<double> date;       // ZDATE, seconds since 2001-01-01 UTC
  std::optional<double> duration;   // ZDURATION, seconds
  std::optional<int64_t> outcome;   // ZOUTCOME: 0 ended, 1 missed, 4 rejected
  std::optional<bool> incoming;     // ZINCOMING
  std::optional<bool> missed;       // ZMISSED
  bool video = false;               // ZVIDEO
  std::string_view participantJid;  // the participant's ZJIDSTRING (the smallest, if several)
  int64_t participants = 0;         // participant rows
  std::string_view groupJid;        // ZGROUPJIDSTRING, set for a group call
  std::string_view creatorJid;      // ZGROUPCALLCREATORUSERJIDSTRING
};
inline constexpr size_t kCallRowColumns = 11;

// One row of phoneLogMessengerCallsQuery(), or any call in the phone's own log.
struct CallStamp {
  int64_t id = 0;  // ZCALLRECORD.Z_PK
  int32_t time = 0;
  int32_t duration = 0;
  std::string address;
};

// The rows from the texts the query wrapper gives (numbers as decimal text, NULL as "");
// missing trailing texts read as "". A CallStamp without a date is none.
ChatRow chatRowFromTexts(std::span<const std::string_view> texts);
CallRow callRowFromTexts(std::span<const std::string_view> texts);
LidPair lidPairFromTexts(std::span<const std::string_view> texts);
std::optional<CallStamp> callStampFromTexts(std::span<const std::string_view> texts);

// A number's text as SQLite writes it (leading and trailing blanks allowed); none for
// "", NULL or anything else.
std::optional<double> parseReal(std::string_view text);
std::optional<int64_t> parseInteger(std::string_view text);

// ---- Events ------------------------------------------------------------------------------

// Seconds since 1970 of a date in seconds since 2001-01-01 UTC: rounded down, and clamped
// to the signed 32-bit range like the phone's other dates. None for no date, NaN or an
// infinity.
std::optional<int32_t> unixTimeFromAppleDate(std::optional<double> seconds);

enum class MessageKind { kMessage, kNotice, kUnknownType };
// ZMESSAGETYPE 0 text, 1 image, 2 video, 3 audio, 4 contact card, 5 location, 7 link,
// 8 document, 11 GIF, 15 sticker, 46 poll, 66 album are messages; 6 group event, 10
// system notice, 14 deleted for everyone, 59 call placed (the call log has the call)
// are notices, and so is any row with a non-zero ZGROUPEVENTTYPE. Other types (and
// none) are not counted: the known system rows outnumber the known message kinds, and a
// notice counted as a message would misstate who writes to whom.
MessageKind classifyMessage(std::optional<int64_t> messageType, int64_t groupEventType);

// One event as the timeline needs it.
struct WhatsAppEvent {
  std::string type;  // kWhatsAppEventType or kCallEventType
  int64_t id = 0;    // the row's Z_PK
  // The person's number (digits, country code first), else their name, else the
  // identifier as stored; "" for a message the owner sent to a group or a group call they
  // placed (counted for no member).
  std::string address;
  // True when `address` has been through a PartnerCache's finishing rule already.
  bool addressFinished = false;
  // The chat partner's or group sender's name, for matching by full name, and the message
  // text ("" for calls): views of the row's texts, valid while the row is.
  std::string_view name;
  std::string_view text;
  int32_t time = 0;      // seconds since 1970 UTC
  int flags = 0;         // messages 3 from the owner, 2 otherwise; calls 5 outgoing, 4 incoming
  int32_t duration = 0;  // calls: whole seconds, 0 when missed or rejected; messages 0
};

// The record texts of an event, in the order of the phone's own message and call rows:
// id, address, time, text (a call's duration), flags; the numbers written into `digits`.
struct RecordDigits {
  char id[24], time[16], duration[16], flags[16];
};
std::array<std::string_view, 5> recordTexts(const WhatsAppEvent& event, RecordDigits& digits);

// What a conversion passed over, for one summary line per database.
struct ConvertCounts {
  size_t events = 0;
  size_t notices = 0;       // rows that are not messages
  size_t unknownTypes = 0;  // rows of message types not known
  size_t skipped = 0;       // status updates and broadcast lists
  size_t noDate = 0;        // bad input: rows without a usable date (dropped)
  // Bad input: identifiers missing or of no known form, LID pairs that could not be read.
  // Their events stay, addressed by name or by the identifier as stored, and match nobody
  // unless the name does.
  size_t unknownIdentifiers = 0;
};

// The message event of a chat row, or none (a notice, an unknown type, the status feed or
// a broadcast list, no date). A message in a one-to-one chat counts for the partner; one
// received in a group for its sender; one sent to a group for no member. @lid identifiers
// take their paired number from `lids`.
std::optional<WhatsAppEvent> messageEvent(const ChatRow& row, const LidMap& lids,
                                          ConvertCounts& counts);

// The partner of each chat and the sender behind each group member, found once: the rows
// of one chat share their chat's and member's rows. Kept by the chat's and the member's
// Z_PK; an address found goes through `finish` (the reader's number rule) before it is
// kept, and events given it say so. For one reading of one file.
class PartnerCache {
 public:
  using Finish = std::string (*)(std::string_view address);
  explicit PartnerCache(Finish finish) : finish_(finish) {}

  struct Partner {
    bool found = false;
    JidKind kind = JidKind::kUnknown;
    bool unknownIdentifier = false;  // counted once per event, as without the cache
    std::string address;             // finished; unused for a group or a feed
  };
  // The chat's partner, by the row's ZCHATSESSION, or null when its id cannot be kept.
  const Partner* chat(const ChatRow& row, const LidMap& lids);
  // The group sender, by the row's ZGROUPMEMBER, or null when its id cannot be kept.
  const Partner* member(const ChatRow& row, const LidMap& lids);

 private:
  // Ids past this are found row by row: a hostile file cannot make the tables large.
  static constexpr int64_t kMaxId = 1 << 16;
  Partner* slot(std::vector<Partner>& table, int64_t id);
  Partner found(JidKind kind, std::string_view jid, std::string_view name, std::string_view alt,
                const LidMap& lids) const;

  Finish finish_;
  std::vector<Partner> chats_, members_;
};

// messageEvent(), finding partners through `cache`.
std::optional<WhatsAppEvent> messageEvent(const ChatRow& row, const LidMap& lids,
                                          ConvertCounts& counts, PartnerCache& cache);

// The call event of a call row, or none (no date). A one-to-one call counts for its
// participant; a group call for whoever started it, or for no member when the owner did.
// A call of unknown direction counts as incoming.
std::optional<WhatsAppEvent> callEvent(const CallRow& row, const LidMap& lids,
                                       ConvertCounts& counts);

// "ChatStorage.sqlite: 2 messages without a date, 1 identifier of unknown form, ..."
// naming what was passed over as bad (or of unknown type); "" when nothing was.
std::string badInputSummary(std::string_view database, const ConvertCounts& counts);

// ---- Calls recorded twice ----------------------------------------------------------------

// How far apart the two logs' start times of one call may lie. Both are written on the
// same phone for the same call: an outgoing call is logged by both at the tap, an
// incoming one when the offer arrives and the phone rings; what separates the two is the
// time between the messenger hearing of the call and reporting it to the phone, seconds
// at most. The window is wider than that because pairs are taken one to one, nearest
// first: two calls to one person half a minute apart are still told apart as long as
// both logs hold both.
inline constexpr int32_t kSameCallSeconds = 30;

// For each call of the phone's log (its copies of the messenger's calls): true when it
// is the copy of a call in the messenger's own log, which then counts it alone. A pair
// needs starts at most `tolerance` seconds apart and the same number (the last nine
// digits) where both sides name one; a side without a number (an unpaired @lid, a
// name) pairs by time alone. Each call pairs at most once, the closest starts first.
std::vector<bool> phoneLogCopies(std::span<const CallStamp> messengerCalls,
                                 std::span<const CallStamp> phoneLogCalls,
                                 int32_t tolerance = kSameCallSeconds);

// A messenger call event as phoneLogCopies() takes it.
inline CallStamp stampOf(const WhatsAppEvent& call) {
  return CallStamp{call.id, call.time, call.duration, call.address};
}

}  // namespace ovra::backup

#endif  // OVRA_BACKUP_WHATSAPP_H_
