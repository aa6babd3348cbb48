// SPDX-License-Identifier: MIT
#include "templist/temp_list.h"

#include <algorithm>

#include "platform/durable_file.h"
#include "platform/env.h"
#include "platform/file_names.h"
#include "records/record_memory.h"
#include "registry/session_store.h"
#include "text/wide.h"

namespace obexses {
namespace {

// Lines are read into a buffer of a path's size, so one read takes at most
// 259 units; the rest of a longer line is the next line.
constexpr size_t kMaxReadUnits = OBEXSES_NAME_UNITS - 1;

// Units taken by the next line read: through the first line break, or the
// buffer's worth when no break comes before.
size_t NextReadLength(std::u16string_view rest) {
  const size_t limit = std::min(rest.size(), kMaxReadUnits);
  const size_t line_break = rest.substr(0, limit).find(u'\n');
  return line_break == std::u16string_view::npos ? limit : line_break + 1;
}

// The path of one read: it ends at a zero unit that was read, and a line
// break at its end is not part of it.
std::u16string_view PathOfRead(std::u16string_view read) {
  read = read.substr(0, read.find(u'\0'));
  if (!read.empty() && read.back() == u'\n') read.remove_suffix(1);
  return read;
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

std::u16string Folded(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = text::FoldAscii(c);
  return folded;
}

// Orders a folded name before a name as it stands, folding that one unit by
// unit, so that a listed name needs no copy to be looked up.
bool FoldedBefore(const std::u16string& folded, std::u16string_view name) {
  const size_t common = std::min(folded.size(), name.size());
  for (size_t i = 0; i < common; ++i) {
    const char16_t c = text::FoldAscii(name[i]);
    if (folded[i] != c) return folded[i] < c;
  }
  return folded.size() < name.size();
}

bool FoldedEqual(const std::u16string& folded, std::u16string_view name) {
  return folded.size() == name.size() &&
         std::equal(folded.begin(), folded.end(), name.begin(),
                    [](char16_t a, char16_t b) { return a == text::FoldAscii(b); });
}

// Deletes the files of the lines that do not stay; gives the lines that do,
// each with a line break.
std::u16string Prune(platform::Env* env, std::u16string_view text, KeptFiles* kept) {
  std::u16string staying;
  std::u16string doomed;
  while (!text.empty()) {
    const size_t length = NextReadLength(text);
    const std::u16string_view path = PathOfRead(text.substr(0, length));
    if (kept->Keeps(path)) {
      staying.append(path);
      staying.push_back(u'\n');
    } else {
      doomed.assign(path);
      env->Remove(doomed);  // a file already gone is dropped all the same
    }
    text.remove_prefix(length);
  }
  return staying;
}

void CleanList(SessionStore& store) {
  platform::Env* env = store.env();
  std::u16string app_data;
  // Without an application-data folder, or when the list's path would not
  // fit, there is nothing to clean: the clean-up is skipped rather than run
  // at the drive's root or on a cut path.
  if (!env->AppDataFolder(&app_data).ok()) return;
  const std::u16string list_path = platform::names::TempListPath(app_data);
  if (list_path.empty()) return;
  env->CreateFolder(platform::names::VendorFolder(app_data));  // it may exist already
  std::string bytes;
  platform::StringTarget<std::string> target(&bytes);
  if (!env->ReadFile(list_path, kMaxListBytes, &target).ok()) return;  // none, or left alone
  const std::u16string text = env->DecodeText(bytes);
  std::string().swap(bytes);
  env->Remove(list_path);
  if (text.empty()) return;
  KeptFiles kept;
  // Unless every session's name is known, no file is deleted: they stay, unlisted.
  if (store.EnumServerSession(OBEXSES_PROFILE_OPP, &MarkKeptTempFile, &kept) == 0 ||
      kept.incomplete()) {
    return;
  }
  const std::u16string staying = Prune(env, text, &kept);
  // The files that stay go unlisted when the list cannot be written.
  if (!staying.empty()) platform::ReplaceFileLocked(env, list_path, env->EncodeText(staying));
}

}  // namespace

void KeptFiles::Note(std::u16string_view object_name) noexcept {
  try {
    names_.push_back(Folded(object_name));
  } catch (...) {
    incomplete_ = true;  // out of memory
  }
  sorted_ = false;
}

bool KeptFiles::Keeps(std::u16string_view listed_path) {
  if (!sorted_) {
    std::sort(names_.begin(), names_.end());
    names_.erase(std::unique(names_.begin(), names_.end()), names_.end());
    claimed_.assign(names_.size(), false);
    sorted_ = true;
  }
  const std::u16string_view name = FileNamePart(listed_path);
  auto found = std::lower_bound(names_.begin(), names_.end(), name, FoldedBefore);
  if (found == names_.end() || !FoldedEqual(*found, name)) return false;
  const auto index = static_cast<size_t>(found - names_.begin());
  if (claimed_[index]) return false;
  claimed_[index] = true;
  return true;
}

void CleanTempFileList(SessionStore& store) noexcept {
  try {
    CleanList(store);
  } catch (...) {
    // Out of memory: the clean-up stops where it is; start-up goes on.
  }
}

void MarkKeptTempFile(void* session, void* context) noexcept {
  if (session == nullptr || context == nullptr) return;
  const OppServerSession* record = records::AsOpp(static_cast<const ServerSession*>(session));
  static_cast<KeptFiles*>(context)->Note(
      text::FixedView(record->internalObjectName, OBEXSES_NAME_UNITS));
}

}  // namespace obexses
