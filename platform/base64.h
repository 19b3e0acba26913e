#pragma once

#include <string>
#include <string_view>

namespace platform {

// Bytes in the base64 alphabet of RFC 4648, padded with '=': how HTTP's Basic credentials
// travel.
std::string Base64(std::string_view bytes);

}  // namespace platform
