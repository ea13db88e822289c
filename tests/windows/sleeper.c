/* Stands in for an Office program in the process tests: it runs, under whatever name it was
   copied to, until it is terminated or the test program that started it (whose process id is
   its only argument) ends. */
#include <stdlib.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) {
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)wcstoul(argv[1], NULL, 10));
    if (parent != NULL) {
      WaitForSingleObject(parent, INFINITE);
      return 0;
    }
  }
  Sleep(INFINITE);
  return 0;
}
