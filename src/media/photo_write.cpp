#include "media/photo_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "transform/large_buffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace corvinex {
namespace {

namespace fs = std::filesystem;

struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

std::string AvText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The encoder's scale for a quality of 1..100: 100 gives its finest step (1), 1 its
// coarsest (31), evenly between.
int JpegScale(int32_t quality) {
  const int32_t q = std::clamp(quality, 1, 100);
  return 1 + ((100 - q) * 30 + 49) / 99;
}

// The whole buffer to the file, then to the disk.
std::string WriteFile(const fs::path& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot open " + path.string() + " for writing: " + std::strerror(errno);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = n < 0 ? std::strerror(errno) : "nothing written";
      ::close(fd);
      return "cannot write " + path.string() + ": " + why;
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    return "cannot write " + path.string() + " to the disk: " + why;
  }
  if (::close(fd) != 0) return "cannot finish " + path.string() + ": " + std::strerror(errno);
  return {};
}

}  // namespace

PhotoType PhotoTypeOf(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".jpg" || ext == ".jpeg") return PhotoType::Jpeg;
  if (ext == ".png") return PhotoType::Png;
  if (ext == ".tif" || ext == ".tiff") return PhotoType::Tiff;
  return PhotoType::None;
}

std::string WritePhoto(const fs::path& path, PhotoType type, std::span<const uint8_t> pixels,
                       int32_t width, int32_t height, int32_t jpegQuality) {
  // Failures reach the user through the result; the libraries' own chatter on standard
  // error helps nobody.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  if (width <= 0 || height <= 0 ||
      pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    return "no picture to write";
  }
  AVCodecID id = AV_CODEC_ID_NONE;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  switch (type) {
    case PhotoType::Jpeg:
      id = AV_CODEC_ID_MJPEG;
      format = AV_PIX_FMT_YUVJ420P;
      break;
    case PhotoType::Png:
      id = AV_CODEC_ID_PNG;
      format = AV_PIX_FMT_RGB24;
      break;
    case PhotoType::Tiff:
      id = AV_CODEC_ID_TIFF;
      format = AV_PIX_FMT_RGB24;
      break;
    case PhotoType::None:
      return "a photo is written as .jpg, .png or .tif";
  }
  const AVCodec* codec = avcodec_find_encoder(id);
  if (codec == nullptr) return "the libraries have no encoder for this picture type";
  std::unique_ptr<AVCodecContext, CodecFreer> encoder(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  if (!encoder || !frame || !packet) return "not enough memory to write the picture";
  encoder->width = width;
  encoder->height = height;
  encoder->pix_fmt = format;
  encoder->time_base = AVRational{1, 25};
  encoder->thread_count = 0;  // slices on every core where the encoder has them
  if (type == PhotoType::Jpeg) {
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA * JpegScale(jpegQuality);
    encoder->qmin = encoder->qmax = JpegScale(jpegQuality);
    encoder->color_range = AVCOL_RANGE_JPEG;
  }
  if (type == PhotoType::Tiff) {
    // Deflate keeps the file lossless and a third of the raw size.
    av_opt_set(encoder->priv_data, "compression_algo", "deflate", 0);
  }
  if (int rc = avcodec_open2(encoder.get(), codec, nullptr); rc < 0) {
    return "the picture encoder cannot start (" + AvText(rc) + ")";
  }
  frame->width = width;
  frame->height = height;
  frame->format = format;
  if (int rc = av_frame_get_buffer(frame.get(), 0); rc < 0) {
    return "not enough memory to write the picture (" + AvText(rc) + ")";
  }
  // Not yet touched: its pages can still come as huge ones.
  for (AVBufferRef* buffer : frame->buf) {
    if (buffer != nullptr) AdviseHugePages(buffer->data, buffer->size);
  }
  std::unique_ptr<SwsContext, SwsFreer> scaler(sws_getContext(
      width, height, AV_PIX_FMT_BGR0, width, height, format,
      SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
  if (!scaler) return "the picture's pixels cannot be converted for the encoder";
  if (type == PhotoType::Jpeg) {
    // The encoder's full-range colours, as a JPEG viewer reads them.
    int* inverse = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(scaler.get(), &inverse, &srcRange, &table, &dstRange, &brightness,
                                 &contrast, &saturation) >= 0) {
      sws_setColorspaceDetails(scaler.get(), inverse, 1, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                               brightness, contrast, saturation);
    }
  }
  // Bottom-up rows: start at the last and step backwards.
  const int stride = width * 4;
  const uint8_t* src[4] = {pixels.data() + static_cast<size_t>(height - 1) * stride, nullptr,
                           nullptr, nullptr};
  const int srcStride[4] = {-stride, 0, 0, 0};
  if (sws_scale(scaler.get(), src, srcStride, 0, height, frame->data, frame->linesize) <= 0) {
    return "the picture's pixels could not be converted for the encoder";
  }
  if (int rc = avcodec_send_frame(encoder.get(), frame.get()); rc < 0) {
    return "the picture could not be encoded (" + AvText(rc) + ")";
  }
  avcodec_send_frame(encoder.get(), nullptr);
  const int rc = avcodec_receive_packet(encoder.get(), packet.get());
  if (rc < 0) return "the picture could not be encoded (" + AvText(rc) + ")";
  return WriteFile(path, packet->data, static_cast<size_t>(packet->size));
}

}  // namespace corvinex
