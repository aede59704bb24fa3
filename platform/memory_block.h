// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace tg {

/// Reserves and commits `bytes` bytes of zero-filled, readable and writable memory straight from
/// the operating system (an anonymous private mapping), bypassing the heap so that large blocks
/// never fragment it and return to the system as soon as they are freed. Returns nullptr when the
/// system refuses, when `bytes` is 0, or when the request is larger than the memory the machine
/// can back at the moment (free RAM and swap): such a request is refused up front instead of
/// being granted lazily and failing later when its pages are touched. Any thread may call it.
[[nodiscard]] void* allocateSystemBlock(std::size_t bytes);

/// Returns a block obtained from `allocateSystemBlock`; `bytes` is the size that was requested.
/// A null block is ignored. Any thread may call it.
void freeSystemBlock(void* block, std::size_t bytes);

/// Hands the heap's free memory back to the operating system (done before memory-hungry stages
/// such as rendering). Any thread may call it.
void compactHeap();

/// The memory the machine can back right now, in bytes: available RAM plus free swap, as the
/// kernel reports it. Returns 0 when it cannot be determined.
[[nodiscard]] std::uint64_t backableMemoryBytes();

}  // namespace tg
