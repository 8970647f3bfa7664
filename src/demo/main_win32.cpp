// The Windows program's entry: the data folder beside the program when the working
// directory has none, then the program's main (compiled as lumetra_main).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

int lumetra_main();

namespace {

bool HasDataFolder(const std::wstring& folder) {
  const DWORD attributes = GetFileAttributesW((folder + L"data").c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder of the program file with its trailing backslash; empty when unknown.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: the path is longer
  }
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// Double-clicked, started by a shortcut whose "Start in" is elsewhere, or typed from
// another folder's prompt: the files are read from beside the program. A working
// directory with its own data folder is kept.
void UseProgramFolderForData() {
  if (HasDataFolder(L"")) return;
  const std::wstring folder = ProgramFolder();
  if (!folder.empty() && HasDataFolder(folder)) SetCurrentDirectoryW(folder.c_str());
}

}  // namespace

int main() {
  UseProgramFolderForData();
  return lumetra_main();
}
