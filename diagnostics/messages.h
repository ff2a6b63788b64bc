// Every message the Launcher prints, in one place.
#pragma once

namespace tarvex::msg {

inline constexpr char kExpandSpec[] = "Error, couldn't runtime expand spec '%ls'.\n";
inline constexpr char kSignalHandler[] = "Error, failed to register signal handler.";
inline constexpr char kAttachedHeader[] = "Error, couldn't find attached data header.";
inline constexpr char kAllocate[] = "Error, couldn't allocate memory.";
inline constexpr char kDecode[] = "Error, couldn't decode attached data.";
inline constexpr char kOpenForWriting[] = "Error, failed to open '%ls' for writing.\n";
inline constexpr char kUnpack[] = "Error, couldn't unpack file to target path.";
inline constexpr char kLoadDll[] = "Error, load DLL.";
inline constexpr char kEntryPoint[] = "Error, DLL entry point not found.";
inline constexpr char kLaunchChild[] = "Error, couldn't launch child";
// The parent makes its extraction folder itself; one that exists already is not its own.
inline constexpr char kExtractionDirExists[] = "Error, the extraction folder '%ls' exists already.\n";
inline constexpr char kCreateExtractionDir[] = "Error, couldn't create the extraction folder '%ls' ([Error %ld] %s).\n";

// Limits that input from outside the program can reach: what did not fit.
inline constexpr char kEnvValueTooLong[] = "Error, an environment value does not fit its buffer.";
inline constexpr char kParentNotDecimal[] =
    "Error, TARVEX_ONEFILE_PARENT holds a character that is not a decimal digit.";
inline constexpr char kPathTooLong[] = "Error, a path does not fit its 4096-character buffer.";
inline constexpr char kExePathTooLong[] = "Error, the executable path does not fit its buffer.";
inline constexpr char kEntryNameTooLong[] = "Error, a payload entry name does not fit 1023 characters.";
inline constexpr char kModulePathTooLong[] = "Error, the path of the first payload entry does not fit 1023 characters.";
inline constexpr char kCommandLineTooLong[] = "Error, the command line for the child does not fit 32767 characters.";
inline constexpr char kSplitCommandLine[] = "Error, couldn't split the command line.";
inline constexpr char kBadEntryName[] = "Error, the payload entry '%ls' cannot be a file name on Windows.\n";
inline constexpr char kNoModule[] = "Error, the payload holds no module to start.";
inline constexpr char kParentNotRecognised[] =
    "Error, this instance was started as a child but could not recognise its parent.";

// The executable whose path is to be resolved cannot be opened (carries the system error).
inline constexpr char kOpenExecutable[] = "Error, couldn't open the executable to resolve its path.";

}  // namespace tarvex::msg
