// Every line the packer `tarvex` prints on standard error, in one place. An error line
// has one form, the program, the file it concerns, what went wrong:
//   tarvex: FILE: WHAT THE PACKER COULD NOT DO: WHY
// and the command then exits with 2. A warning line has the same form.
#pragma once

namespace tarvex::tool_msg {

inline constexpr char kProgram[] = "tarvex";

// What the packer could not do with the file, put between the file and the reason.
inline constexpr char kCannotRead[] = "cannot read";
inline constexpr char kCannotWrite[] = "cannot write";
inline constexpr char kCannotAttach[] = "cannot attach a payload to it";
inline constexpr char kCannotPack[] = "cannot pack";
inline constexpr char kBadLauncher[] = "cannot pack into it as the Launcher";
inline constexpr char kCannotExtract[] = "cannot extract";
inline constexpr char kBadIcon[] = "cannot use it as the icon";
inline constexpr char kBadAppVersion[] = "cannot use it as --app-version";
inline constexpr char kBadVersionFrom[] = "cannot take its version record";
inline constexpr char kBadRecord[] = "cannot write its version record";
inline constexpr char kBadManifest[] = "cannot use it as the manifest";
// The reason alone says it all: a damaged payload, a --cache-dir template.
inline constexpr char kNothing[] = "";

// Warnings, after the file they concern; the command goes on.
inline constexpr char kEmptyFolderLeftOut[] = "warning: the empty folder is left out: a payload holds files only";
inline constexpr char kCacheDirShared[] =
    "warning: it does not start with {CACHE_DIR}, {HOME} or {TEMP}: other accounts may be able to write on the way "
    "to the folder";
inline constexpr char kOutputLeftOut[] = "warning: the output lies in the application folder and is left out";

}  // namespace tarvex::tool_msg
