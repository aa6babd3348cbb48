#include "templist/temp_list.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

#include "platform/env.h"
#include "records/record_memory.h"
#include "registry/session_store.h"
#include "text/format.h"
#include "text/wide.h"

namespace obexses {
namespace {

constexpr std::u16string_view kFolderName = u"\\Velmora";
constexpr char16_t kListName[] = u"tmp_lst";

// Lines are read into a buffer of the path's size, so one read takes at most
// one unit less.
constexpr size_t kMaxReadUnits = OBEXSES_NAME_UNITS - 1;

// "<app data>\Velmora\tmp_lst" into list_path, creating the Velmora folder on
// the way. Without an application-data folder, or when the path would not
// fit, there is nothing to clean: the clean-up is skipped rather than run at
// the drive's root or on a cut path.
bool MakeListPath(platform::Env* env, char16_t* list_path) {
  std::u16string base;
  if (!env->AppDataFolder(&base) || base.empty() || base.find(u'\0') != std::u16string::npos) {
    return false;
  }
  const size_t length =
      base.size() + kFolderName.size() + 1 + std::u16string_view(kListName).size();
  if (length >= OBEXSES_NAME_UNITS) return false;
  char16_t folder[OBEXSES_NAME_UNITS] = {};
  text::CopyBounded(folder, OBEXSES_NAME_UNITS, base);
  text::AppendBounded(folder, OBEXSES_NAME_UNITS, kFolderName);
  env->CreateFolder(folder);  // it may exist already
  text::FormatBounded(list_path, OBEXSES_NAME_UNITS, u"%s\\%s",
                      static_cast<const char16_t*>(folder), kListName);
  return true;
}

// Units taken by the next wide line read: through the first line break, or
// the buffer's worth when no break comes before.
size_t NextReadLength(std::u16string_view rest) {
  const size_t limit = std::min(rest.size(), kMaxReadUnits);
  const size_t line_break = rest.substr(0, limit).find(u'\n');
  return line_break == std::u16string_view::npos ? limit : line_break + 1;
}

// The entry's text of one read: the buffer's string ends at a NUL that was
// read, and a line break at its end is removed.
std::u16string_view LineOfRead(std::u16string_view read) {
  read = read.substr(0, read.find(u'\0'));
  if (!read.empty() && read.back() == u'\n') read.remove_suffix(1);
  return read;
}

void ReadEntries(std::u16string_view text, TempFileList* list) {
  while (!text.empty()) {
    const size_t length = NextReadLength(text);
    auto entry = std::make_unique<TempFileEntry>();  // zeroed
    text::CopyBounded(entry->m_szPath, OBEXSES_NAME_UNITS, LineOfRead(text.substr(0, length)));
    list->push_back(std::move(entry));
    text.remove_prefix(length);
  }
}

std::u16string_view PathOf(const TempFileEntry& entry) {
  return text::FixedView(entry.m_szPath, OBEXSES_NAME_UNITS);
}

// Deletes the files of the entries that are not kept and releases those
// entries (a file that cannot be deleted is dropped all the same). Returns
// the number of kept entries.
size_t DeleteUnkeptFiles(platform::Env* env, TempFileList* list) {
  size_t kept = 0;
  for (auto& slot : *list) {
    if (slot == nullptr) continue;
    if (slot->m_bKeep != 0) {
      ++kept;
      continue;
    }
    env->RemoveFile(std::u16string(PathOf(*slot)));
    slot.reset();
  }
  return kept;
}

// Writes the remaining entries, one path and a line break each, in order.
void RewriteList(platform::Env* env, const char16_t* list_path, TempFileList* list) {
  std::u16string text;
  for (auto& slot : *list) {
    if (slot == nullptr) continue;
    text.append(PathOf(*slot));
    text.push_back(u'\n');
    slot.reset();
  }
  env->WriteTextFile(list_path, text);  // the kept files go unlisted if it fails
}

void CleanList(SessionStore& store) {
  platform::Env* env = store.env();
  char16_t list_path[OBEXSES_NAME_UNITS] = {};
  if (!MakeListPath(env, list_path)) return;
  std::u16string text;
  if (!env->ReadTextFile(list_path, &text)) return;  // no list: nothing to do
  TempFileList list;
  ReadEntries(text, &list);
  env->RemoveFile(list_path);
  if (list.empty()) return;
  store.EnumServerSession(OBEXSES_PROFILE_OPP, &MarkKeptTempFile, &list);
  if (DeleteUnkeptFiles(env, &list) == 0) return;
  RewriteList(env, list_path, &list);
}

bool IsPathSeparator(char16_t c) {
  return c == u'\\' || c == u'/' || c == u':';
}

// The file name as the shell's PathFindFileNameW finds it: what follows the
// last '\', '/' or ':' that has a character after it other than '\' or '/'.
// So "C:\in\pic.jpg" and "C:pic.jpg" give "pic.jpg", while a trailing
// separator stays with the last name ("C:\in\" gives "in\"), and a path
// without a separator is its own name.
std::u16string_view FileNamePart(std::u16string_view path) {
  size_t start = 0;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    const char16_t next = path[i + 1];
    if (IsPathSeparator(path[i]) && next != u'\\' && next != u'/') start = i + 1;
  }
  return path.substr(start);
}

}  // namespace

void CleanTempFileList(SessionStore& store) noexcept {
  try {
    CleanList(store);
  } catch (...) {
    // Out of memory: the clean-up stops where it is; start-up goes on.
  }
}

void MarkKeptTempFile(void* session, void* context) noexcept {
  if (session == nullptr || context == nullptr) return;
  auto* list = static_cast<TempFileList*>(context);
  if (list->empty()) return;
  const OppServerSession* record = records::AsOpp(static_cast<const ServerSession*>(session));
  const std::u16string_view object =
      text::FixedView(record->internalObjectName, OBEXSES_NAME_UNITS);
  for (auto& slot : *list) {
    if (slot != nullptr && text::EqualsAsciiNoCase(FileNamePart(PathOf(*slot)), object)) {
      slot->m_bKeep = 1;
      return;
    }
  }
}

}  // namespace obexses
