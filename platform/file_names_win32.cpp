#include <windows.h>

#include "platform/file_names.h"

namespace platform {

std::string ComparableName(std::string name) {
  if (!name.empty()) CharUpperBuffA(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

}  // namespace platform
