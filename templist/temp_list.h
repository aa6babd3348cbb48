// The list of temporary transfer files (tmp_lst) and its clean-up at start-up.
#pragma once

namespace obexses {

// Reads tmp_lst in the application-data folder's Velmora folder, deletes every
// listed file that no saved OPP server session names, and rewrites the list
// with the files that stay (or leaves it deleted when none stays).
void CleanTempFileList();

// The enumerate callback: marks the first listed entry whose file name equals
// the OPP server session's object name, without regard to ASCII case.
void MarkKeptTempFile(void* session, void* context);

}  // namespace obexses
