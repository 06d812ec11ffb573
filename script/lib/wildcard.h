// Shell-style wildcards ("*.txt", "data?.[ch]", "{a,b}.dat") as regular expressions of
// the scripts' syntax: anchored at both ends and without regard to case (each letter
// becomes a bracket of its two cases; inside "{...}" letters keep their case).
#pragma once

#include <string>
#include <string_view>

namespace script {

std::string WildcardToRegex(std::string_view wildcard);

}  // namespace script
