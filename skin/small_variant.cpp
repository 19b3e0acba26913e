#include "skin/small_variant.h"

std::string SmallVariantName(const std::string& name) {
  if (name.empty()) return name;
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name + "-s";
  return name.substr(0, dot) + "-s" + name.substr(dot);
}
