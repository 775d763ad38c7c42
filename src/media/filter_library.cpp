#include "media/filter_library.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

extern "C" {
#include <libavutil/macros.h>
}

namespace corvinex {
namespace {

FilterLibrary library;
std::atomic<bool> loaded{false};

template <typename Function>
bool Resolve(void* handle, const char* name, Function& out) {
  out = reinterpret_cast<Function>(dlsym(handle, name));
  return out != nullptr;
}

bool Load() {
  // The major version is the ABI: another one could not share our libavutil.
  void* handle =
      dlopen("libavfilter.so." AV_STRINGIFY(LIBAVFILTER_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return false;
  FilterLibrary l;
  const bool complete = Resolve(handle, "avfilter_get_by_name", l.getByName) &&
                        Resolve(handle, "avfilter_graph_alloc", l.graphAlloc) &&
                        Resolve(handle, "avfilter_graph_create_filter", l.graphCreateFilter) &&
                        Resolve(handle, "avfilter_graph_parse_ptr", l.graphParse) &&
                        Resolve(handle, "avfilter_graph_config", l.graphConfig) &&
                        Resolve(handle, "avfilter_graph_free", l.graphFree) &&
                        Resolve(handle, "avfilter_inout_alloc", l.inoutAlloc) &&
                        Resolve(handle, "avfilter_inout_free", l.inoutFree) &&
                        Resolve(handle, "av_buffersrc_add_frame_flags", l.sourceAddFrame) &&
                        Resolve(handle, "av_buffersink_get_frame", l.sinkGetFrame) &&
                        Resolve(handle, "av_buffersink_get_time_base", l.sinkTimeBase);
  if (!complete) {
    dlclose(handle);
    return false;
  }
  // Kept loaded for the life of the process: graphs may outlive any one movie.
  library = l;
  return true;
}

}  // namespace

const FilterLibrary* LoadFilterLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { loaded.store(Load()); });
  return loaded.load() ? &library : nullptr;
}

bool FilterLibraryLoaded() {
  return loaded.load();
}

}  // namespace corvinex
