// The messenger's queries, built from the tables and columns a file really has: what a
// query needs and lacks, and what it reads as NULL instead.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "backup/whatsapp.h"

namespace ovra::backup {
namespace {

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Collects the result columns of one query in order, with the required columns the file
// lacks and the optional ones read as NULL instead.
class QueryBuilder {
 public:
  explicit QueryBuilder(const Schema& schema) : schema_(schema) {}

  bool has(std::string_view table, std::string_view column) const {
    return schema_.has(table, column);
  }
  bool hasAll(std::string_view table, std::initializer_list<std::string_view> columns) const {
    return std::all_of(columns.begin(), columns.end(),
                       [&](std::string_view c) { return has(table, c); });
  }
  // Notes the column as missing when the table lacks it.
  void require(std::string_view table, std::string_view column) {
    if (!has(table, column)) query_.missing.push_back(std::string(table) + "." + upper(column));
  }
  void absent(std::string_view table, std::string_view column) {
    query_.absent.push_back(std::string(table) + "." + upper(column));
  }
  // Reads `expression` next.
  QueryBuilder& expr(std::string_view expression) {
    if (!columns_.empty()) columns_ += ", ";
    columns_ += expression;
    return *this;
  }
  // Reads alias.COLUMN next; a required column.
  QueryBuilder& need(std::string_view table, std::string_view alias, std::string_view column) {
    require(table, column);
    return expr(std::string(alias) + "." + std::string(column));
  }
  // Reads alias.COLUMN next, or NULL when the table lacks it.
  QueryBuilder& maybe(std::string_view table, std::string_view alias, std::string_view column) {
    if (has(table, column)) return expr(std::string(alias) + "." + std::string(column));
    absent(table, column);
    return expr("NULL");
  }
  // "SELECT" the columns and `rest` (FROM and on), or no SQL when something is missing.
  BuiltQuery finish(std::string_view rest) {
    if (query_.ok()) query_.sql = "SELECT " + columns_ + " " + std::string(rest);
    return std::move(query_);
  }

