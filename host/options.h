// The host's command line: where the user's home folder and the phone backups are, the
// file with the password of encrypted backups, whether to run headless, which bundle to
// load, where the browser front end listens. Parsing reports a one-line error instead of
// exiting; it reads the password file once.
#ifndef OVRA_HOST_OPTIONS_H_
#define OVRA_HOST_OPTIONS_H_

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "passwords.h"

namespace ovra::host {

struct Options {
  std::string home;     // empty: the real home folder
  std::string backups;  // empty: the backups under the home folder
  std::string bundle;   // empty: Ovra.bundle beside the program's folder
  // The first line of --password-file, or null: then the browser's pane or the terminal.
  std::shared_ptr<const SecretText> password;
  bool headless = false;
  int port = 0;       // 0: the system picks one
  bool open = false;  // open the address in the default browser
  bool help = false;
  bool version = false;
};

// The options of a command line, or what is wrong with it in one line.
base::Result<Options> parseOptions(const std::vector<std::string>& args);

inline constexpr char kUsage[] =
    "usage: ovra [--home DIR] [--backups DIR] [--password-file FILE] [--port N] [--open]\n"
    "            [--headless] [--bundle PATH] [--help] [--version]\n"
    "  --home DIR     read the phone backups under DIR instead of the real home folder\n"
    "  --backups DIR  read the phone backups in DIR: a folder of backup folders (such as\n"
    "                 MobileSync/Backup copied from a Mac or Windows, or the folder given\n"
    "                 to 'idevicebackup2 backup') or one backup folder\n"
    "  --password-file FILE\n"
    "                 unlock encrypted backups with the password on FILE's first line;\n"
    "                 FILE must be readable by its owner only (chmod 600). Without it\n"
    "                 the browser asks, or with --headless the terminal\n"
    "  --port N       show the pages at http://127.0.0.1:N/ (default: a free port)\n"
    "  --open         also open that address in the default browser\n"
    "  --headless     show the pages in memory, skip the social-network login, and print\n"
    "                 the final page and the page's data as one JSON object\n"
    "  --bundle PATH  load the plug-in bundle at PATH (default: Ovra.bundle beside the\n"
    "                 program's folder)\n"
    "  --help         print this help\n"
    "  --version      print the version\n";

}  // namespace ovra::host

#endif  // OVRA_HOST_OPTIONS_H_
