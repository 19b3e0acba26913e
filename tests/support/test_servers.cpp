#include "tests/support/test_servers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    ADD_FAILURE() << name << " is not set: run the test through testbed/serve.py";
    return {};
  }
  return value;
}

std::uint16_t PortOf(const char* name) {
  return static_cast<std::uint16_t>(std::atoi(Environment(name).c_str()));
}

void WriteWhole(const fs::path& path, const std::string& content) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  EXPECT_TRUE(out.good()) << path.string();
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The value of "key" in one flat JSON object as the server writes it; \u escapes below 256
// are the raw bytes of the request.
std::string JsonField(const std::string& line, const std::string& key) {
  std::size_t at = line.find("\"" + key + "\": ");
  if (at == std::string::npos) return {};
  at += key.size() + 4;
  if (line[at] != '"') return line.substr(at, line.find_first_of(",}", at) - at);
  std::string value;
  for (std::size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\') {
      value += line[i];
      continue;
    }
    char escaped = line[++i];
    if (escaped == 'u') {
      value += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
      i += 4;
    } else {
      value += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == 't' ? '\t' : escaped;
    }
  }
  return value;
}

}  // namespace

FaultServer::FaultServer()
    : port_(PortOf("VELDRA_FAULT_PORT")),
      root_(Environment("VELDRA_FAULT_ROOT")),
      rules_(Environment("VELDRA_FAULT_RULES")),
      log_(Environment("VELDRA_FAULT_LOG")) {}

void FaultServer::Reset() const {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  fs::create_directories(root_);
  fs::remove(log_, ignored);
  SetRules("{}");
}

void FaultServer::Serve(const std::string& name, const std::string& content) const {
  WriteWhole(fs::path(root_) / name, content);
}

void FaultServer::SetRules(const std::string& json) const { WriteWhole(rules_, json); }

std::vector<LoggedRequest> FaultServer::Requests() const {
  std::vector<LoggedRequest> requests;
  for (const std::string& line : Lines(log_)) {
    requests.push_back({JsonField(line, "path"), JsonField(line, "agent"), JsonField(line, "user"),
                        std::atoi(JsonField(line, "status").c_str()), JsonField(line, "range"),
                        std::atoi(JsonField(line, "at_once").c_str())});
  }
  return requests;
}

std::vector<std::string> FaultServer::RangesAsked(const std::string& path) const {
  std::vector<std::string> ranges;
  for (const LoggedRequest& request : Requests()) {
    if (request.status != 401 && (path.empty() || request.path == path)) {
      ranges.push_back(request.range);
    }
  }
  return ranges;
}

NginxServer::NginxServer()
    : port_(PortOf("VELDRA_NGINX_PORT")),
      root_(Environment("VELDRA_NGINX_ROOT")),
      log_(Environment("VELDRA_NGINX_LOG")) {}

void NginxServer::Serve(const std::string& name, const std::string& content) const {
  WriteWhole(fs::path(root_) / name, content);
}

std::vector<std::string> NginxServer::AccessLog() const { return Lines(log_); }

std::uint16_t ClosedPort() { return PortOf("VELDRA_CLOSED_PORT"); }

std::string PatternBytes(std::size_t count, std::uint64_t seed) {
  std::string bytes(count, '\0');
  for (char& byte : bytes) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}
