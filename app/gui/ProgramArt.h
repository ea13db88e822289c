// The program's own pictures, drawn in code so that every size is sharp: the program icon, the
// banner of the main window, and a generic application icon for programs that carry none.
#pragma once

#include <QIcon>
#include <QImage>
#include <cstdint>
#include <vector>

namespace tovalin {

// Every size the program icon is drawn at, and what each drawing is for: the window's icon, the
// .ico of the Windows build (256 at most, none of the in-between desktop sizes) and the PNG
// files a Linux desktop looks for.
struct ProgramIconSize {
  int side;
  bool window;
  bool icoFile;
  bool desktop;
};
inline constexpr ProgramIconSize kProgramIconSizes[] = {
    {16, true, true, true},   {22, false, false, true}, {24, true, true, true},
    {32, true, true, true},   {48, true, true, true},   {64, true, true, true},
    {128, true, false, true}, {256, true, true, true},
};

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
