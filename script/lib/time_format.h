// Time texts for the small library: strftime with the Windows C runtime's forms, and a
// caller's printf format applied to one integer without letting it reach printf unless
// it is exactly that.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace script {

// strftime as the Windows C runtime writes it in the "C" locale: %c is
// "12/09/26 02:43:19", %x "12/09/26", %X "02:43:19"; "#" drops leading zeros of numbers
// and gives the long forms of %c and %x; %z and %Z are the zone name. A conversion it
// does not know is written as it stands. The result is at most kMaxTimeText characters.
std::string FormatLocalTime(std::string_view format, const std::tm& time);
inline constexpr std::size_t kMaxTimeText = 4096;

// sprintf(format, value) for a format that holds one integer conversion (flags, width
// and precision up to 500, an optional length modifier, one of d i o u x X c) with plain
// text and "%%" around it; a format without a conversion is plain text. Anything else
// (%s, %n, "*", two conversions) is never given to printf: the value is written as
// "%d". The result is cut to 511 characters.
std::string FormatOneInteger(std::string_view format, std::int32_t value);

}  // namespace script
