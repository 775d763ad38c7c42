#pragma once
// Names of the files the conversion keeps in the temporary folder, and their removal.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace corvinex {

// "temp" + number zero-padded to at least six digits + ".bmp" (seven or more digits
// are written in full).
std::string SpoolFileName(int64_t number);
std::filesystem::path SpoolFilePath(const std::filesystem::path& tempFolder, int64_t number);

// The sound track extracted from the input movie.
std::filesystem::path SoundFilePath(const std::filesystem::path& tempFolder);

// The image-sequence pattern the encoder tool reads and writes the numbered frames by.
std::filesystem::path SpoolPattern(const std::filesystem::path& tempFolder);

// Where the decoder route keeps the frame decoder's error stream during a run.
std::filesystem::path DecoderReportPath(const std::filesystem::path& tempFolder);

struct CleanTempOptions {
  bool keepAvi = false;  // spare the temporary AVI copies of the movie transcoding
  // Pause between the two frame passes, so that a frame still being finished by a
  // writer or the decoder is caught by the second pass.
  std::chrono::milliseconds settle{500};
};

// Deletes the frame (*.bmp) and sound (*.wav) files of the temporary folder and,
// unless kept, its movie copies (*.avi). Extensions match regardless of case; folders
// and other files are left alone; a file that cannot be deleted is skipped. Returns
// how many files were deleted.
int CleanTemp(const std::filesystem::path& tempFolder, const CleanTempOptions& options = {});

// Deletes the numbered frame files after `lastNumber`. In the decoder route the
// decoder writes the movie's last frame (and any beyond the counted ones) without
// that frame being processed; left in place, the export would end on raw frames of
// another size. Returns how many files were deleted.
int RemoveSpoolFilesAfter(const std::filesystem::path& tempFolder, int64_t lastNumber);

}  // namespace corvinex
