#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// The build puts the manual beside the program, where Help opens it.
TEST(UserManual, LiesBesideTheProgramAsAPdf) {
  const fs::path manual = fs::path(CORVINEX_PROGRAM_DIR) / "TLVPUB.pdf";
  ASSERT_TRUE(fs::is_regular_file(manual));
  const std::string bytes = test::ReadFileBytes(manual);
  ASSERT_GT(bytes.size(), 1000u);
  EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
  EXPECT_NE(bytes.find("%%EOF"), std::string::npos);

  // The screenshots of the program are embedded as pictures, not left as links.
  size_t images = 0;
  for (size_t at = bytes.find("/Subtype /Image"); at != std::string::npos;
       at = bytes.find("/Subtype /Image", at + 1)) {
    ++images;
  }
  EXPECT_GE(images, 4u);
}

}  // namespace
}  // namespace corvinex
