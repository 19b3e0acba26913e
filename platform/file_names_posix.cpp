#include "platform/file_names.h"

namespace platform {

std::string ComparableName(std::string name) { return name; }

}  // namespace platform
