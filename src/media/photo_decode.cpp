#include "media/photo_decode.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <vector>

#include "extras/jpeg_whole.h"
#include "media/bgrx_scaler.h"
#include "media/decoder_buffers.h"
#include "media/photo_metadata.h"
#include "media/yuv420_to_bgrx.h"
#include "transform/large_buffer.h"
#include "transform/split_work.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace corvinex {
namespace {

namespace fs = std::filesystem;

std::string LowerExtension(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::string AvText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct FormatCloser {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// The whole file in one piece of the size it has, in memory advised for huge pages:
// growing a string as it reads moves a large photo's bytes many times over.
bool ReadAll(const fs::path& path, std::vector<char>& bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0);
  ReserveLarge(bytes, static_cast<size_t>(size));
  bytes.resize(static_cast<size_t>(size));
  in.read(bytes.data(), size);
  if (in.gcount() != size) return false;
  return true;
}

// A WebP whose extended header sets the animation flag: FFmpeg's decoder reads only
// still WebP pictures.
bool IsAnimatedWebp(std::string_view bytes) {
  return bytes.size() >= 21 && bytes.compare(0, 4, "RIFF") == 0 &&
         bytes.compare(8, 4, "WEBP") == 0 && bytes.compare(12, 4, "VP8X") == 0 &&
         (static_cast<uint8_t>(bytes[20]) & 0x02) != 0;
}

struct Yuv420Rows {
  const AVFrame* frame;
  FrameImage* out;
  Yuv420Coefficients coefficients;
};

// Picture rows begin .. end - 1 of a 4:2:0 frame into the bottom-up BGRX picture.
void ConvertYuv420Rows(const Yuv420Rows& r, int32_t begin, int32_t end) {
  const AVFrame& frame = *r.frame;
  const int32_t width = r.out->width;
  const int32_t height = r.out->height;
  for (int32_t row = begin; row < end; ++row) {
    Yuv420RowToBgrx(frame.data[0] + static_cast<ptrdiff_t>(row) * frame.linesize[0],
                    frame.data[1] + static_cast<ptrdiff_t>(row / 2) * frame.linesize[1],
                    frame.data[2] + static_cast<ptrdiff_t>(row / 2) * frame.linesize[2], width,
                    r.coefficients,
                    r.out->Bytes() + static_cast<size_t>(height - 1 - row) * width * 4);
  }
}

// The decoded picture as bottom-up BGRX, converted the way the frame source converts a
// movie's frames, so that a photo and a one-frame movie of it give the same pixels.
bool ToBgrx(const AVFrame& frame, FrameImage& out) {
  const int32_t width = frame.width;
  const int32_t height = frame.height;
  out.Reset(width, height);
  const auto format = static_cast<AVPixelFormat>(frame.format);
  const int colourSpace = frame.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
  const bool fullRange = frame.color_range == AVCOL_RANGE_JPEG;
  if ((format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) && width % 2 == 0 &&
      height % 2 == 0) {
    Yuv420Rows rows{&frame, &out,
                    Yuv420CoefficientsFor(colourSpace, fullRange || format == AV_PIX_FMT_YUVJ420P)};
    // Each row stands alone: a large picture's rows split over both cores.
    if (static_cast<int64_t>(width) * height < (int64_t{1} << 16)) {
      ConvertYuv420Rows(rows, 0, height);
    } else {
      RunInTwoHalves(
          [](void* context, int half) {
            const Yuv420Rows& r = *static_cast<const Yuv420Rows*>(context);
            const int32_t middle = r.out->height / 2 / 2 * 2;
            ConvertYuv420Rows(r, half == 0 ? 0 : middle, half == 0 ? middle : r.out->height);
          },
          &rows);
    }
    return true;
  }
  BgrxScaler scaler;
  SwsContext* context = scaler.For(width, height, format, width, height, colourSpace, fullRange);
  if (context == nullptr) return false;
  // The scaler writes whole blocks of 16 pixels: rows with room for them, then copied.
  // A width of whole blocks has that room already: the scaler writes the frame itself.
  const int32_t roomyWidth = (width + 15) / 16 * 16;
  const bool direct = roomyWidth == width;
  std::vector<uint32_t> roomy;
  if (!direct) {
    ReserveLarge(roomy, static_cast<size_t>(roomyWidth) * height);
    roomy.resize(static_cast<size_t>(roomyWidth) * height);
  }
  const size_t roomyRowBytes = static_cast<size_t>(roomyWidth) * 4;
  uint8_t* target = direct ? out.Bytes() : reinterpret_cast<uint8_t*>(roomy.data());
  uint8_t* dst[4] = {target + static_cast<size_t>(height - 1) * roomyRowBytes, nullptr, nullptr,
                     nullptr};
  int dstStride[4] = {-static_cast<int>(roomyRowBytes), 0, 0, 0};
  if (sws_scale(context, frame.data, frame.linesize, 0, height, dst, dstStride) <= 0) return false;
  if (direct) return true;
  for (int32_t row = 0; row < height; ++row) {
    std::memcpy(out.Bytes() + static_cast<size_t>(row) * width * 4, target + row * roomyRowBytes,
                static_cast<size_t>(width) * 4);
  }
  return true;
}

int MaxComponentDepth(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  if (d == nullptr) return 8;
  int depth = 0;
  for (int i = 0; i < d->nb_components; ++i) depth = std::max(depth, d->comp[i].depth);
  return depth;
}

}  // namespace

bool IsPhotoPath(const fs::path& path) {
  static constexpr std::array<const char*, 6> kTypes = {".jpg", ".jpeg", ".png",
                                                        ".tif", ".tiff", ".webp"};
  const std::string ext = LowerExtension(path);
  return std::find(kTypes.begin(), kTypes.end(), ext) != kTypes.end();
}

std::string OrientationFilters(int32_t orientation, bool& swapsSides) {
  swapsSides = orientation >= 5 && orientation <= 8;
  switch (orientation) {
    case 2:
      return "hflip";
    case 3:
      return "hflip,vflip";
    case 4:
      return "vflip";
    case 5:
      return "transpose=cclock_flip";
    case 6:
      return "transpose=clock";
    case 7:
      return "transpose=clock_flip";
    case 8:
      return "transpose=cclock";
    default:
      return {};
  }
}

std::string PhotoOrientationFilters(const fs::path& path, bool& swapsSides) {
  swapsSides = false;
  if (!IsPhotoPath(path)) return {};
  std::string warning;
  return OrientationFilters(ReadPhotoOrientation(path, warning), swapsSides);
}

void TurnUpright(const FrameImage& stored, int32_t orientation, FrameImage& upright) {
  if (orientation < 1 || orientation > 8) orientation = 1;
  const int32_t w = stored.width;
  const int32_t h = stored.height;
  const bool swaps = orientation >= 5;
  const int32_t outW = swaps ? h : w;
  const int32_t outH = swaps ? w : h;
  if (upright.width != outW || upright.height != outH) upright.Reset(outW, outH);
  for (int32_t y = 0; y < outH; ++y) {
    uint32_t* row = upright.Row(outH - 1 - y);
    for (int32_t x = 0; x < outW; ++x) {
      int32_t sx = x, sy = y;  // the stored pixel shown at (x, y)
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y;
          sy = x;
          break;
        case 6:
          sx = y;
          sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y;
          sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y;
          sy = x;
          break;
        default:
          break;
      }
      row[x] = stored.AtPicture(sx, sy);
    }
  }
}

