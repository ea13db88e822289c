#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/wine/WineTestSupport.h"

namespace tovalin::winetest {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  ::remove(path);
  return 0;
}

const char* const kKeyStamp = " 1700000000\n#time=1da0b5d0e3c8a00\n";

std::string Key(const std::string& path) {
  return "\n[" + path + "]" + kKeyStamp;
}

std::string Header(const std::string& relative, bool win64) {
  return "WINE REGISTRY Version 2\n;; All keys relative to " + relative +
         "\n\n#arch=" + (win64 ? "win64" : "win32") + "\n";
}

std::string LinkKey(const std::string& path, const std::string& target) {
  return Key(path) + "#link\n" + LinkValueLine(target) + "\n";
}

std::string SystemHive(bool win64) {
  std::string text = Header("REGISTRY\\\\Machine", win64);
  text += Key("Software\\\\Classes\\\\.txt") + "@=\"txtfile\"\n";
  text += Key("Software\\\\Classes\\\\Interface\\\\{00000000-0000-0000-C000-000000000046}") +
          "@=\"IUnknown\"\n";
  if (win64) {
    text += Key("Software\\\\Classes\\\\Wow6432Node\\\\.xls") + "@=\"Excel.Sheet.8\"\n";
    text += LinkKey("Software\\\\Classes\\\\Wow6432Node\\\\Interface",
                    "\\Registry\\Machine\\Software\\Classes\\Interface");
  }
  text += Key("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion") +
          "\"CommonFilesDir\"=\"C:\\\\Program Files\\\\Common Files\"\n";
  if (win64) text += "\"CommonFilesDir (x86)\"=\"C:\\\\Program Files (x86)\\\\Common Files\"\n";
  text += "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n";
  if (win64) text += "\"ProgramFilesDir (x86)\"=\"C:\\\\Program Files (x86)\"\n";
  text += Key("Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion") +
          "\"SystemRoot\"=\"C:\\\\windows\"\n";
  text += Key("Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList") +
          "\"ProgramData\"=str(2):\"C:\\\\ProgramData\"\n"
          "\"Public\"=str(2):\"C:\\\\users\\\\Public\"\n";
  text += Key("Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-"
              "0-0-1000") +
          "\"ProfileImagePath\"=\"C:\\\\users\\\\tester\"\n";
  text += Key("Software\\\\Wine\\\\Native") + "\"Where\"=\"64-bit\"\n";
  if (win64) {
    text += LinkKey("Software\\\\Wow6432Node\\\\Classes",
                    "\\Registry\\Machine\\Software\\Classes\\Wow6432Node");
    text += LinkKey(
        "Software\\\\Wow6432Node\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList",
        "\\Registry\\Machine\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    text += Key("Software\\\\Wow6432Node\\\\Wine\\\\Native") + "\"Where\"=\"32-bit\"\n";
  }
  text += Key("System\\\\CurrentControlSet\\\\Control\\\\ComputerName\\\\ComputerName") +
          "\"ComputerName\"=\"TESTBOX\"\n";
  text += Key("System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment") +
          "\"ComSpec\"=str(2):\"%SystemRoot%\\\\system32\\\\cmd.exe\"\n"
          "\"PATH\"=str(2):\"%SystemRoot%\\\\system32;%SystemRoot%\"\n"
          "\"PROCESSOR_ARCHITECTURE\"=\"AMD64\"\n"
          "\"TEMP\"=str(2):\"%SystemRoot%\\\\temp\"\n"
          "\"windir\"=str(2):\"%SystemRoot%\"\n";
  return text;
}

std::string UserHive(bool win64) {
  std::string text = Header("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", win64);
  text += Key("Environment") +
          "\"TEMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n"
          "\"TMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n";
  text += Key("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders") +
          "\"AppData\"=\"C:\\\\users\\\\tester\\\\AppData\\\\Roaming\"\n";
  text += Key("Volatile Environment") +
          "\"APPDATA\"=\"C:\\\\users\\\\tester\\\\AppData\\\\Roaming\"\n"
          "\"HOMEDRIVE\"=\"C:\"\n"
          "\"HOMEPATH\"=\"\\\\users\\\\tester\"\n"
          "\"HOMESHARE\"=\"\"\n"
          "\"LOCALAPPDATA\"=\"C:\\\\users\\\\tester\\\\AppData\\\\Local\"\n"
          "\"USERNAME\"=\"tester\"\n"
          "\"USERPROFILE\"=\"C:\\\\users\\\\tester\"\n";
  return text;
}

std::string DefaultUserHive(bool win64) {
  return Header("REGISTRY\\\\User\\\\.Default", win64) + Key("Keyboard Layout\\\\Preload") +
         "\"1\"=\"00000411\"\n";
}

}  // namespace

