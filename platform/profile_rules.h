#pragma once

#include <cstddef>
#include <string>

// The profile lookups written out in portable code, with the rules the Windows functions follow:
// ProfileReader uses them on POSIX, and a Windows test holds them against the real functions.
//
// The file is bytes. A UTF-8 byte order mark at its start is skipped; nothing is converted.
// A line ends at any run of CR and LF bytes. Blanks (tab, LF, VT, FF, CR, space and ^Z) around
// a line, a name or a value do not count, nor around the names asked for. "[name]" starts a
// section (from the first '[' to the last ']'; what follows is ignored); any other line is a
// key, with its value after the first '=' or no value at all (then the default applies). Keys
// before the first section belong to the section named "". Names ignore ASCII case. Only the
// first section of a name and the first key of a name in it count, even when that key has no
// value. A value or default quoted at both ends with the same quote (' or ") loses its quotes.
namespace platform::posix_profile {

// As GetPrivateProfileStringA with a buffer of `bufferSize` bytes.
std::string LookUpString(const std::string& path, const std::string& section,
                         const std::string& key, const std::string& fallback,
                         std::size_t bufferSize);

// As GetPrivateProfileIntA.
int LookUpInt(const std::string& path, const std::string& section, const std::string& key,
              int fallback);

}  // namespace platform::posix_profile