DecodedPhoto DecodePhoto(const fs::path& path) {
  DecodedPhoto result;
  // Failures reach the user through the result; the libraries' own chatter on standard
  // error helps nobody.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  // The whole file is read for its checks: a movie given a photo's name must not
  // take the memory.
  constexpr uintmax_t kLargestPhoto = uintmax_t{1} << 30;
  // A device or a pipe given a photo's name has no end to read to.
  std::error_code typeError;
  if (!fs::is_regular_file(path, typeError)) {
    result.error = typeError || !fs::exists(path, typeError)
                       ? "the photo cannot be found"
                       : "not a photo file (a folder, device or pipe)";
    return result;
  }
  std::error_code sizeError;
  const uintmax_t size = fs::file_size(path, sizeError);
  if (!sizeError && size > kLargestPhoto) {
    result.error = "the file is too large for a photo (" + std::to_string(size >> 20) +
                   " MB); convert it as a movie";
    return result;
  }
  std::vector<char> file;
  if (!ReadAll(path, file)) {
    result.error = "the photo cannot be read";
    return result;
  }
  const std::string_view bytes(file.data(), file.size());
  if (bytes.empty()) {
    result.error = "the photo file is empty";
    return result;
  }
  if (IsAnimatedWebp(bytes)) {
    result.error = "an animated WebP picture is not taken as a photo; convert it to a movie first";
    return result;
  }
  const bool jpegBytes = bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
                         static_cast<uint8_t>(bytes[1]) == 0xD8;
  if (jpegBytes && !JpegIsWhole(bytes)) {
    result.error = "the JPEG picture is cut short or damaged";
    return result;
  }

  AVFormatContext* rawFormat = nullptr;
  const std::string url = "file:" + path.string();  // names with ':' stay plain names
  if (int rc = avformat_open_input(&rawFormat, url.c_str(), nullptr, nullptr); rc < 0) {
    result.error = "not a picture that can be read (" + AvText(rc) + ")";
    return result;
  }
  std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (stream < 0 || codec == nullptr) {
    result.error = "the file holds no picture";
    return result;
  }
  std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  if (!decoder || !frame || !packet ||
      avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0) {
    result.error = "not enough memory to decode the photo";
    return result;
  }
  decoder->thread_count = 0;  // as many as the machine has: one big picture
  decoder->get_buffer2 = LargePictureBuffer;
  if (int rc = avcodec_open2(decoder.get(), codec, nullptr); rc < 0) {
    result.error = "the picture's coding cannot be decoded (" + AvText(rc) + ")";
    return result;
  }
  bool decoded = false;
  int lastError = 0;
  int picturePackets = 0;
  while (!decoded) {
    const int rc = av_read_frame(format.get(), packet.get());
    if (rc < 0) {
      avcodec_send_packet(decoder.get(), nullptr);  // drain
    } else if (packet->stream_index != stream) {
      av_packet_unref(packet.get());
      continue;
    } else {
      ++picturePackets;
      lastError = avcodec_send_packet(decoder.get(), packet.get());
      av_packet_unref(packet.get());
    }
    const int got = avcodec_receive_frame(decoder.get(), frame.get());
    if (got == 0) {
      decoded = true;
    } else if (got != AVERROR(EAGAIN) || rc < 0) {
      if (got != AVERROR(EAGAIN)) lastError = got;
      break;
    }
  }
  if (!decoded) {
    result.error = "the picture is damaged and cannot be decoded" +
                   (lastError < 0 ? " (" + AvText(lastError) + ")" : std::string());
    return result;
  }
  if ((frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame->decode_error_flags != 0) {
    result.error = "the picture is damaged (its decoding reported missing or broken parts)";
    return result;
  }
  // A second picture in the file: an animation (APNG) or a movie given a photo's name
  // is a movie, not a photo. The decoder may have taken several before its first.
  const std::string animated =
      "the file holds more than one picture (an animation or a movie); convert it as a movie";
  if (picturePackets > 1) {
    result.error = animated;
    return result;
  }
  for (;;) {
    const int rc = av_read_frame(format.get(), packet.get());
    if (rc < 0) break;
    const bool picture = packet->stream_index == stream;
    av_packet_unref(packet.get());
    if (picture && ++picturePackets > 1) {
      result.error = animated;
      return result;
    }
  }
  if (frame->width <= 0 || frame->height <= 0) {
    result.error = "the picture has no pixels";
    return result;
  }
  const auto pixelFormat = static_cast<AVPixelFormat>(frame->format);
  if (MaxComponentDepth(pixelFormat) > 8) {
    result.note =
        "a " + std::to_string(MaxComponentDepth(pixelFormat)) + "-bit picture, converted to 8 bits";
  }
  FrameImage stored;
  if (!ToBgrx(*frame, stored)) {
    result.error = "the picture's pixel format cannot be converted";
    return result;
  }
  std::string warning;
  result.orientation = ReadPhotoOrientation(path, warning);
  if (result.orientation == 1) {
    result.image = std::move(stored);
  } else {
    TurnUpright(stored, result.orientation, result.image);
  }
  return result;
}

}  // namespace corvinex