TempDir::TempDir(const std::string& tag) {
  std::string pattern = "/tmp/" + tag + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  // FTW_PHYS: never follow a link (drive Z: links to "/").
  nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string LinkValueLine(const std::string& target) {
  std::string line = "\"SymbolicLinkValue\"=hex(6):";
  char hex[8];
  for (std::size_t i = 0; i < target.size(); ++i) {
    std::snprintf(hex, sizeof(hex), "%02x,00", static_cast<unsigned char>(target[i]));
    if (i > 0) line += ",";
    line += hex;
  }
  return line;
}

TemplatePrefix::TemplatePrefix(bool win64) : dir_("tovalin-prefix") {
  WriteText(File("system.reg"), SystemHive(win64));
  WriteText(File("user.reg"), UserHive(win64));
  WriteText(File("userdef.reg"), DefaultUserHive(win64));
  MakeDirs(File("dosdevices"));
  MakeDirs(File("drive_c/windows/system32"));
  MakeDirs(File("drive_c/users/tester/Temp"));
  if (symlink("../drive_c", File("dosdevices/c:").c_str()) != 0 ||
      symlink("/", File("dosdevices/z:").c_str()) != 0) {
    throw std::runtime_error("cannot make the drive links");
  }
}

std::string TemplatePrefix::AddFile(const std::string& relative, const std::string& content) {
  const std::string full = File("drive_c/" + relative);
  MakeDirs(full.substr(0, full.find_last_of('/')));
  WriteText(full, content);
  return full;
}

void TemplatePrefix::AddFolder(const std::string& relative) {
  MakeDirs(File("drive_c/" + relative));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void MakeDirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  }
}

namespace {

std::vector<char*> CStrings(const std::vector<std::string>& items) {
  std::vector<char*> out;
  for (const std::string& item : items) out.push_back(const_cast<char*>(item.c_str()));
  out.push_back(nullptr);
  return out;
}

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}

}  // namespace

int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        std::string* output) {
  int pipeFds[2] = {-1, -1};
  if (output != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const std::string program = FindProgram(argv.at(0));
  std::vector<char*> args = CStrings(argv);
  std::vector<char*> envp = CStrings(env);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    if (output != nullptr) {
      dup2(pipeFds[1], 1);
      dup2(pipeFds[1], 2);
    } else {
      dup2(null, 1);
      dup2(null, 2);
    }
    execve(program.c_str(), args.data(), envp.data());
    _exit(127);
  }
  if (output != nullptr) {
    close(pipeFds[1]);
    output->clear();
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0) output->append(buffer, n);
    close(pipeFds[0]);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t Spawn(const std::string& file, const std::vector<std::string>& argv,
            const std::vector<std::string>& env) {
  const std::string program = FindProgram(file);
  std::vector<char*> args = CStrings(argv);
  std::vector<char*> envp = CStrings(env);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    setpgid(0, 0);
    execve(program.c_str(), args.data(), envp.data());
    _exit(127);
  }
  return pid;
}

bool WaitChild(pid_t pid, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || done < 0) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ProcessGone(pid_t pid) {
  if (kill(pid, 0) != 0) return true;
  // A zombie still answers kill(0) until its parent collects it.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const std::size_t close = text.rfind(')');
  return close == std::string::npos || (close + 2 < text.size() && text[close + 2] == 'Z');
}

std::vector<std::string> WineEnv(const std::string& prefix) {
  const char* home = std::getenv("HOME");
  return {"PATH=/usr/bin:/bin",   std::string("HOME=") + (home != nullptr ? home : "/root"),
          "WINEPREFIX=" + prefix, "WINEDEBUG=-all",
          "LANG=C.UTF-8",         "DISPLAY="};
}

bool WineAvailable() {
  return access("/usr/bin/wine", X_OK) == 0 && access("/usr/bin/wineserver", X_OK) == 0;
}

}  // namespace tovalin::winetest
