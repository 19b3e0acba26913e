#include <windows.h>

#include "platform/file_names.h"

namespace platform {

std::string ComparableName(std::string_view name) {
  std::string upper(name);
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

}  // namespace platform
