// The worlds of the host test binary. The cross-built binary for Windows lists its own.
#include "tests/World.h"

namespace tovalin::test {

std::vector<WorldParam> AllWorlds() {
  return {WorldParam{"Memory", MakeMemoryWorld}, WorldParam{"WinePrefix", MakeWineWorld}};
}

}  // namespace tovalin::test
