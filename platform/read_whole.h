// SPDX-License-Identifier: MIT
// How both backends read a whole file into a ReadTarget, written once: room
// for the size the file had when opened and one byte more, so that its end is
// seen in one go; grown by half while the file grows meanwhile, and refused
// once it holds more than limit. Only the backends include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/env.h"
#include "platform/status.h"

namespace obexses::platform {

// read_some(buffer, count, &n) reads at most count bytes into buffer and sets
// n (0 at the end), or gives the system's failure.
template <typename ReadSome>
Status ReadWhole(uint64_t size, uint64_t limit, ReadTarget* target, ReadSome read_some) {
  if (size > limit) return Status(Status::Kind::kTooLarge, 0);
  size_t room = static_cast<size_t>(size) + 1;
  char* buffer = target->Room(room);
  size_t used = 0;
  for (;;) {
    if (used == room) {
      if (room > limit) return Status(Status::Kind::kTooLarge, 0);
      room += room / 2 + 4096;
      buffer = target->Room(room);
    }
    size_t n = 0;
    const Status status = read_some(buffer + used, room - used, &n);
    if (!status.ok()) return status;
    if (n == 0) break;
    used += n;
  }
  if (used > limit) return Status(Status::Kind::kTooLarge, 0);
  target->Read(used);
  return Status();
}

}  // namespace obexses::platform
