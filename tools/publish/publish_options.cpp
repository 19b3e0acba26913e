#include "tools/publish/publish_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <set>

namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Named(std::string_view option, const char* problem) {
  return std::string(option) + " " + problem;
}

// The patcher reads a version as a C float and compares numbers, so "2.0.1" would silently
// equal "2.0" and "beta" would be 1.0: only a plain decimal number is taken.
std::string VersionOf(std::string_view option, std::string_view value) {
  std::size_t dot = value.find('.');
  bool decimal = dot == std::string_view::npos
                     ? IsDigits(value)
                     : IsDigits(value.substr(0, dot)) && IsDigits(value.substr(dot + 1));
  if (!decimal) throw UsageError(Named(option, "takes a decimal number such as 1.25"));
  return std::string(value);
}

std::string LineOf(std::string_view option, std::string_view value) {
  if (value.empty()) throw UsageError(Named(option, "needs a value"));
  if (value.find_first_of("\r\n") != std::string_view::npos) {
    throw UsageError(Named(option, "cannot hold a line break"));
  }
  return std::string(value);
}

// Name and address of a pserv.log line: the patcher ends a name at its '=' and an address
// at the line's end.
std::pair<std::string, std::string> ServerOf(std::string_view value) {
  std::size_t equals = value.find('=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == value.size()) {
    throw UsageError("--server takes NAME=ADDRESS");
  }
  return {LineOf("--server", value.substr(0, equals)),
          LineOf("--server", value.substr(equals + 1))};
}

Maintenance MaintenanceOf(std::string_view value) {
  if (value == "on") return Maintenance::On;
  if (value == "off") return Maintenance::Off;
  throw UsageError("--maintenance takes on or off");
}

int LevelOf(std::string_view value) {
  int level = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), level);
  if (error != std::errc() || end != value.data() + value.size() || level < 1 || level > 9) {
    throw UsageError("--level takes a number from 1 to 9");
  }
  return level;
}

std::size_t KeptPublishesOf(std::string_view value) {
  std::size_t count = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
  if (error != std::errc() || end != value.data() + value.size() || count < 1) {
    throw UsageError("--keep-publishes takes a number of at least 1");
  }
  return count;
}

// A number and its unit: 90s, 30m, 12h, 7d; 0 alone too.
std::chrono::seconds DurationOf(std::string_view value) {
  static const std::map<char, std::int64_t> kUnits = {
      {'s', 1}, {'m', 60}, {'h', 60 * 60}, {'d', 24 * 60 * 60}};
  const auto unit = value.empty() ? kUnits.end() : kUnits.find(value.back());
  const std::string_view digits = unit == kUnits.end() ? value : value.substr(0, value.size() - 1);
  std::int64_t count = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  const bool number = !digits.empty() && error == std::errc() &&
                      end == digits.data() + digits.size() && IsDigits(digits);
  if (!number || (unit == kUnits.end() && count != 0) ||
      (unit != kUnits.end() && count > std::numeric_limits<std::int64_t>::max() / unit->second)) {
    throw UsageError("--grace takes a duration such as 90s, 30m, 12h or 7d");
  }
  return std::chrono::seconds(unit == kUnits.end() ? 0 : count * unit->second);
}

// platform::File reads '\' as a folder separator.
std::filesystem::path PathOf(std::string_view what, std::string_view value) {
  if (value.empty()) throw UsageError(Named(what, "needs a path"));
  if (value.find('\\') != std::string_view::npos) {
    throw UsageError(Named(what, "cannot be a path holding '\\'"));
  }
  return std::filesystem::path(value);
}

using Setter = void (*)(PublishOptions&, std::string_view name, std::string_view value);

