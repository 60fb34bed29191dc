// The rows of a later sms.db that are no message a person wrote, as phones of later system
// versions store them beside the messages: reactions to a message ("Liked “ok”") and their
// removals, stickers placed on a message, group and system notices (a member added or
// removed, the group renamed, its photo changed or a member leaving, location sharing, an
// audio message kept, a shared-play notice), messages unsent by their sender; and edited
// messages, which stay one row each. They are written after the messages and drawn from a
// stream of their own, so that the messages themselves come out the same with or without
// them.
#include <array>
#include <string>

#include "sample_databases.h"

namespace ovra::sample {
namespace {

// A reaction's row text: "<verb> “<quoted text>”", or "<verb> an image" for a message
// without text; the verb by associated_message_type (2000-2007 set, 3000-3007 remove).
constexpr std::array<const char*, 8> kReactionVerbs = {
    "Loved",      "Liked",      "Disliked",      "Laughed at",
    "Emphasized", "Questioned", "Reacted %s to", "Reacted with a sticker to"};
constexpr std::array<const char*, 8> kRemovalVerbs = {
    "Removed a heart from", "Removed a like from",         "Removed a dislike from",
    "Removed a laugh from", "Removed an exclamation from", "Removed a question mark from",
    "Removed %s from",      "Removed a sticker from"};
constexpr std::array<const char*, 4> kReactionEmoji = {"😂", "🔥", "🙏", "😍"};
constexpr char kObjectReplacement[] = "\xEF\xBF\xBC";  // U+FFFC: where an attachment sits
constexpr int64_t kSecond = 1000000000;                // dates are in nanoseconds

// One row of the message table besides the messages, and the conversation it is in.
struct Row {
  int64_t chat = 0, handle = 0, date = 0;
  bool fromMe = false;
  const char* text = nullptr;
  std::string ownText;  // when `text` is built
  std::string associatedGuid;
  int64_t associatedType = 0, rangeLength = 0;
  const char* emoji = nullptr;
  int64_t itemType = 0, groupActionType = 0, otherHandle = 0;
  const char* groupTitle = nullptr;
  int64_t shareStatus = 0, shareDirection = 0;
  bool attachment = false;
  int64_t dateRetracted = 0, dateEdited = 0;
};

std::string verbPhrase(const char* verb, const char* emoji, const WrittenMessage& target) {
  std::string text = verb;
  if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, emoji);
  if (target.text == nullptr) return text + " an image";
  return text + " \xE2\x80\x9C" + target.text + "\xE2\x80\x9D";  // “…”
}

}  // namespace

