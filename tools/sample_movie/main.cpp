// corvinex-sample: writes a sample doughnut movie for tests, demos and manual checks.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sample_encoder.h"

namespace {

constexpr const char* kUsage =
    "usage: corvinex-sample OUTPUT [--size WxH] [--frames N] [--fps F] [--no-sound]\n"
    "                       [--cut X1,Y1,X2,Y2[,RSIZE]] [--lossless]\n"
    "The container follows OUTPUT's extension (.mp4 .mov .mkv .avi .wmv .flv .mpg .3gp\n"
    ".webm .ogv ...). The Cut Area is in preview units (600 across the frame).\n";

bool ParseInt(const std::string& text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < -1000000 || v > 1000000) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  const auto x = text.find('x');
  return x != std::string::npos && ParseInt(text.substr(0, x), w) &&
         ParseInt(text.substr(x + 1), h);
}

bool ParseCut(const std::string& text, corvinex::RingGeometry& ring) {
  std::vector<int> values;
  size_t start = 0;
  while (start <= text.size()) {
    const auto comma = text.find(',', start);
    const std::string part =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int v = 0;
    if (!ParseInt(part, v)) return false;
    values.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (values.size() != 4 && values.size() != 5) return false;
  ring.X1 = values[0];
  ring.Y1 = values[1];
  ring.X2 = values[2];
  ring.Y2 = values[3];
  if (values.size() == 5) ring.RSIZE = values[4];
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "corvinex-sample: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  corvinex::sample::SampleMovieRecipe recipe;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--no-sound") {
      recipe.sound = false;
    } else if (a == "--lossless") {
      recipe.lossless = true;
    } else if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], recipe.width, recipe.height)) return Fail("bad --size " + args[i]);
    } else if (a == "--frames" && hasValue) {
      if (!ParseInt(args[++i], recipe.frames)) return Fail("bad --frames " + args[i]);
    } else if (a == "--fps" && hasValue) {
      auto rate = corvinex::sample::ParseFrameRate(args[++i]);
      if (!rate) return Fail("bad --fps " + args[i]);
      recipe.fps = *rate;
    } else if (a == "--cut" && hasValue) {
      if (!ParseCut(args[++i], recipe.ring)) return Fail("bad --cut " + args[i]);
    } else if (a.rfind("--", 0) == 0 || !recipe.output.empty()) {
      return Fail("unexpected argument " + a);
    } else {
      recipe.output = a;
    }
  }
  if (recipe.output.empty()) return Fail("no output file given");
  const std::string error = corvinex::sample::EncodeSampleMovie(recipe);
  if (!error.empty()) {
    std::fprintf(stderr, "corvinex-sample: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
