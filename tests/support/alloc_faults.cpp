// SPDX-License-Identifier: MIT
// The replaceable global operator new, and malloc, calloc and realloc through
// the linker's --wrap, count the arming thread's allocations.
#include "tests/support/alloc_faults.h"

#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
}

namespace {

thread_local int t_countdown = 0;  // 0: not armed
thread_local bool t_failed = false;

// True when this allocation is the one to fail.
bool FailsNow() {
  if (t_countdown == 0 || --t_countdown != 0) return false;
  t_failed = true;
  return true;
}

void* NewBlock(size_t size) {
  void* block = FailsNow() ? nullptr : __real_malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* NewBlockNothrow(size_t size) noexcept {
  return FailsNow() ? nullptr : __real_malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace obexses::testing {

void ArmAllocationFailure(int n) {
  t_failed = false;
  t_countdown = n;
}

bool DisarmAllocationFailure() {
  t_countdown = 0;
  return t_failed;
}

}  // namespace obexses::testing

extern "C" {
void* __wrap_malloc(size_t size) {
  return FailsNow() ? nullptr : __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
  return FailsNow() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
  return FailsNow() ? nullptr : __real_realloc(block, size);
}
}

void* operator new(size_t size) {
  return NewBlock(size);
}
void* operator new[](size_t size) {
  return NewBlock(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return NewBlockNothrow(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return NewBlockNothrow(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
  std::free(block);
}
