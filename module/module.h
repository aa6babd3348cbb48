// The module's face to its host: start-up, the profile command and the
// service table. module/exports.cpp exports these under the host's names.
#pragma once

#include <cstdint>

#include "obexses/obexses.h"

namespace obexses {

// Initialize: 3 for a null core; otherwise 1, running the start-up once.
uint32_t InitializeModule(ICore* core);
// CallProfileCommand: only "QueryDdi" with argument 1 and a table does anything.
void RunProfileCommand(const char16_t* name, uint32_t argument, void* output);
// Writes the 22 service addresses into table, in slot order.
void FillDdi(SessionDdi* table);

}  // namespace obexses
