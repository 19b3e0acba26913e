#include "engine/release_manifest.h"

#include <charconv>
#include <vector>

#include "engine/hex.h"

namespace {

constexpr std::string_view kFirstLine = "veldra-release 1\n";
constexpr std::string_view kSignature = "signature ";
constexpr std::string_view kKeyPrefix = "p256:";
constexpr std::size_t kMostFiles = 1000000;

std::optional<std::uint64_t> DecimalOf(std::string_view text) {
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Splits off the line's first word; the rest follows the single space after it.
std::string_view TakeWord(std::string_view& line) {
  std::size_t space = line.find(' ');
  std::string_view word = line.substr(0, space);
  line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  return word;
}

bool ParseBody(std::string_view body, ReleaseManifest& manifest) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < body.size();) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) return false;
    lines.push_back(body.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() < 3 || lines.size() - 3 > kMostFiles) return false;
  std::string_view release = lines[1];
  std::string_view published = lines[2];
  if (TakeWord(release) != "release" || TakeWord(published) != "published") return false;
  std::optional<std::uint64_t> number = DecimalOf(release);
  if (!number) return false;
  manifest.release = *number;
  manifest.published = std::string(published);
  for (std::size_t i = 3; i < lines.size(); ++i) {
    std::string_view rest = lines[i];
    if (TakeWord(rest) != "file") return false;
    auto sha256 = BytesOfHex<32>(TakeWord(rest));
    std::optional<std::uint64_t> size = DecimalOf(TakeWord(rest));
    if (!sha256 || !size || rest.empty()) return false;
    if (!manifest.files.emplace(std::string(rest), ManifestEntry{*sha256, *size}).second) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string UnsignedManifestText(const ReleaseManifest& manifest) {
  std::string text(kFirstLine);
  text += "release " + std::to_string(manifest.release) + "\n";
  text += "published " + manifest.published + "\n";
  for (const auto& [name, entry] : manifest.files) {
    text += "file " + HexOf(entry.sha256) + " " + std::to_string(entry.size) + " " + name + "\n";
  }
  return text;
}

std::string SignatureLine(const platform::P256Signature& signature) {
  return std::string(kSignature) + HexOf(signature) + "\n";
}

std::optional<ReleaseManifest> ReadSignedManifest(std::string_view text,
                                                  const platform::P256PublicKey& key,
                                                  std::string& why) {
  std::size_t signatureAt = text.rfind(std::string("\n") + std::string(kSignature));
  if (!text.starts_with(kFirstLine) || signatureAt == std::string_view::npos ||
      !text.ends_with('\n')) {
    why = "release.sig is cut or is no release manifest";
    return std::nullopt;
  }
  std::string_view body = text.substr(0, signatureAt + 1);
  std::string_view hex = text.substr(body.size() + kSignature.size());
  hex.remove_suffix(1);
  auto signature = BytesOfHex<64>(hex);
  if (!signature) {
    why = "release.sig's signature line is damaged";
    return std::nullopt;
  }
  if (!platform::VerifyP256(key, body, *signature)) {
    why = "release.sig is not signed by this game's release key";
    return std::nullopt;
  }
  ReleaseManifest manifest;
  if (!ParseBody(body, manifest)) {
    why = "release.sig is signed but its lines cannot be read";
    return std::nullopt;
  }
  return manifest;
}

std::string ReleaseKeyText(const platform::P256PublicKey& key) {
  return std::string(kKeyPrefix) + HexOf(key);
}

std::optional<platform::P256PublicKey> ParseReleaseKey(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  if (!text.starts_with(kKeyPrefix)) return std::nullopt;
  return BytesOfHex<64>(text.substr(kKeyPrefix.size()));
}
