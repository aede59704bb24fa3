// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cpu_features.h"

namespace tg {

bool cpuHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  // The processor's features are read here in case this runs before the start-up code that
  // normally reads them (a static initialiser of another file).
  static const bool available = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
  return available;
#else
  return false;
#endif
}

}  // namespace tg
