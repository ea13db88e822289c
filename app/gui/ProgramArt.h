// The program's own pictures, drawn in code so that every size is sharp: the program icon, the
// banner of the main window, and a generic application icon for programs that carry none.
#pragma once

#include <QIcon>
#include <QImage>
#include <cstdint>
#include <vector>

namespace tovalin {

QImage ProgramIconImage(int size);
QIcon ProgramIcon();
// 88 x 31.
QImage BannerImage();
// The system's generic application icon.
QImage ApplicationIconImage(int size);

// The system's message icons, used for the item kinds: 0 information, 1 question, 2 warning.
enum class SystemIconKind { Information, Question, Warning };
QImage SystemIconImage(SystemIconKind kind, int size);

// The image of the entry of an .ico file that fits `size` best; null when the data is no icon.
QImage IconImageFromIco(const std::vector<std::uint8_t>& ico, int size);

}  // namespace tovalin
