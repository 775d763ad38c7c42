#pragma once
// Huge pages for the programs we start. The encoder's frames and lookahead are tens of
// megabytes, and where the system gives huge pages only on request, glibc's allocator
// asks for them only when a tunable says so, read at a program's start. Each 4 KB page
// touched first otherwise costs a fault: an encoder without them takes about twice
// the page faults and a fifth more processor time on a short movie.

#include <string>
#include <string_view>

namespace corvinex {

// The GLIBC_TUNABLES value that asks for huge pages, with the entries of `tunables`
// (the present value, maybe empty) kept; `tunables` itself when it already decides,
// even to 0: that choice is the user's.
std::string TunablesWithHugePages(std::string_view tunables);

}  // namespace corvinex
