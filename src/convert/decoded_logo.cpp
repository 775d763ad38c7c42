#include "convert/decoded_logo.h"

#include <stdlib.h>

#include <chrono>
#include <cstring>

#include "convert/child_process.h"
#include "settings/whole_file.h"

namespace corvinex {
namespace {

constexpr size_t kHeader = 8;
// Far beyond any logo (the canvas is at most the panorama's width), small enough that
// the size arithmetic cannot overflow.
constexpr uint32_t kMaxSide = 1 << 15;

void PutUint32(char* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetUint32(const char* at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(at[i]);
  return v;
}

}  // namespace

std::filesystem::path LogoDecoderPath(const std::filesystem::path& programFolder) {
  return programFolder / "PLUG-IN" / "logo_decoder";
}

bool WriteDecodedLogo(std::ostream& out, const FrameImage& logo) {
  char header[kHeader];
  PutUint32(header, static_cast<uint32_t>(logo.width));
  PutUint32(header + 4, static_cast<uint32_t>(logo.height));
  out.write(header, kHeader);
  out.write(reinterpret_cast<const char*>(logo.pixels.data()),
            static_cast<std::streamsize>(logo.pixels.size() * sizeof(uint32_t)));
  return static_cast<bool>(out);
}

bool ReadDecodedLogo(const std::string& bytes, FrameImage& logo) {
  logo.Reset(0, 0);
  if (bytes.size() < kHeader) return false;
  const uint32_t width = GetUint32(bytes.data());
  const uint32_t height = GetUint32(bytes.data() + 4);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
  const size_t pixels = size_t{width} * size_t{height};
  if (bytes.size() != kHeader + pixels * sizeof(uint32_t)) return false;
  logo.Reset(static_cast<int32_t>(width), static_cast<int32_t>(height));
  std::memcpy(logo.pixels.data(), bytes.data() + kHeader, pixels * sizeof(uint32_t));
  return true;
}

LogoLoad LoadLogoWithDecoder(const std::filesystem::path& decoder,
                             const std::filesystem::path& picture, LogoState& logo,
                             std::string& why) {
  ClearLogo(logo);
  why.clear();
  // A folder only we can write to: a fixed name in the shared temporary folder could be
  // a link that someone placed there.
  std::error_code error;
  std::string folderName = (std::filesystem::temp_directory_path(error) / "corvinex-logo-XXXXXX");
  if (error || ::mkdtemp(folderName.data()) == nullptr) {
    why = "no temporary folder for the decoded logo";
    return LogoLoad::DecoderFailed;
  }
  const std::filesystem::path folder = folderName;
  const std::filesystem::path scratch = folder / "logo.raw";
  const ChildStart started = StartProcess({decoder.string(), picture.string(), scratch.string()});
  ChildExit exit;
  if (started.ok()) {
    exit = WaitProcess(started.pid, std::chrono::minutes(1));
    if (!exit.exited) KillProcess(started.pid);
  }
  FrameImage decoded;
  const bool read = exit.exited && exit.exitCode == 0 &&
                    ReadDecodedLogo(ReadWholeFile(scratch).value_or(std::string()), decoded);
  std::filesystem::remove_all(folder, error);
  if (!started.ok()) {
    why = started.error;
    return LogoLoad::DecoderFailed;
  }
  if (exit.exited && exit.exitCode == 1) return LogoLoad::BadPicture;
  if (!read) {
    why = decoder.filename().string() + (exit.exited
                                             ? " ended with status " + std::to_string(exit.exitCode)
                                             : std::string(" did not end in time"));
    return LogoLoad::DecoderFailed;
  }
  return AcceptLogo(logo, std::move(decoded)) ? LogoLoad::Loaded : LogoLoad::BadPicture;
}

}  // namespace corvinex
