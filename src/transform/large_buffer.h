#pragma once
// Room for a picture-sized buffer, asked of the system in huge pages where it lends
// them. Each first touch of a fresh 4 KB page costs a trip into the kernel, and on a
// virtual machine that trip can cost more than decoding the picture: a 24-megapixel
// frame is 24,000 such trips, or 48 in 2 MB pages.

#include <cstddef>
#include <vector>

namespace corvinex {

// Asks that the whole 2 MB pages inside [data, data + bytes) be backed by huge pages
// when first touched. Only advice: nothing changes where the system has none. Small
// ranges are left alone.
void AdviseHugePages(void* data, size_t bytes);

// Gives `buffer` room for `count` elements, advised as above, before it is filled.
// A buffer without that room loses its contents: call it only on one about to be
// filled or reset whole.
template <class T>
void ReserveLarge(std::vector<T>& buffer, size_t count) {
  if (buffer.capacity() >= count) return;
  std::vector<T>().swap(buffer);  // the old storage goes first: no two at once
  buffer.reserve(count);
  AdviseHugePages(buffer.data(), count * sizeof(T));
}

}  // namespace corvinex
