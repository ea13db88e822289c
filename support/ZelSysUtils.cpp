#include "support/ZelSysUtils.h"

#include <array>

#include "support/Text.h"
#include "support/ZelRegistry.h"

namespace tovalin {

namespace {

constexpr std::array<std::string_view, 4> kProgramExtensions = {"exe", "dll", "com", "bat"};
constexpr std::array<std::string_view, 3> kSystemFolders = {"%windir%", "%windir%\\system32",
                                                            "%windir%\\system"};

constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";  // U+3000 in UTF-8

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// The value of a variable, or nothing when it is unset or empty (GetEnvironmentVariable's 0).
// Values are taken whole: a fixed buffer would silently turn a long value into an empty one.
// "%name%", appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict overlap for
// "%" + std::string(...).
std::string PercentToken(std::string_view name) {
  std::string token;
  token.reserve(name.size() + 2);
  token += '%';
  token += name;
  token += '%';
  return token;
}

std::optional<std::string> LookUp(Platform& platform, std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::optional<std::string> value = platform.Environment().GetVariable(name);
  if (!value || value->empty()) return std::nullopt;
  const std::size_t nul = value->find('\0');
  if (nul != std::string::npos) value->resize(nul);
  if (value->empty()) return std::nullopt;
  return value;
}

// Steps over one character of UTF-8 text so that no byte of a multi-byte sequence is taken
// for a delimiter or a blank.
std::size_t NextChar(std::string_view text, std::size_t at) {
  const auto c = static_cast<unsigned char>(text[at]);
  std::size_t len = 1;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
  }
  std::size_t next = at + 1;
  while (next < text.size() && next < at + len &&
         (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
    ++next;
  }
  return next;
}

// The start of the last character of non-empty UTF-8 text.
std::size_t LastCharStart(std::string_view text) {
  std::size_t at = text.size() - 1;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80 && text.size() - at < 4) {
    --at;
  }
  return at;
}

// A quoted run starting at text[at] == '"'. Doubled quotes stand for one; a run without its
// closing quote takes the rest of the text less its last character.
std::string QuotedRun(std::string_view text, std::size_t& at) {
  std::string content;
  std::size_t i = at + 1;
  bool closed = false;
  while (i < text.size()) {
    if (text[i] == '"') {
      if (i + 1 < text.size() && text[i + 1] == '"') {
        content.push_back('"');
        i += 2;
        continue;
      }
      ++i;
      closed = true;
      break;
    }
    content.push_back(text[i]);
    ++i;
  }
  at = i;
  if (!closed && !content.empty()) content.resize(LastCharStart(content));
  return content;
}

bool HasExtension(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\:");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return false;
  return cut == std::string_view::npos || dot > cut;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  return AsciiLowerCase(text).find(AsciiLowerCase(part)) != std::string::npos;
}

// The existing file X names, X with a program extension, or "".
std::string WithExtensions(Platform& platform, const std::string& path) {
  if (FileExists(platform, path)) return path;
  if (!HasExtension(path)) {
    for (std::string_view ext : kProgramExtensions) {
      std::string candidate = path + "." + std::string(ext);
      if (FileExists(platform, candidate)) return candidate;
    }
  }
  return {};
}

}  // namespace

bool FileExists(Platform& platform, std::string_view path) {
  // A name with wildcards is a search pattern, not a file; a trailing separator names a folder.
  if (path.empty() || path.back() == '\\' || path.back() == '/') return false;
  const std::string_view name = path.starts_with("\\\\?\\") ? path.substr(4) : path;
  if (name.find_first_of("*?") != std::string_view::npos) return false;
  const std::uint32_t attributes = platform.Files().GetFileAttributes(path);
  return attributes != win::kInvalidFileAttributes &&
         (attributes & win::kFileAttributeDirectory) == 0;
}

std::string GetEnvironmentValue(Platform& platform, std::string_view name) {
  if (std::optional<std::string> value = LookUp(platform, name)) return *value;
  return PercentToken(name);
}

