// The words for a Win32 error code, as a Japanese Windows gives them, for the machines that have
// no FormatMessage of their own (a Wine prefix seen from Linux, the tests' machine).
#pragma once

#include <string>

namespace tovalin {

std::string Win32ErrorText(long code);

}  // namespace tovalin
