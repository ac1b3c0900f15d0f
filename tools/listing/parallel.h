// Splits work over threads: the ranges of a count, one per thread, run at
// once and joined before returning. The callers keep their results apart
// (each range writes only its own slots).
#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace asm2pas::objdump {

// One thread per core, at least one.
inline unsigned Cores() { return std::max(1u, std::thread::hardware_concurrency()); }

// Runs body(part, begin, end) for `parts` consecutive ranges covering
// [0, count); part 0 runs on the calling thread.
template <class Body>
void ParallelRanges(size_t count, unsigned parts, Body body) {
  parts = static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>(parts, count)));
  std::vector<std::thread> pool;
  // Ends: one pass per part.
  for (unsigned p = 1; p < parts; ++p)
    pool.emplace_back(body, p, count * p / parts, count * (p + 1) / parts);
  body(0u, size_t{0}, count / parts);
  for (std::thread& t : pool) t.join();
}

}  // namespace asm2pas::objdump
