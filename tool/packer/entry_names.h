// Payload entry names: conversion from file-system names and the rules Windows sets for file names.
#pragma once
#include <string>

#include "tool/failure.h"

namespace tarvex::packer {

// UTF-8 to UTF-16. False for text that is not valid UTF-8: a cut or stray sequence
// byte, an overlong form, an encoded surrogate, a value above U+10FFFF.
bool utf8_to_utf16(const std::string& text, std::u16string* out);
// UTF-16 to UTF-8 for display; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(const std::u16string& text);
// False when the text holds an unpaired surrogate.
bool is_valid_utf16(const std::u16string& text);

// The code units of a wide text, whose wchar_t is 16 bits on Windows and 32 on Linux.
std::u16string to_utf16(const wchar_t* text, size_t size);

// Whether Windows can create a file of this relative, backslash-separated name below a
// folder and the Launcher can take it; the failure says why not.
Failure check_entry_name(const std::u16string& name);

// The name with its letters in upper case, unit by unit, the way Windows compares file
// names: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters are folded; other
// units are kept. The same on every host, unlike the C library's towupper.
std::u16string fold_case(const std::u16string& name);

}  // namespace tarvex::packer
