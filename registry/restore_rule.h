// SPDX-License-Identifier: MIT
// What a restore keeps of the sessions of a file, and why it drops the
// others. In file order, a session is kept when its layout is known, it was
// created after the threshold (now minus ObexSesObsoleteTime), it has a key,
// and no session before it in the file was kept with that key. The restores
// judge by it, and so does obexsesctl, to say what the next start-up does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

#include "obexses/client_session.h"
#include "obexses/server_session.h"
#include "registry/keys.h"
#include "registry/store_state.h"

namespace obexses {

enum class Fate {
  kKept,
  kUnreadable,   // an element of no known layout
  kObsolete,     // created at or before the threshold
  kNoKey,        // a client session without a name
  kRepeatedKey,  // a session before it was kept with its key
};

// Sessions created at or before the threshold are obsolete.
inline int64_t ObsoleteThreshold(int64_t now, uint32_t age) {
  return now - static_cast<int64_t>(age);
}

template <typename Record>
struct KeyOfRecord;
template <>
struct KeyOfRecord<ClientSession> {
  using Text = ClientKeyText;
  static Text Of(const ClientSession* record) { return ClientRecordKey(record); }
};
template <>
struct KeyOfRecord<ServerSession> {
  using Text = ServerKeyText;
  static Text Of(const ServerSession* record) { return ServerKeyOf(record->session_id); }
};

template <typename Record>
class RestoreRule {
 public:
  using Key = typename KeyOfRecord<Record>::Text;

  // threshold is asked once, when the first session of a known layout is
  // judged (a file without one never needs the age).
  explicit RestoreRule(std::function<int64_t()> threshold) : threshold_(std::move(threshold)) {}

  // The fate of the next session of the file (null: of no known layout).
  // *key receives its key once it was made (kept or repeated); a kept one's
  // key is remembered. Throws std::bad_alloc when memory runs out, having
  // remembered nothing.
  Fate Judge(const Record* record, Key* key) {
    const Fate fate = JudgeAlone(record, key);
    if (fate != Fate::kKept) return fate;
    return kept_.emplace(key->view()).second ? Fate::kKept : Fate::kRepeatedKey;
  }

  // The same for a caller that remembers the keys kept itself (filing each
  // kept session under its key): the fate by the session alone, its key in
  // *key once made. kKept then means kept unless a session before it was
  // kept with that key (kRepeatedKey).
  Fate JudgeAlone(const Record* record, Key* key) {
    if (record == nullptr) return Fate::kUnreadable;
    if (!threshold_set_) {
      threshold_value_ = threshold_();
      threshold_set_ = true;
    }
    if (threshold_value_ >= record->create_time_stamp) return Fate::kObsolete;
    *key = KeyOfRecord<Record>::Of(record);
    return key->empty() ? Fate::kNoKey : Fate::kKept;
  }

 private:
  std::function<int64_t()> threshold_;
  int64_t threshold_value_ = 0;
  bool threshold_set_ = false;
  std::unordered_set<std::u16string, KeyHash, std::equal_to<>> kept_;
};

}  // namespace obexses
