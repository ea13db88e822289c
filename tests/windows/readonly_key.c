/* Makes registry keys read-only for the rest of the wineserver session, as a standard user sees
   the machine's keys under UAC: wineserver enforces a key's DACL while it runs, and does not save
   it to the hive files. Start a persistent server first (wineserver -p) and keep it up.
   Usage: readonly_key.exe KEY...   with KEY like HKLM\Software\Classes\VBSFile (32-bit view). */
#include <windows.h>
/* sddl.h needs windows.h first. */
#include <sddl.h>
#include <stdio.h>
#include <wchar.h>

static HKEY Root(const wchar_t* name, const wchar_t** rest) {
  static const struct {
    const wchar_t* name;
    HKEY root;
  } roots[] = {{L"HKLM\\", HKEY_LOCAL_MACHINE},
               {L"HKCU\\", HKEY_CURRENT_USER},
               {L"HKCR\\", HKEY_CLASSES_ROOT},
               {L"HKU\\", HKEY_USERS}};
  for (size_t i = 0; i < sizeof(roots) / sizeof(roots[0]); ++i) {
    const size_t length = wcslen(roots[i].name);
    if (_wcsnicmp(name, roots[i].name, length) == 0) {
      *rest = name + length;
      return roots[i].root;
    }
  }
  return NULL;
}

int wmain(int argc, wchar_t** argv) {
  PSECURITY_DESCRIPTOR descriptor = NULL;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;CI;KR;;;WD)", SDDL_REVISION_1,
                                                            &descriptor, NULL)) {
    fwprintf(stderr, L"bad descriptor: %lu\n", GetLastError());
    return 1;
  }
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    const wchar_t* path = NULL;
    const HKEY root = Root(argv[i], &path);
    HKEY key = NULL;
    LONG result = root == NULL ? ERROR_INVALID_PARAMETER
                               : RegOpenKeyExW(root, path, 0, WRITE_DAC | KEY_WOW64_32KEY, &key);
    if (result == ERROR_SUCCESS) {
      result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
      RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) {
      fwprintf(stderr, L"%ls: %ld\n", argv[i], result);
      failed = 1;
    }
  }
  LocalFree(descriptor);
  return failed;
}
