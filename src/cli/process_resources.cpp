#include "cli/process_resources.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace corvinex {
namespace {

// VmRSS from /proc/self/status ("VmRSS:     23456 kB").
int64_t ReadResidentKb(std::string& problem) {
  std::ifstream status("/proc/self/status");
  if (!status) {
    problem += "cannot open /proc/self/status; ";
    return -1;
  }
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    try {
      return std::stoll(line.substr(6));
    } catch (const std::exception&) {
      break;
    }
  }
  problem += "no VmRSS line in /proc/self/status; ";
  return -1;
}

int32_t CountOpenFiles(std::string& problem) {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) {
    problem += std::string("cannot list /proc/self/fd: ") + std::strerror(errno) + "; ";
    return -1;
  }
  int32_t count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count - 1;  // the listing's own descriptor
}

}  // namespace

ProcessResources ReadProcessResources() {
  ProcessResources r;
  r.residentKb = ReadResidentKb(r.problem);
  r.openFiles = CountOpenFiles(r.problem);
  if (r.problem.size() >= 2) r.problem.resize(r.problem.size() - 2);
  return r;
}

std::string ResourcesText(const ProcessResources& r) {
  std::string text = "resident memory ";
  text += r.residentKb >= 0 ? std::to_string(r.residentKb) + " kB" : "unknown";
  text += ", open files ";
  text += r.openFiles >= 0 ? std::to_string(r.openFiles) : "unknown";
  if (!r.problem.empty()) text += " (" + r.problem + ")";
  return text;
}

}  // namespace corvinex