std::string ExpandEnvironmentText(Platform& platform, std::string_view text) {
  // The text is kept as runs still to be scanned and values already inserted. A token is
  // replaced everywhere from its place on, and none of the inserted values is ever scanned:
  // a value that holds its own token (or another's) cannot make the expansion run away.
  struct Run {
    std::string text;
    bool inserted = false;
  };
  std::vector<Run> runs{{std::string(text), false}};
  std::size_t current = 0;
  std::size_t scan = 0;
  while (current < runs.size()) {
    if (runs[current].inserted) {
      ++current;
      scan = 0;
      continue;
    }
    const std::string& w = runs[current].text;
    const std::size_t open = w.find('%', scan);
    const std::size_t close = open == std::string::npos ? open : w.find('%', open + 1);
    if (close == std::string::npos) {
      ++current;
      scan = 0;
      continue;
    }
    const std::string name = w.substr(open + 1, close - open - 1);
    std::optional<std::string> value = LookUp(platform, name);
    if (!value) {
      scan = close + 1;
      continue;
    }
    const std::string token = PercentToken(name);
    std::vector<Run> next(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(current));
    std::size_t resume = 0;  // the run after the first inserted value
    for (std::size_t k = current; k < runs.size(); ++k) {
      if (runs[k].inserted) {
        next.push_back(std::move(runs[k]));
        continue;
      }
      std::string_view rest = runs[k].text;
      if (k == current) {
        next.push_back(Run{std::string(rest.substr(0, open)), false});
        rest.remove_prefix(open);
      }
      std::size_t found;
      while ((found = rest.find(token)) != std::string_view::npos) {
        next.push_back(Run{std::string(rest.substr(0, found)), false});
        next.push_back(Run{*value, true});
        if (resume == 0) resume = next.size();
        rest.remove_prefix(found + token.size());
      }
      next.push_back(Run{std::string(rest), false});
    }
    runs = std::move(next);
    current = resume;
    scan = 0;
  }
  std::string result;
  for (const Run& run : runs) result += run.text;
  return result;
}

std::string ExpandPathVariables(Platform& platform, std::string_view path) {
  std::string result;
  std::string_view rest = path;
  std::size_t p = rest.find('%');
  while (p != std::string_view::npos) {
    result.append(rest.substr(0, p));
    rest.remove_prefix(p + 1);
    std::size_t b = rest.find('\\');
    p = rest.find('%');
    if (p == std::string_view::npos) {
      result.push_back('%');
      break;
    }
    if (b == std::string_view::npos || p > b) {
      // A separator comes before the next "%": this one was no token.
      result.push_back('%');
      result.append(rest.substr(0, p + 1));
      rest.remove_prefix(p + 1);
    } else {
      const std::string_view name = rest.substr(0, p);
      rest.remove_prefix(p + 1);
      result.append(GetEnvironmentValue(platform, name));
      b = rest.find('\\');
      if (b != std::string_view::npos) {
        result.append(rest.substr(0, b + 1));
        rest.remove_prefix(b + 1);
      }
    }
    p = rest.find('%');
  }
  result.append(rest);
  return result;
}

