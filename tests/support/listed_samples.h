#pragma once

#include <cstdint>
#include <vector>

#include "engine/file_list.h"
#include "engine/md5.h"

// A digest of 16 equal bytes.
inline Digest Filled(std::uint8_t byte) {
  Digest digest;
  digest.fill(byte);
  return digest;
}

// Records whose digests hold CR, LF and NUL, keys that differ only in case.
inline std::vector<ListedFile> SampleList() {
  return {{"\\data\\a.dat", Filled('\r')},
          {"\\Data\\a.dat", Filled('\n')},
          {"\\veldra.exe", Filled(0)},
          {"\\x", DigestOfBytes("x")}};
}
