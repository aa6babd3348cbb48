// The list of temporary transfer files (tmp_lst) and its clean-up at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "obexses/obexses.h"

namespace obexses {

class SessionStore;

// One line of tmp_lst.
struct TempFileEntry {
  char16_t m_szPath[OBEXSES_NAME_UNITS];  // the line without its line break, terminated
  uint32_t m_bKeep;                       // 1 once a saved OPP server session names the file
};

// The entries in file order; a slot is emptied when its entry is released.
using TempFileList = std::vector<std::unique_ptr<TempFileEntry>>;

// Reads tmp_lst in the application-data folder's Velmora folder, deletes every
// listed file that no OPP server session saved in store names, and rewrites
// the list with the files that stay (or leaves it deleted when none stays).
void CleanTempFileList(SessionStore& store) noexcept;

// The enumerate callback: context is a TempFileList. Marks the first listed
// entry whose file name equals the OPP server session's object name, without
// regard to ASCII case.
void MarkKeptTempFile(void* session, void* context) noexcept;

}  // namespace obexses
