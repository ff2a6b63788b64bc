// The process-wide state that the Launcher's phases and its console handler share.
#include "launcher/state.h"

namespace tarvex {

WideBuffer<kPathCapacity> g_extraction_dir;
std::atomic<unsigned char> g_removal_flag{0};
std::atomic<HANDLE> g_child_process{nullptr};

}  // namespace tarvex
