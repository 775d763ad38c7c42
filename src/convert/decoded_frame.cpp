#include "convert/decoded_frame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "convert/temp_files.h"

namespace corvinex {
namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool Stopped(const DecodedFrameSource& s) {
  return s.stopRequest && s.stopRequest->load() != 0;
}

bool Exists(const std::filesystem::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Still running, without reaping it: the driver kills and reaps the decoder itself.
bool DecoderRunning(pid_t pid) {
  if (pid <= 0) return true;  // unknown: rely on the retry limit
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return false;
  return info.si_pid == 0;
}

size_t RowBytes(int32_t width) {
  return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

}  // namespace

void ConvertBgr24Rows(const uint8_t* rows, int32_t width, int32_t height, bool bottomUp,
                      FrameImage& out) {
  if (out.width != width || out.height != height) out.Reset(width, height);
  const size_t stride = RowBytes(width);
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* src = rows + stride * static_cast<size_t>(bottomUp ? r : height - 1 - r);
    uint32_t* dst = out.Row(r);
    // Four-byte loads keep the loop simple enough to vectorise; the last pixel of a
    // row is read bytewise, as a four-byte load could pass the end of the file data.
    int32_t x = 0;
    for (; x + 1 < width; ++x, src += 3) {
      uint32_t v;
      std::memcpy(&v, src, 4);
      dst[x] = v & 0x00FFFFFFu;
    }
    if (x < width) dst[x] = PackBgrx(src[0], src[1], src[2]);
  }
}

int DecodedFrameReader::Fail(std::string why) {
  error_ = std::move(why);
  return 0;
}

bool DecodedFrameReader::WaitForDecoder(const DecodedFrameSource& s, int64_t n) {
  std::filesystem::path self = SpoolFilePath(s.tempFolder, n);
  if (n > s.frameCount - 2) {
    // The last frames have no successor to wait for: one longer pause if missing.
    if (!Exists(self)) std::this_thread::sleep_for(s.poll * 10);
    return !Stopped(s);
  }
  std::filesystem::path next = SpoolFilePath(s.tempFolder, n + 1);
  // About two seconds when the decoder is not known. A decoder known to be alive is
  // still working (a busy machine, a slow start): give it up to a minute rather
  // than cutting the movie short.
  const int rounds = s.decoderPid > 0 ? 600 : 21;
  for (int i = 0; i < rounds && !Exists(next); ++i) {
    if (Stopped(s)) return false;
    if (!DecoderRunning(s.decoderPid)) break;  // nothing more will come
    std::this_thread::sleep_for(s.poll);
  }
  return !Stopped(s);
}

DecodedFrameReader::Read DecodedFrameReader::ReadFile(const std::filesystem::path& file,
                                                      const DecodedFrameSource& s) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Read::kIncomplete;
  struct stat st {};
  size_t size = ::fstat(fd, &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
  const size_t need = 54 + RowBytes(s.width) * static_cast<size_t>(s.height);
  // Never read more than a frame of the movie's size can take.
  file_.resize(std::min(size, need + 4096));
  size_t got = 0;
  while (got < file_.size()) {
    ssize_t n = ::read(fd, file_.data() + got, file_.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got < need) return Read::kIncomplete;

  const uint8_t* h = file_.data();
  int32_t width = static_cast<int32_t>(Le32(h + 18));
  int32_t height = static_cast<int32_t>(Le32(h + 22));
  uint16_t bits = static_cast<uint16_t>(h[28] | (h[29] << 8));
  uint32_t offset = Le32(h + 10);
  if (h[0] != 'B' || h[1] != 'M' || bits != 24 || width != s.width ||
      (height != s.height && height != -s.height) || offset < 54 ||
      offset + RowBytes(s.width) * static_cast<size_t>(s.height) > got) {
    error_ = file.filename().string() + " is not a " + std::to_string(s.width) + "x" +
             std::to_string(s.height) + " 24-bit picture";
    return Read::kBroken;
  }
  return Read::kOk;
}

int DecodedFrameReader::LoadDecodedFrame(const DecodedFrameSource& s, int64_t n, FrameImage& grab) {
  error_.clear();
  missing_ = false;
  if (Stopped(s)) return Fail("stopped");
  if (s.width <= 0 || s.height <= 0) return Fail("no frame size");
  std::filesystem::path self = SpoolFilePath(s.tempFolder, n);
  for (int round = 0;; ++round) {
    if (!WaitForDecoder(s, n)) return Fail("stopped");
    if (!Exists(self)) {
      missing_ = true;
      return Fail(self.filename().string() + " not found");
    }
    // Seen before the read: a decoder that had already ended will not finish the file.
    bool decoderGone = !DecoderRunning(s.decoderPid);
    Read r = ReadFile(self, s);
    if (r == Read::kBroken) return 0;
    if (r == Read::kOk) break;
    if (decoderGone || round >= s.incompleteRetries)
      return Fail(self.filename().string() + " stays incomplete");
    std::this_thread::sleep_for(s.poll);
  }
  const uint8_t* h = file_.data();
  bool bottomUp = static_cast<int32_t>(Le32(h + 22)) > 0;
  ConvertBgr24Rows(h + Le32(h + 10), s.width, s.height, bottomUp, grab);
  return 1;
}

}  // namespace corvinex
