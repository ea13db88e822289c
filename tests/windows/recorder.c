/* Stands in for the programs the desktop starts for an address (a mail client, a browser): it
   appends its command line, as UTF-8, to the file named by TOVALIN_RECORD_FILE and ends. */
#include <stdio.h>
#include <windows.h>

int wmain(void) {
  wchar_t file[MAX_PATH];
  if (GetEnvironmentVariableW(L"TOVALIN_RECORD_FILE", file, MAX_PATH) == 0) return 1;
  const wchar_t* line = GetCommandLineW();
  int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, NULL, 0, NULL, NULL);
  char* text = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size);
  if (text == NULL) return 1;
  WideCharToMultiByte(CP_UTF8, 0, line, -1, text, size, NULL, NULL);
  FILE* out = _wfopen(file, L"ab");
  if (out == NULL) return 1;
  fprintf(out, "%s\n", text);
  fclose(out);
  return 0;
}
