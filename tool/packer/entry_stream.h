// The application's files as one compressed entry stream: the payload resource bytes.
#pragma once
#include <vector>

#include "payload/writer.h"
#include "tool/packer/app_folder.h"

namespace tarvex::packer {

struct Compression {
  int level = 19;
  int workers = 1;  // at least 1: the frame is then the same for every worker count
  bool checksum = true;
};

// Streams the files, in order, into one Zstandard frame whose window is the smallest
// power of two holding the whole entry stream, and returns the resource bytes in
// `resource`. File contents are read in slices, never held whole. A file that cannot
// be read, or whose size changes while it is read, is refused, and the failure names it.
Failure compress_entries(const std::vector<AppFile>& files, const Compression& compression, Bytes* resource);

}  // namespace tarvex::packer