std::string GetCommandFileName(Platform& platform, std::string_view commandLine) {
  std::size_t first = 0;
  std::size_t last = commandLine.size();
  while (first < last && static_cast<unsigned char>(commandLine[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(commandLine[last - 1]) <= 32) --last;
  const std::string t(commandLine.substr(first, last - first));
  if (FileExists(platform, t)) return t;

  // "\SystemRoot\System32\x.exe": the first component is tried as a variable name.
  if (t.size() > 1 && t[0] == '\\') {
    const std::size_t second = t.find('\\', 1);
    if (second != std::string::npos) {
      const std::string x = ExpandPathVariables(
          platform, PercentToken(std::string_view(t).substr(1, second - 1)) + t.substr(second));
      if (FileExists(platform, x)) return x;
    }
  }

  std::string head;
  if (const std::size_t slash = t.find(" /"); slash != std::string::npos) head = t.substr(0, slash);
  if (const std::size_t dash = t.find(" -"); dash != std::string::npos) head = t.substr(0, dash);
  std::vector<std::string> items = SplitQuoted(t, ' ');
  if (!head.empty()) items.insert(items.begin(), head);

  for (const std::string& item : items) {
    std::string x = item.starts_with("\\??\\") ? item.substr(4) : item;
    if (x.find(',') != std::string::npos) {
      // "shell32.dll,Control_RunDLL" or "x.exe,1": the file is the first part.
      const std::vector<std::string> parts = SplitQuoted(x, ',');
      if (parts.empty()) continue;
      x = parts.front();
    }
    if (ContainsNoCase(x, "rundll32")) continue;
    x = ExpandPathVariables(platform, x);
    if (std::string found = WithExtensions(platform, x); !found.empty()) return found;
    if (item.size() >= 2 && item[1] == ':') continue;
    for (std::string_view folder : kSystemFolders) {
      const std::string y = ExpandPathVariables(platform, std::string(folder) + "\\" + x);
      if (std::string found = WithExtensions(platform, y); !found.empty()) return found;
    }
  }
  return {};
}

std::vector<std::string> SplitQuoted(std::string_view text, char delimiter) {
  // The text ends at its first NUL, as a C string would.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    text = text.substr(0, nul);
  }
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  while (i < n) {
    if (text[i] == '"') {
      items.push_back(QuotedRun(text, i));
    } else {
      const std::size_t start = i;
      while (i<n&& static_cast<unsigned char>(text[i])> 32 && text[i] != delimiter) {
        i = NextChar(text, i);
      }
      items.emplace_back(text.substr(start, i - start));
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i < n && text[i] == delimiter) {
      if (i + 1 == n) items.emplace_back();
      ++i;
      while (i < n && IsBlank(text[i])) ++i;
    }
  }

  // An item that still begins with a quote opens a group that the first item ending in a quote
  // closes; the items in between belong to it.
  const std::string separator(1, delimiter);
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (!items[k].starts_with('"')) continue;
    std::string group = items[k];
    std::size_t end = k + 1;
    bool closed = false;
    for (; end < items.size(); ++end) {
      const std::string& next = items[end];
      if (!next.empty() && next.back() == '"') {
        group += separator + next.substr(0, next.size() - 1);
        closed = true;
        break;
      }
      group += separator + next;
    }
    if (closed) {
      items[k] = group;
      for (std::size_t m = k + 1; m <= end; ++m) items[m].clear();
      k = end;
    } else {
      for (std::size_t m = k + 1; m < items.size(); ++m) items[m].clear();
      break;
    }
  }

  std::vector<std::string> result;
  for (std::string& item : items) {
    if (!item.empty()) result.push_back(std::move(item));
  }
  return result;
}

bool SetTokenPrivilege(Platform& platform, TokenHandle token, std::string_view privilegeName,
                       bool enable) {
  IProcesses& processes = platform.Processes();
  if (!processes.LookupPrivilege(privilegeName)) return false;
  // Success of the call alone is not enough: a privilege the account lacks is reported only
  // through the last error.
  return processes.AdjustPrivilege(token, privilegeName, enable) == win::kSuccess;
}

std::string ReplaceAllText(std::string_view source, std::string_view oldPattern,
                           std::string_view newPattern) {
  // UTF-8 is self-synchronising, so a byte match of valid text is exactly a match of its UTF-16
  // units; working on the bytes also leaves a source that is not valid UTF-8 untouched.
  if (oldPattern.empty()) return std::string(source);
  std::string result;
  std::size_t at = 0;
  while (true) {
    const std::size_t found = source.find(oldPattern, at);
    if (found == std::string_view::npos) break;
    result.append(source.substr(at, found - at));
    result.append(newPattern);
    at = found + oldPattern.size();
  }
  result.append(source.substr(at));
  return result;
}

std::string GetShellFolderPath(Platform& platform, std::string_view folderName) {
  TZelRegistry registry(platform.Registry());
  registry.SetRoot(RootKey::CurrentUser);
  if (!registry.OpenKeyRead("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                            "Folders")) {
    return {};
  }
  std::string path = registry.ReadText(folderName);
  registry.CloseCurrent();
  return path;
}

std::string TrimWideSpaces(std::string_view text) {
  while (true) {
    if (text.starts_with(' ')) {
      text.remove_prefix(1);
    } else if (text.starts_with(kFullWidthSpace)) {
      text.remove_prefix(kFullWidthSpace.size());
    } else {
      break;
    }
  }
  while (true) {
    if (text.ends_with(' ')) {
      text.remove_suffix(1);
    } else if (text.ends_with(kFullWidthSpace)) {
      text.remove_suffix(kFullWidthSpace.size());
    } else {
      break;
    }
  }
  return std::string(text);
}

}  // namespace tovalin
