// PENDING(userinfo): replaced by the registered user information.
#include "office/ZelMso.h"

namespace tovalin {
void TZelMso::ReadUserInfo() {}
void TZelMso::WriteUserInfo(std::string_view, std::string_view, std::string_view) {}
}  // namespace tovalin
