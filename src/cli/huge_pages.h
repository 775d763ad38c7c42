#pragma once
// The batch tool's large buffers (decoded frames, the decoder's picture pool, the
// unwrap's tables, and the encoder child's frames) in transparent huge pages. Where
// the system gives them only on request, glibc's allocator asks for them when a
// tunable says so, and tunables are read only at a program's start: the tool starts
// itself once more with it. Each 4 KB page touched first otherwise costs a fault,
// tens of thousands per movie, a large share of a short movie's processor time.

#include <string>
#include <string_view>

namespace corvinex {

// The GLIBC_TUNABLES value that asks for huge pages, with the entries of `tunables`
// (the present value, maybe empty) kept; `tunables` itself when it already decides.
std::string TunablesWithHugePages(std::string_view tunables);

// Starts this program again with those tunables and `argv`, unless they are already
// in force; returns only when it does not (the run goes on as it is then).
void RestartWithHugePages(char** argv);

}  // namespace corvinex
