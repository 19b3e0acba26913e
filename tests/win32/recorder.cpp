// Stands in for the patcher's copy: writes its command line to "recorded.txt" and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
  const char* commandLine = GetCommandLineA();
  FILE* out = std::fopen("recorded.txt.part", "wb");
  if (out == nullptr) return 1;
  std::fwrite(commandLine, 1, std::strlen(commandLine), out);
  std::fclose(out);
  return MoveFileExA("recorded.txt.part", "recorded.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
