// pserv.log as a hostile server might send it: its digests and its server list.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/file_digests.h"
#include "engine/pserv_log.h"
#include "engine/server_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FileListDigestOfPservLog(bytes);
  PatcherDigestOfPservLog(bytes);
  for (const std::string& server : ServerListOfPservLog(bytes)) {
    SplitServerString(server);
    HostOfListEntry(server);
  }
  FolderOfRemoteVer(bytes);
  return 0;
}
