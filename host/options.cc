#include "options.h"

#include <charconv>
#include <filesystem>

namespace ovra::host {

base::Result<Options> parseOptions(const std::vector<std::string>& args) {
  Options o;
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
    // The option's value, after "=" or in the next argument; never empty.
    auto takeValue = [&](const char* what) -> base::Result<> {
      if (!hasValue) {
        if (i + 1 >= args.size()) return base::fail(name + " needs " + what);
        value = args[++i];
      }
      if (value.empty()) return base::fail(name + " needs " + what);
      return {};
    };
    auto noValue = [&]() -> base::Result<> {
      if (hasValue) return base::fail(name + " takes no value");
      return {};
    };
    if (name == "--home") {
      if (base::Result<> r = takeValue("a folder"); !r) return base::fail(r.error());
      std::error_code ec;
      if (!std::filesystem::is_directory(value, ec)) {
        return base::fail("--home: '" + value + "' is not a folder");
      }
      o.home = std::filesystem::absolute(value, ec).lexically_normal().string();
    } else if (name == "--backups") {
      if (base::Result<> r = takeValue("a folder"); !r) return base::fail(r.error());
      namespace fs = std::filesystem;
      std::error_code ec;
      const fs::file_status status = fs::status(value, ec);
      if (!fs::exists(status)) {
        return base::fail("--backups: '" + value + "' does not exist");
      }
      if (!fs::is_directory(status)) {
        return base::fail("--backups: '" + value + "' is a file, not a folder");
      }
      if (fs::directory_iterator(value, ec), ec) {
        return base::fail("--backups: '" + value + "' cannot be read");
      }
      fs::path folder = fs::absolute(value, ec).lexically_normal();
      if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
      o.backups = folder.string();
    } else if (name == "--password-file") {
      if (base::Result<> r = takeValue("a file"); !r) return base::fail(r.error());
      base::Result<std::shared_ptr<const SecretText>> password = readPasswordFile(value);
      if (!password) return base::fail(password.error());
      o.password = *password;
    } else if (name == "--bundle") {
      if (base::Result<> r = takeValue("a path"); !r) return base::fail(r.error());
      o.bundle = value;
    } else if (name == "--headless") {
      if (base::Result<> r = noValue(); !r) return base::fail(r.error());
      o.headless = true;
    } else if (name == "--help" || name == "-h") {
      if (base::Result<> r = noValue(); !r) return base::fail(r.error());
      o.help = true;
    } else if (name == "--version") {
      if (base::Result<> r = noValue(); !r) return base::fail(r.error());
      o.version = true;
    } else if (name == "--port") {
      if (base::Result<> r = takeValue("a port number"); !r) return base::fail(r.error());
      int port = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (ec != std::errc() || end != value.data() + value.size() || port < 1 || port > 65535) {
        return base::fail("--port: '" + value + "' is not a port number (1-65535)");
      }
      o.port = port;
      portGiven = true;
    } else if (name == "--open") {
      if (base::Result<> r = noValue(); !r) return base::fail(r.error());
      o.open = true;
    } else {
      return base::fail("unknown option '" + args[i] + "' (see --help)");
    }
  }
  if (o.headless && (portGiven || o.open)) {
    return base::fail("--headless shows no pages in a browser; --port and --open do not apply");
  }
  return o;
}

}  // namespace ovra::host
