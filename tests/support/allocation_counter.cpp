#include "support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local uint64_t allocations = 0;
}

namespace corvinex::test {
uint64_t ThreadAllocations() {
  return allocations;
}
}  // namespace corvinex::test

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
