// A DLL that an application loads by name: helper_id names which copy was loaded.
extern "C" __declspec(dllexport) const char* helper_id() { return HELPER_ID; }
