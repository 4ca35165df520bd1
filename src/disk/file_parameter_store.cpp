#include "disk/file_parameter_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quarrow {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '=':
        out += "\\=";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// Unescapes text up to the first unescaped stop character (or the end); *rest receives what
// follows the stop character.
std::string Unescape(const std::string& text, char stop, std::size_t* end) {
  std::string out;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == stop) break;
    if (c == '\\' && i + 1 < text.size()) {
      char next = text[++i];
      out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    } else {
      out.push_back(c);
    }
  }
  if (end) *end = i;
  return out;
}

const char* EnvOrNull(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

std::string DefaultParameterStorePath() {
  namespace fs = std::filesystem;
  if (const char* dir = EnvOrNull("QUARROW_CONFIG_DIR")) return (fs::path(dir) / "disk-parameters").string();
  if (const char* xdg = EnvOrNull("XDG_CONFIG_HOME"))
    return (fs::path(xdg) / "quarrow" / "disk-parameters").string();
  if (const char* home = EnvOrNull("HOME"))
    return (fs::path(home) / ".config" / "quarrow" / "disk-parameters").string();
  return "";
}

FileParameterStore::FileParameterStore(std::string path) : path_(std::move(path)) {
  Load();
}

void FileParameterStore::Load() {
  std::ifstream in(path_);
  if (!in) return;
  std::string line;
  std::map<std::string, std::string>* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      current = &keys_[line.substr(1, line.size() - 2)];
      continue;
    }
    if (!current) continue;
    std::size_t end = 0;
    std::string name = Unescape(line, '=', &end);
    if (end >= line.size()) continue;  // not a value line
    (*current)[name] = Unescape(line.substr(end + 1), '\0', nullptr);
  }
}

bool FileParameterStore::KeyExists(const std::string& key) {
  return keys_.count(key) != 0;
}

bool FileParameterStore::DeleteKey(const std::string& key) {
  auto it = keys_.find(key);
  if (it == keys_.end()) return false;
  const std::string prefix = key + "\\";
  for (const auto& [other, values] : keys_) {
    if (other.compare(0, prefix.size(), prefix) == 0) return false;
  }
  keys_.erase(it);
  return true;
}

bool FileParameterStore::DeleteValue(const std::string& key, const std::string& name) {
  auto it = keys_.find(key);
  return it != keys_.end() && it->second.erase(name) != 0;
}

bool FileParameterStore::CreateKey(const std::string& key) {
  if (key.empty()) return false;
  for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
    keys_[key.substr(0, at)];
  }
  keys_[key];
  return true;
}

bool FileParameterStore::SetString(const std::string& key, const std::string& name, const std::string& data) {
  auto it = keys_.find(key);
  if (it == keys_.end()) return false;
  it->second[name] = data;
  return true;
}

std::map<std::string, std::string> FileParameterStore::Values(const std::string& key) {
  auto it = keys_.find(key);
  return it == keys_.end() ? std::map<std::string, std::string>{} : it->second;
}

bool FileParameterStore::Commit() {
  namespace fs = std::filesystem;
  if (path_.empty()) {
    lastError_ = "no folder for the disk parameters (set HOME or QUARROW_CONFIG_DIR)";
    return false;
  }
  std::error_code ec;
  const fs::path target(path_);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  std::ostringstream text;
  text << "# Disk parameters, rewritten by quarrow at every refresh of the disk list\n";
  for (const auto& [key, values] : keys_) {
    text << '[' << key << "]\n";
    for (const auto& [name, data] : values) text << Escape(name) << '=' << Escape(data) << '\n';
  }
  const std::string temp = path_ + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out || !(out << text.str()) || !out.flush()) {
      lastError_ = "cannot write " + temp + ": " + std::strerror(errno);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    lastError_ = "cannot replace " + path_ + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace quarrow
