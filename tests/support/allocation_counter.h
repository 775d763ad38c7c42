#pragma once
// Counts calls of the global operator new in this test program, so that tests can
// check that a hot path allocates nothing.

#include <cstdint>

namespace corvinex::test {

// Allocations made by the calling thread so far.
uint64_t ThreadAllocations();

}  // namespace corvinex::test
