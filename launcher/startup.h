// The driver: role decision, start-up sequence and the phases after it.
#pragma once

namespace tarvex {

int run_launcher(int argc, wchar_t** argv);

}  // namespace tarvex
