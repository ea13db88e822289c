// SHA-256 of a byte string, as lower-case hexadecimal: a plan handed to an elevated process is
// named by its digest on the command line, so that what the user allowed is what is applied.
#pragma once

#include <string>
#include <string_view>

namespace tovalin {

std::string Sha256Hex(std::string_view bytes);

}  // namespace tovalin
