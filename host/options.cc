#include "options.h"

#include <charconv>
#include <filesystem>

namespace ovra::host {

ParsedOptions parseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  Options& o = parsed.options;
  bool portGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    if (const size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    auto takeValue = [&](const char* what) -> bool {
      if (!hasValue) {
        if (i + 1 >= args.size()) {
          parsed.error = name + " needs " + what;
          return false;
        }
        value = args[++i];
      }
      if (value.empty()) {
        parsed.error = name + " needs " + what;
        return false;
      }
      return true;
    };
    auto noValue = [&]() -> bool {
      if (hasValue) parsed.error = name + " takes no value";
      return !hasValue;
    };
    if (name == "--home") {
      if (!takeValue("a folder")) return parsed;
      std::error_code ec;
      if (!std::filesystem::is_directory(value, ec)) {
        parsed.error = "--home: '" + value + "' is not a folder";
        return parsed;
      }
      o.home = std::filesystem::absolute(value, ec).lexically_normal().string();
    } else if (name == "--backups") {
      if (!takeValue("a folder")) return parsed;
      namespace fs = std::filesystem;
      std::error_code ec;
      const fs::file_status status = fs::status(value, ec);
      if (!fs::exists(status)) {
        parsed.error = "--backups: '" + value + "' does not exist";
        return parsed;
      }
      if (!fs::is_directory(status)) {
        parsed.error = "--backups: '" + value + "' is a file, not a folder";
        return parsed;
      }
      if (fs::directory_iterator(value, ec), ec) {
        parsed.error = "--backups: '" + value + "' cannot be read";
        return parsed;
      }
      fs::path folder = fs::absolute(value, ec).lexically_normal();
      if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
      o.backups = folder.string();
    } else if (name == "--bundle") {
      if (!takeValue("a path")) return parsed;
      o.bundle = value;
    } else if (name == "--headless") {
      if (!noValue()) return parsed;
      o.headless = true;
    } else if (name == "--help" || name == "-h") {
      if (!noValue()) return parsed;
      o.help = true;
    } else if (name == "--version") {
      if (!noValue()) return parsed;
      o.version = true;
    } else if (name == "--port") {
      if (!takeValue("a port number")) return parsed;
      int port = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (ec != std::errc() || end != value.data() + value.size() || port < 1 || port > 65535) {
        parsed.error = "--port: '" + value + "' is not a port number (1-65535)";
        return parsed;
      }
      o.port = port;
      portGiven = true;
    } else if (name == "--open") {
      if (!noValue()) return parsed;
      o.open = true;
    } else {
      parsed.error = "unknown option '" + args[i] + "' (see --help)";
      return parsed;
    }
  }
  if (o.headless && (portGiven || o.open)) {
    parsed.error = "--headless shows no pages in a browser; --port and --open do not apply";
  }
  return parsed;
}

}  // namespace ovra::host
