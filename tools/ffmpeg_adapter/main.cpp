// The encoder tool of the PLUG-IN folder. It replaces itself with the system ffmpeg,
// so the caller sees ffmpeg's own error stream and exit status.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert/ffmpeg_rewrite.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::vector<std::string> command = corvinex::RewriteForFfmpeg(args);
  std::vector<char*> pointers;
  pointers.reserve(command.size() + 1);
  for (auto& a : command) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  execvp(pointers[0], pointers.data());
  std::fprintf(stderr, "ffmpeg_III: cannot run %s: %s\n", pointers[0], std::strerror(errno));
  return 127;
}
