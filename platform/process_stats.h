#pragma once
// What the running process uses, for the state dumps of long runs.

namespace quorel::platform {

// The peak resident memory of the process so far, in KiB (VmHWM); -1 when unknown.
long peakResidentKb();

// The descriptors the process has open (the entries of /proc/self/fd, less the one that
// lists them); -1 when unknown.
int openDescriptorCount();

}  // namespace quorel::platform
