#include "convert/temp_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <system_error>
#include <thread>

namespace corvinex {
namespace {

bool HasExtension(const std::filesystem::path& file,
                  std::initializer_list<std::string_view> wanted) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(wanted.begin(), wanted.end(), ext) != wanted.end();
}

int DeleteMatching(const std::filesystem::path& folder,
                   std::initializer_list<std::string_view> extensions) {
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return 0;
  int deleted = 0;
  for (const auto& entry : it) {
    // symlink_status: a link named *.bmp is removed as a link, never followed.
    std::error_code statusError;
    auto status = entry.symlink_status(statusError);
    if (statusError || std::filesystem::is_directory(status)) continue;
    if (!HasExtension(entry.path(), extensions)) continue;
    std::error_code removeError;
    if (std::filesystem::remove(entry.path(), removeError)) ++deleted;
  }
  return deleted;
}

}  // namespace

std::string SpoolFileName(int64_t number) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%06lld", static_cast<long long>(number));
  return std::string("temp") + digits + ".bmp";
}

std::filesystem::path SpoolFilePath(const std::filesystem::path& tempFolder, int64_t number) {
  return tempFolder / SpoolFileName(number);
}

std::filesystem::path SoundFilePath(const std::filesystem::path& tempFolder) {
  return tempFolder / "temp.wav";
}

std::filesystem::path SpoolPattern(const std::filesystem::path& tempFolder) {
  return tempFolder / "temp%06d.bmp";
}

std::filesystem::path DecoderReportPath(const std::filesystem::path& tempFolder) {
  return tempFolder / "temp_decoder.txt";
}

int CleanTemp(const std::filesystem::path& tempFolder, const CleanTempOptions& options) {
  if (tempFolder.empty()) return 0;
  int deleted = DeleteMatching(tempFolder, {".bmp"});
  if (options.settle.count() > 0) std::this_thread::sleep_for(options.settle);
  deleted += DeleteMatching(tempFolder, {".bmp"});
  deleted += DeleteMatching(tempFolder, {".wav"});
  if (!options.keepAvi) deleted += DeleteMatching(tempFolder, {".avi"});
  return deleted;
}

int RemoveSpoolFilesAfter(const std::filesystem::path& tempFolder, int64_t lastNumber) {
  std::error_code ec;
  std::filesystem::directory_iterator it(tempFolder, ec);
  if (ec) return 0;
  int deleted = 0;
  for (const auto& entry : it) {
    std::string name = entry.path().filename().string();
    if (name.size() < 14 || name.rfind("temp", 0) != 0 || name.substr(name.size() - 4) != ".bmp")
      continue;
    std::string digits = name.substr(4, name.size() - 8);
    if (digits.size() < 6 || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    if (std::stoll(digits) <= lastNumber) continue;
    std::error_code removeError;
    if (std::filesystem::remove(entry.path(), removeError)) ++deleted;
  }
  return deleted;
}

}  // namespace corvinex
