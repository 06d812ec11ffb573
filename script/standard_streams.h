// The process's standard streams as scripts use them: the first use of each switches it
// to binary mode and, when it is a terminal, makes it unbuffered.
#pragma once

#include <cstdio>

namespace script {

std::FILE* StandardInput();
// Standard input for a stream's file source, which closes what it reads from: a separate
// unbuffered handle, so it reads no further than the script does and closing it leaves
// the process's standard input open. Null when it cannot be made.
std::FILE* StandardInputForSource();
std::FILE* StandardOutput();
std::FILE* StandardError();

}  // namespace script
