// The module's face to its host: start-up, the profile command and the
// service table. module/exports.cpp exports these under the host's names.
// Nothing here throws: every failure inside ends in the entry point's own
// result.
#pragma once

#include <atomic>
#include <cstdint>

#include "obexses/obexses.h"

namespace obexses {

// 1 once the first successful Initialize has run the start-up.
extern std::atomic<uint32_t> g_initialized;

// Initialize: 3 for a null core; otherwise 1, running the start-up once.
uint32_t InitializeModule(ICore* core) noexcept;
// CallProfileCommand: only "QueryDdi" with argument 1 and a table does anything.
void RunProfileCommand(const char16_t* name, uint32_t argument, void* output) noexcept;
// Writes the 22 service addresses into table, in slot order.
void FillDdi(SessionDdi* table) noexcept;

}  // namespace obexses
