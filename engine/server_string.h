#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A server as the configuration names it: a host, optionally ":port" and/or "/folder".
struct ServerAddress {
  std::string host;
  std::optional<std::uint16_t> port;  // set only when the string carried a port
  std::optional<std::string> folder;  // set only when the string carried a folder
};

// Splits at the first ':' and the first '/'. A '/' before the ':' ends the host, and the
// folder is then not taken: "host/live:2101" is host "host", port 2101, no folder.
ServerAddress SplitServerString(std::string_view server);

// The host of a server list entry: cut at its first ':', then at its first '/'.
std::string HostOfListEntry(std::string_view entry);

// Whether a host is a name or an address alone, with nothing in it that would change the
// address's meaning (a user, a port, a path, a query): hosts come from files the server
// itself supplies.
bool IsPlainHost(std::string_view host);

// The leading decimal number of a port text, as the C runtime's atoi reads it, kept to 16 bits.
std::uint16_t PortNumber(std::string_view text);

// The folder on the second line of "remote.ver": everything from two bytes after the end of
// the first line (taken to be CR LF). None when the file has no line break.
std::optional<std::string> FolderOfRemoteVer(std::string_view bytes);
