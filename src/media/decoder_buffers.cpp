#include "media/decoder_buffers.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "transform/large_buffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

namespace corvinex {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// The planes of one picture in one buffer: each plane's rows padded to every vector
// width the decoder may use, with room past each plane for reads beyond a row's end.
struct PlaneLayout {
  int linesize[4] = {};
  size_t offsets[4] = {};
  size_t planes[4] = {};
  size_t total = 0;
};

bool TakesOurBuffers(const AVCodecContext* context, const AVFrame* frame) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  return (context->codec->capabilities & AV_CODEC_CAP_DR1) != 0 && d != nullptr &&
         (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) ==
             0;
}

bool LayoutFor(AVCodecContext* context, const AVFrame* frame, PlaneLayout& layout) {
  const auto format = static_cast<AVPixelFormat>(frame->format);
  int width = frame->width;
  int height = frame->height;
  int align[AV_NUM_DATA_POINTERS] = {};
  avcodec_align_dimensions2(context, &width, &height, align);
  constexpr int kRowAlign = 64;
  if (av_image_fill_linesizes(layout.linesize, format, width) < 0) return false;
  ptrdiff_t strides[4] = {};
  for (int i = 0; i < 4; ++i) {
    layout.linesize[i] = (layout.linesize[i] + kRowAlign - 1) / kRowAlign * kRowAlign;
    strides[i] = layout.linesize[i];
  }
  if (av_image_fill_plane_sizes(layout.planes, format, height, strides) < 0) return false;
  layout.total = 0;
  for (int i = 0; i < 4; ++i) {
    layout.offsets[i] = layout.total;
    layout.total +=
        layout.planes[i] == 0 ? 0 : layout.planes[i] + kRowAlign + AV_INPUT_BUFFER_PADDING_SIZE;
  }
  return true;
}

void PointInto(AVFrame* frame, uint8_t* memory, const PlaneLayout& layout) {
  for (int i = 0; i < 4; ++i) {
    frame->data[i] = layout.planes[i] == 0 ? nullptr : memory + layout.offsets[i];
    frame->linesize[i] = layout.planes[i] == 0 ? 0 : layout.linesize[i];
  }
  frame->extended_data = frame->data;
}

// Whole huge pages, aligned to one: a picture of 3 MB otherwise spans no whole page.
AVBufferRef* AllocateHugeAligned(void*, size_t bytes) {
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, rounded);
  if (memory == nullptr) return nullptr;
  AdviseHugePages(memory, rounded);
  // Once per buffer, as the library's pool does: a damaged first picture reads black.
  std::memset(memory, 0, rounded);
  AVBufferRef* ref = av_buffer_create(
      static_cast<uint8_t*>(memory), rounded, [](void*, uint8_t* data) { std::free(data); },
      nullptr, 0);
  if (ref == nullptr) std::free(memory);
  return ref;
}

}  // namespace

int LargePictureBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  PlaneLayout layout;
  if (!TakesOurBuffers(context, frame)) return avcodec_default_get_buffer2(context, frame, flags);
  if (!LayoutFor(context, frame, layout)) return AVERROR(EINVAL);
  auto* memory = static_cast<uint8_t*>(av_malloc(layout.total));
  if (memory == nullptr) return AVERROR(ENOMEM);
  AdviseHugePages(memory, layout.total);
  std::memset(memory, 0, layout.total);
  frame->buf[0] = av_buffer_create(memory, layout.total, av_buffer_default_free, nullptr, 0);
  if (frame->buf[0] == nullptr) {
    av_free(memory);
    return AVERROR(ENOMEM);
  }
  PointInto(frame, memory, layout);
  return 0;
}

MovieDecoderBuffers::~MovieDecoderBuffers() {
  // Buffers still held by frames return to the pool, which goes with the last of them.
  av_buffer_pool_uninit(&pool_);
}

void MovieDecoderBuffers::InstallOn(AVCodecContext* context) {
  context->opaque = this;
  context->get_buffer2 = GetBuffer;
}

AVBufferRef* MovieDecoderBuffers::Take(size_t bytes) {
  std::lock_guard lock(mutex_);
  if (pool_ == nullptr || poolBytes_ != bytes) {
    // A new picture size: the old pool goes once its pictures are given back.
    av_buffer_pool_uninit(&pool_);
    pool_ = av_buffer_pool_init2(bytes, nullptr, AllocateHugeAligned, nullptr);
    poolBytes_ = pool_ != nullptr ? bytes : 0;
    if (pool_ == nullptr) return nullptr;
  }
  return av_buffer_pool_get(pool_);
}

int MovieDecoderBuffers::GetBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  PlaneLayout layout;
  if (!TakesOurBuffers(context, frame) || !LayoutFor(context, frame, layout) ||
      layout.total < kHugePage * 3 / 4) {
    return avcodec_default_get_buffer2(context, frame, flags);
  }
  frame->buf[0] = static_cast<MovieDecoderBuffers*>(context->opaque)->Take(layout.total);
  if (frame->buf[0] == nullptr) return AVERROR(ENOMEM);
  PointInto(frame, frame->buf[0]->data, layout);
  return 0;
}

}  // namespace corvinex
