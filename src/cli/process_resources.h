#pragma once
// What this process holds at the moment: resident memory and open file
// descriptors, read from /proc so a long batch run can show any growth.

#include <cstdint>
#include <string>

namespace corvinex {

struct ProcessResources {
  int64_t residentKb = -1;  // VmRSS; -1 when it could not be read
  int32_t openFiles = -1;   // entries of /proc/self/fd, less the one used to list them
  std::string problem;      // why a figure is missing (empty when both were read)
};

ProcessResources ReadProcessResources();

// "resident memory 23456 kB, open files 7", naming what could not be read.
std::string ResourcesText(const ProcessResources& resources);

}  // namespace corvinex
