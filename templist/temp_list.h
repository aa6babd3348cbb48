// SPDX-License-Identifier: MIT
// The list of temporary transfer files, tmp_lst, and its clean-up at start-up:
// every listed file that no saved OPP server session names as its object is
// deleted, and the list is written again with the lines that stay.
//
// Cost: a list of more than kMaxListBytes is left alone, as one that cannot
// be read; a smaller one is held once as its text (and once more as the
// lines that stay), and pruned in O((sessions + lines) log sessions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace obexses {

class SessionStore;

// The largest list the clean-up takes: 16 MiB, some 60,000 paths of the
// longest kind.
inline constexpr uint64_t kMaxListBytes = uint64_t{16} << 20;

// Reads tmp_lst in the application-data folder's Velmora folder, removes it,
// deletes every listed file that no OPP server session saved in store names,
// and writes the list again with the files that stay (or leaves it removed
// when none stays). Reports nothing; a step that fails ends the clean-up.
void CleanTempFileList(SessionStore& store) noexcept;

// The files a clean-up keeps: for each object name of a saved OPP server
// session, the first listed file whose last path part is that name, ASCII
// letters without regard to case.
class KeptFiles {
 public:
  void Note(std::u16string_view object_name) noexcept;
  // A name could not be noted (for want of memory): no file may be deleted.
  bool incomplete() const { return incomplete_; }
  // Is this listed path, met in list order, one that stays?
  bool Keeps(std::u16string_view listed_path);

 private:
  std::vector<std::u16string> names_;  // folded; sorted and unique once Keeps is asked
  std::vector<bool> claimed_;
  bool sorted_ = false;
  bool incomplete_ = false;
};

// The enumerate callback: context is a KeptFiles, session an OPP server
// session whose object name it notes.
void MarkKeptTempFile(void* session, void* context) noexcept;

}  // namespace obexses
