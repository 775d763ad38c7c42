#pragma once
// The picture filters (deinterlacing, display rotation) come from libavfilter, which is
// loaded only when a movie first needs them. Most movies need neither, and linking it
// would load it with some thirty libraries of its own in every run: about 11 MB of
// memory and 20 ms of start-up for nothing.

#include <cstdint>  // before the C headers, which need its constant macros

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace corvinex {

// The entry points the frame source uses, named as in the library.
struct FilterLibrary {
  decltype(&avfilter_get_by_name) getByName = nullptr;
  decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
  decltype(&avfilter_graph_create_filter) graphCreateFilter = nullptr;
  decltype(&avfilter_graph_parse_ptr) graphParse = nullptr;
  decltype(&avfilter_graph_config) graphConfig = nullptr;
  decltype(&avfilter_graph_free) graphFree = nullptr;
  decltype(&avfilter_inout_alloc) inoutAlloc = nullptr;
  decltype(&avfilter_inout_free) inoutFree = nullptr;
  decltype(&av_buffersrc_add_frame_flags) sourceAddFrame = nullptr;
  decltype(&av_buffersink_get_frame) sinkGetFrame = nullptr;
  decltype(&av_buffersink_get_time_base) sinkTimeBase = nullptr;
};

// Loads the library of the version we were built against on the first call; null
// when it is missing or lacks an entry point (pictures are then shown unfiltered).
const FilterLibrary* LoadFilterLibrary();

// Whether LoadFilterLibrary has loaded it in this process.
bool FilterLibraryLoaded();

}  // namespace corvinex
