// SPDX-License-Identifier: MIT
// Failing one allocation on purpose: while armed, the Nth allocation the
// arming thread makes (operator new in every form, malloc, calloc, realloc)
// fails as memory that has run out fails: new throws std::bad_alloc, the C
// functions give null.
#pragma once

namespace obexses::testing {

// The nth allocation from now on this thread fails (n >= 1).
void ArmAllocationFailure(int n);
// Disarms; true when the armed allocation was reached (and failed).
bool DisarmAllocationFailure();

}  // namespace obexses::testing
