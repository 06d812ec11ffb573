// The process's standard streams as scripts use them: the first use of each switches it
// to binary mode and, when it is a terminal, makes it unbuffered.
#pragma once

#include <cstdio>

namespace script {

std::FILE* StandardInput();
std::FILE* StandardOutput();
std::FILE* StandardError();

}  // namespace script