 private:
  const Schema& schema_;
  std::string columns_;
  BuiltQuery query_;
};

}  // namespace

// ---- Queries -----------------------------------------------------------------------------

void Schema::add(std::string_view table, std::string_view column) {
  const std::string name = upper(table);
  names_.insert(name);
  names_.insert(name + "." + upper(column));
}

bool Schema::hasTable(std::string_view table) const { return names_.contains(upper(table)); }

bool Schema::has(std::string_view table, std::string_view column) const {
  return names_.contains(upper(table) + "." + upper(column));
}

BuiltQuery chatMessagesQuery(const Schema& schema) {
  constexpr std::string_view kMessage = "ZWAMESSAGE", kChat = "ZWACHATSESSION",
                             kMember = "ZWAGROUPMEMBER";
  QueryBuilder q(schema);
  // The partner comes from the chat, or else from the message's own sender and receiver.
  const bool viaChat = q.has(kMessage, "ZCHATSESSION") && q.hasAll(kChat, {"Z_PK", "ZCONTACTJID"});
  const bool viaJids = q.hasAll(kMessage, {"ZFROMJID", "ZTOJID"});
  const bool members = q.has(kMessage, "ZGROUPMEMBER") && q.hasAll(kMember, {"Z_PK", "ZMEMBERJID"});
  q.need(kMessage, "m", "Z_PK")
      .need(kMessage, "m", "ZMESSAGEDATE")
      .need(kMessage, "m", "ZISFROMME")
      .need(kMessage, "m", "ZMESSAGETYPE")
      .maybe(kMessage, "m", "ZGROUPEVENTTYPE")
      .maybe(kMessage, "m", "ZTEXT");
  if (viaChat || !viaJids) {
    q.require(kMessage, "ZCHATSESSION");
    q.require(kChat, "Z_PK");
    q.need(kChat, "c", "ZCONTACTJID").maybe(kChat, "c", "ZPARTNERNAME");
  } else {
    q.absent(kChat, "ZCONTACTJID");
    q.expr("NULL").expr("NULL");
  }
  if (members) {
    q.expr("g.ZMEMBERJID").maybe(kMember, "g", "ZCONTACTNAME");
  } else {
    q.absent(kMember, "ZMEMBERJID");
    q.expr("NULL").expr("NULL");
  }
  q.maybe(kMessage, "m", "ZFROMJID").maybe(kMessage, "m", "ZTOJID");
  if (viaChat) {
    q.maybe(kChat, "c", "ZCONTACTIDENTIFIER");
  } else {
    q.expr("NULL");
  }
  q.expr(viaChat ? "m.ZCHATSESSION" : "NULL").expr(members ? "m.ZGROUPMEMBER" : "NULL");
  std::string from = "FROM ZWAMESSAGE m";
  if (viaChat) from += " LEFT JOIN ZWACHATSESSION c ON c.Z_PK = m.ZCHATSESSION";
  if (members) from += " LEFT JOIN ZWAGROUPMEMBER g ON g.Z_PK = m.ZGROUPMEMBER";
  return q.finish(from);
}

BuiltQuery messengerCallsQuery(const Schema& schema) {
  constexpr std::string_view kEvent = "ZWACDCALLEVENT", kAggregate = "ZWAAGGREGATECALLEVENT",
                             kParticipant = "ZWACDCALLEVENTPARTICIPANT";
  QueryBuilder q(schema);
  const bool aggregate = q.has(kEvent, "Z1CALLEVENTS") && q.has(kAggregate, "Z_PK");
  // A flag of the aggregate; some versions keep it on the event itself.
  auto flag = [&](std::string_view column) {
    if (aggregate && q.has(kAggregate, column)) return q.expr("a." + std::string(column));
    if (q.has(kEvent, column)) return q.expr("e." + std::string(column));
    q.absent(kAggregate, column);
    return q.expr("NULL");
  };
  q.need(kEvent, "e", "Z_PK")
      .need(kEvent, "e", "ZDATE")
      .maybe(kEvent, "e", "ZDURATION")
      .maybe(kEvent, "e", "ZOUTCOME");
  flag("ZINCOMING");
  flag("ZMISSED");
  flag("ZVIDEO");
  q.require(kParticipant, "Z1PARTICIPANTS");
  q.require(kParticipant, "ZJIDSTRING");
  q.expr("MIN(p.ZJIDSTRING)")
      .expr("COUNT(p.ZJIDSTRING)")
      .maybe(kEvent, "e", "ZGROUPJIDSTRING")
      .maybe(kEvent, "e", "ZGROUPCALLCREATORUSERJIDSTRING");
  std::string from = "FROM ZWACDCALLEVENT e";
  if (aggregate) from += " LEFT JOIN ZWAAGGREGATECALLEVENT a ON a.Z_PK = e.Z1CALLEVENTS";
  from += " LEFT JOIN ZWACDCALLEVENTPARTICIPANT p ON p.Z1PARTICIPANTS = e.Z_PK GROUP BY e.Z_PK";
  return q.finish(from);
}

BuiltQuery lidPairsQuery(const Schema& schema) {
  constexpr std::string_view kPair = "ZWAPHONENUMBERLIDPAIR";
  QueryBuilder q(schema);
  q.need(kPair, "l", "ZLID").need(kPair, "l", "ZPHONENUMBER");
  // Oldest first, so that a later pairing of the same identifier wins.
  std::string from = "FROM ZWAPHONENUMBERLIDPAIR l";
  if (q.has(kPair, "ZTIMESTAMP")) from += " ORDER BY l.ZTIMESTAMP";
  if (q.has(kPair, "Z_PK")) from += q.has(kPair, "ZTIMESTAMP") ? ", l.Z_PK" : " ORDER BY l.Z_PK";
  return q.finish(from);
}

BuiltQuery phoneLogMessengerCallsQuery(const Schema& schema) {
  constexpr std::string_view kRecord = "ZCALLRECORD";
  QueryBuilder q(schema);
  q.need(kRecord, "c", "Z_PK");
  q.require(kRecord, "ZADDRESS");
  q.expr("CAST(c.ZADDRESS AS TEXT)").need(kRecord, "c", "ZDATE").maybe(kRecord, "c", "ZDURATION");
  // The provider alone tells the messenger's calls (they carry ZCALLTYPE 0, but a call
  // the messenger placed is its call whatever the type says).
  q.require(kRecord, "ZSERVICE_PROVIDER");
  return q.finish(
      "FROM ZCALLRECORD c WHERE c.ZSERVICE_PROVIDER IN "
      "('net.whatsapp.WhatsApp', 'net.whatsapp.WhatsAppSMB')");
}

bool isMessengerProvider(std::string_view provider) {
  return provider == "net.whatsapp.WhatsApp" || provider == "net.whatsapp.WhatsAppSMB";
}

}  // namespace ovra::backup
