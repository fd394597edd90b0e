#include "transport/executable_file.h"

#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace nc {
namespace {

struct LoadedSegment {
  uintptr_t start;  // address in memory
  size_t size;      // bytes that come from the file
  off_t offset;     // where they come from
};

struct Executable {
  int descriptor = -1;
  std::vector<LoadedSegment> segments;
};

// Writable segments are left out: relocations and the program itself change
// them in memory, so the file no longer holds what the memory does.
int collectReadOnlySegments(dl_phdr_info* info, size_t, void* result) {
  auto& segments = *static_cast<std::vector<LoadedSegment>*>(result);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || (header.p_flags & PF_W) != 0) continue;
    segments.push_back({info->dlpi_addr + header.p_vaddr, header.p_filesz, static_cast<off_t>(header.p_offset)});
  }
  return 1;  // the first object listed is the program itself; the libraries are not needed
}

// Bytes this file compiles into a read-only segment, to check the mapping once.
constexpr char probe[] = "nodeconsole executable file probe";

std::optional<FileSpan> spanIn(const Executable& executable, const void* data, size_t size) {
  const auto address = reinterpret_cast<uintptr_t>(data);
  for (const LoadedSegment& segment : executable.segments) {
    if (address < segment.start || address - segment.start > segment.size) continue;
    if (size > segment.size - (address - segment.start)) return std::nullopt;
    return FileSpan{executable.descriptor, segment.offset + static_cast<off_t>(address - segment.start)};
  }
  return std::nullopt;
}

// Opened once; /proc/self/exe names the file the process was started from
// even after a package upgrade has replaced or removed it.
Executable openExecutable() {
  Executable executable;
  executable.descriptor = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (executable.descriptor < 0) return {};
  dl_iterate_phdr(collectReadOnlySegments, &executable.segments);
  // A packed or otherwise rewritten executable does not hold its segments as
  // loaded; then nothing is sent from it.
  char read[sizeof probe];
  auto span = spanIn(executable, probe, sizeof probe);
  if (!span || ::pread(executable.descriptor, read, sizeof read, span->offset) != static_cast<ssize_t>(sizeof read) ||
      std::memcmp(read, probe, sizeof probe) != 0) {
    ::close(executable.descriptor);
    return {};
  }
  return executable;
}

}  // namespace

std::optional<FileSpan> executableFileSpan(const void* data, size_t size) {
  static const Executable executable = openExecutable();
  if (executable.descriptor < 0) return std::nullopt;
  return spanIn(executable, data, size);
}

}  // namespace nc
