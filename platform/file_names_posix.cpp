#include "platform/file_names.h"

namespace platform {

std::string ComparableName(std::string_view name) { return std::string(name); }

}  // namespace platform
