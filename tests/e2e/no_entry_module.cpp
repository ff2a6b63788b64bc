// A module that loads but exports no run_code.
extern "C" __declspec(dllexport) int something_else(int argc, wchar_t**) { return argc; }
