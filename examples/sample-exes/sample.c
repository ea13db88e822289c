/* A stand-in for an Office program in the sample prefix: it carries the version resource and the
   icons that Tovalin reads, and when started it only shows a message until it is closed, so the
   running-application guard has something to find. */
#include <windows.h>

#ifndef SAMPLE_TEXT
#define SAMPLE_TEXT L"Tovalin sample program"
#endif

void start(void) {
  MessageBoxW(NULL, SAMPLE_TEXT, L"Tovalin sample", MB_OK | MB_ICONINFORMATION);
  ExitProcess(0);
}
