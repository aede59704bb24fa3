// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/memory_block.h"

#include <cstdio>
#include <cstring>

#include <malloc.h>
#include <sys/mman.h>

namespace tg {

namespace {

// Below this size a request is granted without consulting the kernel's memory figures; reading
// them costs a file read, and no ordinary picture comes near it.
constexpr std::size_t kCheckedRequestBytes = std::size_t{256} << 20;

// Reads one "Name:   value kB" line of /proc/meminfo into bytes.
bool meminfoValue(const char* line, const char* name, std::uint64_t& bytes) {
  const std::size_t length = std::strlen(name);
  if (std::strncmp(line, name, length) != 0) return false;
  unsigned long long kib = 0;
  if (std::sscanf(line + length, " %llu", &kib) != 1) return false;
  bytes = static_cast<std::uint64_t>(kib) * 1024u;
  return true;
}

}  // namespace

std::uint64_t backableMemoryBytes() {
  std::FILE* file = std::fopen("/proc/meminfo", "r");
  if (file == nullptr) return 0;
  std::uint64_t available = 0;
  std::uint64_t swapFree = 0;
  bool haveAvailable = false;
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::uint64_t value = 0;
    if (meminfoValue(line, "MemAvailable:", value)) {
      available = value;
      haveAvailable = true;
    } else if (meminfoValue(line, "SwapFree:", value)) {
      swapFree = value;
    }
  }
  std::fclose(file);
  return haveAvailable ? available + swapFree : 0;
}

void* allocateSystemBlock(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  if (bytes >= kCheckedRequestBytes) {
    // The kernel grants large anonymous mappings lazily; a block the machine cannot back would
    // only fail later, when its pages are touched. Refuse it now.
    const std::uint64_t backable = backableMemoryBytes();
    if (backable != 0 && bytes > backable) return nullptr;
  }
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void freeSystemBlock(void* block, std::size_t bytes) {
  if (block == nullptr) return;
  munmap(block, bytes);
}

void compactHeap() { malloc_trim(0); }

}  // namespace tg
