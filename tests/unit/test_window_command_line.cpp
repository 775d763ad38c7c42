// The window program's --help and --version: answered before any window, and only they.
#include <gtest/gtest.h>

#include "app/window_command_line.h"
#include "version.h"

namespace corvinex {
namespace {

TEST(WindowCommandLine, HelpAndVersionAnswerEverythingElseStartsTheWindow) {
  EXPECT_EQ(AnswerWithoutWindow({"--version"}), std::string("corvinex ") + kVersion + "\n");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"-platform", "xcb", "--help"}}) {
    const auto answer = AnswerWithoutWindow(args);
    ASSERT_TRUE(answer.has_value()) << args.back();
    EXPECT_TRUE(answer->starts_with("Usage: corvinex ")) << *answer;
    EXPECT_NE(answer->find("--version"), std::string::npos);
  }
  // Qt's own options and anything unknown are Qt's business: the window starts.
  EXPECT_FALSE(AnswerWithoutWindow({}).has_value());
  EXPECT_FALSE(AnswerWithoutWindow({"-platform", "offscreen"}).has_value());
  EXPECT_FALSE(AnswerWithoutWindow({"--helpful"}).has_value());
  // Past "--" a word is a name, even one that looks like an option.
  EXPECT_FALSE(AnswerWithoutWindow({"--", "--help"}).has_value());
}

}  // namespace
}  // namespace corvinex