const std::map<std::string_view, Setter> kSetters = {
    {"--exe",
     [](PublishOptions& o, std::string_view n, std::string_view v) { o.exe = PathOf(n, v); }},
    {"--server", [](PublishOptions& o, std::string_view,
                    std::string_view v) { o.servers.push_back(ServerOf(v)); }},
    {"--required", [](PublishOptions& o, std::string_view n,
                      std::string_view v) { o.required = VersionOf(n, v); }},
    {"--latest",
     [](PublishOptions& o, std::string_view n, std::string_view v) { o.latest = VersionOf(n, v); }},
    {"--folder",
     [](PublishOptions& o, std::string_view n, std::string_view v) { o.folder = LineOf(n, v); }},
    {"--patch-sys",
     [](PublishOptions& o, std::string_view n, std::string_view v) { o.patchSys = PathOf(n, v); }},
    {"--maintenance", [](PublishOptions& o, std::string_view,
                         std::string_view v) { o.maintenance = MaintenanceOf(v); }},
    {"--level",
     [](PublishOptions& o, std::string_view, std::string_view v) { o.level = LevelOf(v); }},
    {"--sign",
     [](PublishOptions& o, std::string_view n, std::string_view v) { o.signKey = PathOf(n, v); }},
    {"--keep-publishes", [](PublishOptions& o, std::string_view,
                            std::string_view v) { o.keptPublishes = KeptPublishesOf(v); }},
    {"--grace",
     [](PublishOptions& o, std::string_view, std::string_view v) { o.grace = DurationOf(v); }},
};

}  // namespace

const char kUsage[] =
    "usage: veldra-publish [OPTIONS] RELEASE_DIR SERVER_DIR\n"
    "       veldra-publish keygen KEY_FILE\n"
    "\n"
    "Brings the patch server folder SERVER_DIR up to the release in RELEASE_DIR: one package\n"
    "per file (only those that changed since the last publish); for each file of 4 MiB or\n"
    "more also its chunks (chunks/) and their index (indexes/); then filelist.log and\n"
    "pserv.log. Last it removes the chunks and indexes that no recent publish uses.\n"
    "\n"
    "  --exe FILE             the patcher whose MD5 pserv.log announces (else none)\n"
    "  --server NAME=ADDRESS  a server of pserv.log's list; repeatable, kept in order\n"
    "  --required VERSION     remote.ver: the oldest version that may patch\n"
    "  --folder FOLDER        remote.ver's second line: the folder on the server\n"
    "  --latest VERSION       latest.ver: the newest version\n"
    "  --patch-sys FILE       copied as patch.sys\n"
    "  --maintenance on|off   on: an empty lock.ftp keeps clients away; off: removes it\n"
    "  --level N              gzip level, 1 to 9 (default 9)\n"
    "  --sign KEY_FILE        also write release.sig, the release's manifest signed with\n"
    "                         the private key; patchers built with its public key check\n"
    "                         every file they fetch against it\n"
    "  --keep-publishes N     keep the chunks and indexes of the last N publishes\n"
    "                         (default 5)\n"
    "  --grace DURATION       and the others until unused that long: 90s, 30m, 12h, 7d\n"
    "                         or 0 (default 1d)\n"
    "  --help                 this text\n"
    "\n"
    "keygen writes a new signing key: KEY_FILE the private key (only you may read it),\n"
    "KEY_FILE.pub the public key's line, which the patcher is built with\n"
    "(-DVELDRA_RELEASE_KEY=...).\n";

std::optional<PublishOptions> ParseCommandLine(const std::vector<std::string_view>& args) {
  PublishOptions options;
  std::vector<std::string_view> folders;
  std::set<std::string_view> given;
  for (std::size_t at = 0; at < args.size(); ++at) {
    std::string_view arg = args[at];
    if (arg == "--help") return std::nullopt;
    if (!arg.starts_with("-")) {
      folders.push_back(arg);
      continue;
    }
    std::size_t equals = arg.find('=');
    std::string_view name = arg.substr(0, equals);
    auto setter = kSetters.find(name);
    if (setter == kSetters.end()) throw UsageError("unknown option " + std::string(name));
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (at + 1 < args.size()) {
      value = args[++at];
    } else {
      throw UsageError(Named(name, "needs a value"));
    }
    if (name != "--server" && !given.insert(name).second) {
      throw UsageError(Named(name, "is given twice"));
    }
    setter->second(options, name, value);
  }
  if (folders.size() != 2) throw UsageError("expected RELEASE_DIR and SERVER_DIR");
  options.releaseDir = PathOf("RELEASE_DIR", folders[0]);
  options.serverDir = PathOf("SERVER_DIR", folders[1]);
  if (options.folder && !options.required) {
    throw UsageError("--folder needs --required: it is the second line of remote.ver");
  }
  return options;
}
