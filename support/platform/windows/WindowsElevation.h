// Administrator's rights on Windows: whether this process has them, and starting a program with
// them (the UAC prompt). Wine gives every process a full administrator's token, and registers
// the "runas" verb of programs like "open": there both work, without a prompt.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace tovalin {

bool ProcessElevated();
long RunProgramElevated(std::string_view program, std::string_view parameters,
                        const std::function<void()>& waiting, std::uint32_t& exitCode);

}  // namespace tovalin
