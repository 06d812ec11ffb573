// The Windows C runtime's random generator (srand/rand), process-wide: scripts move
// between machines, so a seed gives the same sequence everywhere.
#pragma once

#include <cstdint>

namespace script {

void SeedRandom(std::uint32_t seed);
// The next value, 0 to 32767.
int NextRandom();

}  // namespace script
