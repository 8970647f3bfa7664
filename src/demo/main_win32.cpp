// The Windows program's entry: the data folder beside the program unless the working
// directory's holds the production's files, then the program's main (compiled as
// lumetra_main).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

int lumetra_main();

namespace {

// Every file the run reads from the data folder.
constexpr const wchar_t* kDataFiles[] = {
    L"loading.tqz", L"intro1.tqz",  L"checkers.tqz", L"checkers2.tqz", L"flare.tqz",
    L"flare2.tqz",  L"greets1.tqz", L"greets2.tqz",  L"greets3.tqz",   L"lumetra.mp3"};

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether `folder` (empty: the working directory) has a data folder holding every
// file of the production.
bool HasProductionData(const std::wstring& folder) {
  for (const wchar_t* file : kDataFiles) {
    const DWORD attributes = GetFileAttributesW((folder + L"data\\" + file).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return false;
  }
  return true;
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
// directory whose data folder holds the production's files is kept; a data folder of
// something else does not count.
void UseProgramFolderForData() {
  if (HasProductionData(L"")) return;
  const std::wstring folder = ProgramFolder();
  if (!folder.empty() && IsFolder(folder + L"data")) SetCurrentDirectoryW(folder.c_str());
}

}  // namespace

int main() {
  UseProgramFolderForData();
  return lumetra_main();
}