std::string writeNonMessageRows(sqlite3* db, Random& rng,
                                const std::vector<WrittenMessage>& messages,
                                const GroupConversation& group, BackupCounts& counts) {
  if (messages.empty() || group.members.size() < 2) return std::string();
  // Columns of later system versions: edits and unsending (16), emoji reactions (18).
  if (!exec(db,
            "ALTER TABLE message ADD COLUMN date_retracted INTEGER DEFAULT 0;"
            "ALTER TABLE message ADD COLUMN date_edited INTEGER DEFAULT 0;"
            "ALTER TABLE message ADD COLUMN associated_message_emoji TEXT;")) {
    return errorText(db);
  }
  Insert insert(db,
                "INSERT INTO message (guid, text, handle_id, attributedBody, service, date, "
                "date_read, is_delivered, is_finished, is_from_me, is_read, is_sent, "
                "associated_message_guid, associated_message_type, "
                "associated_message_range_location, associated_message_range_length, "
                "associated_message_emoji, item_type, other_handle, group_title, "
                "group_action_type, share_status, share_direction, cache_has_attachments, "
                "date_retracted, date_edited) VALUES (?1, ?2, ?3, ?4, 'iMessage', ?5, ?6, 1, 1, "
                "?7, 1, ?7, ?8, ?9, 0, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20)");
  Insert joined(db,
                "INSERT INTO chat_message_join (chat_id, message_id, message_date) "
                "VALUES (?1, last_insert_rowid(), ?2)");
  Insert edit(db, "UPDATE message SET date_edited = ?2 WHERE guid = ?1");
  if (!insert.ok() || !joined.ok() || !edit.ok()) return errorText(db);

  auto write = [&](const Row& r) {
    const char* text = r.ownText.empty() ? r.text : r.ownText.c_str();
    insert.text(1, randomGuid(rng)).text(2, text).integer(3, r.handle);
    if (text != nullptr && !r.attachment) {
      insert.blob(4, attributedBody(text));
    } else {
      insert.text(4, nullptr);
    }
    insert.integer(5, r.date).integer(6, r.fromMe ? 0 : r.date + 30 * kSecond);
    insert.integer(7, r.fromMe);
    insert.text(8, r.associatedGuid.empty() ? nullptr : r.associatedGuid.c_str());
    insert.integer(9, r.associatedType).integer(10, r.rangeLength).text(11, r.emoji);
    insert.integer(12, r.itemType).integer(13, r.otherHandle).text(14, r.groupTitle);
    insert.integer(15, r.groupActionType).integer(16, r.shareStatus);
    insert.integer(17, r.shareDirection).integer(18, r.attachment);
    insert.integer(19, r.dateRetracted).integer(20, r.dateEdited);
    return insert.run() && joined.integer(1, r.chat).integer(2, r.date).run();
  };
  auto later = [&](int64_t date, int64_t maxSeconds) {
    return date +
           (5 + static_cast<int64_t>(rng.below(static_cast<uint64_t>(maxSeconds)))) * kSecond;
  };
  // Who answers a message in its conversation: the other side.
  auto answer = [&](const WrittenMessage& m, Row& r) {
    r.chat = m.chat;
    r.fromMe = !m.fromMe;
    r.handle = m.handle;
    if (m.chat == group.chat) {
      r.handle = r.fromMe ? 0 : group.members[rng.below(group.members.size())];
    }
  };
  const size_t n = messages.size();

  // Reactions: each kind once, then mostly the six classic ones. Removals take back
  // reactions already made (the first eight, one of each kind, then others).
  struct Reaction {
    Row row;
    size_t kind;
    const WrittenMessage* target;
  };
  std::vector<Reaction> reactions;
  const size_t reactionCount = 8 + n / 64;
  for (size_t i = 0; i < reactionCount; ++i) {
    const size_t kind = i < 8 ? i : (rng.chance(0.9) ? rng.below(6) : 6 + rng.below(2));
    const WrittenMessage& target = messages[rng.below(n)];
    Row r;
    answer(target, r);
    r.date = later(target.date, 7200);
    r.associatedGuid = "p:0/" + target.guid;
    r.associatedType = 2000 + static_cast<int64_t>(kind);
    r.rangeLength = target.text ? static_cast<int64_t>(utf16Units(target.text)) : 1;
    if (kind == 6) r.emoji = rng.pick(kReactionEmoji);
    if (kind == 7) {
      r.text = kObjectReplacement;
      r.attachment = true;
    } else {
      r.ownText = verbPhrase(kReactionVerbs[kind], r.emoji, target);
    }
    if (!write(r)) return errorText(db);
    ++counts.reactions;
    reactions.push_back({std::move(r), kind, &target});
  }
  const size_t removals = 8 + n / 512;  // never more than the reactions
  for (size_t i = 0; i < removals; ++i) {
    const Reaction& taken =
        reactions[i < 8 ? i : 8 + (i - 8) * (reactions.size() - 8) / (removals - 8)];
    Row r = taken.row;
    r.date = later(r.date, 600);
    r.associatedType = 3000 + static_cast<int64_t>(taken.kind);
    r.text = nullptr;
    r.attachment = false;
    r.ownText = verbPhrase(kRemovalVerbs[taken.kind], r.emoji, *taken.target);
    if (!write(r)) return errorText(db);
    ++counts.reactionRemovals;
  }
  // Stickers placed on a message: an attachment row that points at the message.
  for (size_t i = 0; i < 1 + n / 1000; ++i) {
    const WrittenMessage& target = messages[rng.below(n)];
    Row r;
    answer(target, r);
    r.date = later(target.date, 3600);
    r.text = kObjectReplacement;
    r.attachment = true;
    r.associatedGuid = "p:0/" + target.guid;
    r.associatedType = 1000;
    r.rangeLength = target.text ? static_cast<int64_t>(utf16Units(target.text)) : 1;
    if (!write(r)) return errorText(db);
    ++counts.stickers;
  }
  // Notices, each a row without text: the group's in the group, location sharing and a
  // kept audio message in a one-to-one conversation, shared play in either.
  for (size_t i = 0; i < 8 + n / 2000; ++i) {
    const size_t kind = i < 8 ? i : rng.below(8);
    const WrittenMessage& near = messages[rng.below(n)];
    Row r;
    r.date = later(near.date, 3600);
    const size_t actor = rng.below(group.members.size());
    const int64_t member = group.members[actor];
    r.chat = group.chat;
    r.fromMe = rng.chance(0.3);
    r.handle = r.fromMe ? 0 : member;
    switch (kind) {
      case 0:  // a member added
      case 1:  // a member removed
        r.itemType = 1;
        r.groupActionType = static_cast<int64_t>(kind);
        r.otherHandle = group.members[(actor + 1 + rng.below(group.members.size() - 1)) %
                                      group.members.size()];  // someone else
        break;
      case 2:
        r.itemType = 2;
        r.groupTitle = group.title;
        break;
      case 3:  // a member left
        r.itemType = 3;
        r.fromMe = false;
        r.handle = member;
        break;
      case 4:  // the group photo changed
        r.itemType = 3;
        r.groupActionType = 1;
        break;
      case 7:
        r.itemType = 6;
        break;
      default: {  // 5: location sharing started or stopped; 6: an audio message kept
        const WrittenMessage* oneToOne = &near;
        for (size_t k = 0; oneToOne->chat == group.chat && k < n; ++k) {
          oneToOne = &messages[(rng.below(n) + k) % n];
        }
        if (oneToOne->chat == group.chat) continue;
        r.chat = oneToOne->chat;
        r.handle = oneToOne->handle;
        r.itemType = kind == 5 ? 4 : 5;
        r.fromMe = kind == 5 && r.fromMe;  // a kept audio message is the other side's notice
        if (kind == 5) {
          r.shareStatus = static_cast<int64_t>(rng.below(2));
          r.shareDirection = static_cast<int64_t>(rng.below(2));
        }
      }
    }
    if (!write(r)) return errorText(db);
    ++counts.notices;
  }
  // Unsent messages: the row stays, its text gone, with the time it was taken back.
  for (size_t i = 0; i < 1 + n / 2000; ++i) {
    const WrittenMessage& near = messages[rng.below(n)];
    Row r;
    r.chat = near.chat;
    r.handle = near.handle;
    r.fromMe = near.fromMe;
    r.date = later(near.date, 600);
    r.dateEdited = r.dateRetracted = later(r.date, 120);
    if (!write(r)) return errorText(db);
    ++counts.unsent;
  }
  // Edited messages: the same row, with the time of the last edit.
  const size_t edits = 1 + n / 500;
  const size_t stride = n / edits;
  for (size_t i = 0, at = rng.below(std::max<size_t>(stride, 1)); i < edits; ++i, at += stride) {
    size_t k = 0;  // an edit changes a text
    while (k < n && messages[(at + k) % n].text == nullptr) ++k;
    const WrittenMessage& m = messages[(at + k) % n];
    if (!edit.text(1, m.guid).integer(2, later(m.date, 900)).run()) return errorText(db);
    ++counts.edited;
  }
  return std::string();
}

}  // namespace ovra::sample
