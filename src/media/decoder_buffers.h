#pragma once
// Where decoders put their pictures: buffers advised for huge pages. The libraries'
// own pool takes fresh 4 KB pages, and each first touch is a trip into the kernel:
// a 1080p movie's few decoded pictures cost thousands of them before the first frame,
// a 24-megapixel photo tens of thousands.

#include <cstddef>
#include <mutex>

extern "C" {
struct AVBufferPool;
struct AVBufferRef;
struct AVCodecContext;
struct AVFrame;
}

namespace corvinex {

// A decoder's get_buffer2 for one large picture (a photo): one buffer for all planes,
// zero-filled so that a damaged picture's missing parts read as black. Falls back to
// the library's own buffers where the decoder cannot take ours.
int LargePictureBuffer(AVCodecContext* context, AVFrame* frame, int flags);

// Reused buffers for a movie's decoder. Install before avcodec_open2 and keep this
// alive until the decoder is freed; frames still held after that keep their buffers.
// Pictures too small to fill a huge page take the library's own buffers.
class MovieDecoderBuffers {
 public:
  MovieDecoderBuffers() = default;
  ~MovieDecoderBuffers();
  MovieDecoderBuffers(const MovieDecoderBuffers&) = delete;
  MovieDecoderBuffers& operator=(const MovieDecoderBuffers&) = delete;

  void InstallOn(AVCodecContext* context);

 private:
  static int GetBuffer(AVCodecContext* context, AVFrame* frame, int flags);
  AVBufferRef* Take(size_t bytes);
  AVBufferPool* PoolFor(size_t bytes);

  std::mutex mutex_;  // frame threads ask at once
  AVBufferPool* pool_ = nullptr;
  size_t poolBytes_ = 0;
};

}  // namespace corvinex
