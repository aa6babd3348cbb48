#include <atomic>

#include "platform/env.h"

namespace obexses::platform {
namespace {
std::atomic<Env*> g_installed_env{nullptr};
}  // namespace

Env* GetEnv() {
  Env* env = g_installed_env.load(std::memory_order_acquire);
  return env != nullptr ? env : Env::Default();
}

void SetEnv(Env* env) {
  g_installed_env.store(env, std::memory_order_release);
}

}  // namespace obexses::platform
