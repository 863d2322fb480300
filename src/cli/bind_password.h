// The password of -binddn: the first line of the file -pwfile names, or typed at the
// terminal with echo off. Never an argument: the process list would show it.
#pragma once

#include <string>

#include "ops/run_settings.h"
#include "util/reporter.h"

namespace kestrel {

// The longest password line taken (a directory's own limit is far below it).
inline constexpr std::size_t kMaxBindPasswordBytes = 4096;

enum class PasswordLine { Read, TooLong, HoldsNul, Failed };

// Reads from `fd` up to the first line end (LF, or CR LF) or the end of the input into
// `password`, whose buffer is made large enough first so that no copy of a part of it is
// left behind; the bytes read past the line are wiped. On Failed, errno says why.
PasswordLine readPasswordLine(int fd, std::string& password);

// Fills `password` for the bind from -pwfile or the terminal, as UTF-8; the caller keeps
// the process out of core dumps first. False, with an `ERROR:` line, when there is none: the file
// cannot be read, no terminal, an empty password (it would bind anonymously), or one that
// is not valid text in the locale's encoding.
bool readBindPassword(Reporter& reporter, const RunSettings& settings, std::string& password);

}  // namespace kestrel
