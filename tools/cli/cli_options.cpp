#include "tools/cli/cli_options.h"

#include <charconv>

#include "engine/transfer_pool.h"

namespace {

CliCommandLine Problem(std::string problem) {
  CliCommandLine line;
  line.action = CliCommandLine::Action::Usage;
  line.problem = std::move(problem);
  return line;
}

// The value of an option given as "--name=value" or "--name value"; empty when none follows.
std::string_view ValueOf(const std::vector<std::string_view>& args, std::size_t& at,
                         std::string_view name) {
  const std::string_view arg = args[at];
  if (arg != name) return arg.substr(name.size() + 1);
  if (at + 1 < args.size() && !args[at + 1].starts_with("-")) return args[++at];
  return {};
}

}  // namespace

const char kCliUsage[] =
    "usage: veldra-cli [--zone NAME] [--yes | --no] [--start] [--repair]\n"
    "                  [--transfers N] [-v]\n"
    "       veldra-cli --verify\n"
    "\n"
    "Brings the game folder, the current directory, up to what the patch server\n"
    "publishes, as veldra.exe does, with the folder's patch.sys: checks the local\n"
    "files, connects to a server of the zone, checks the version, updates the\n"
    "patcher's own files and downloads the game files. When the patcher's own files\n"
    "were updated it patches again (three runs in all at most), starting nothing.\n"
    "Each run first compares the size and last-write time of every listed file with\n"
    "those the last run recorded, and digests again the files that changed: a\n"
    "missing or changed file is fetched again.\n"
    "\n"
    "  --zone NAME  the patch.sys section that lists the zone's servers\n"
    "               (default: the one patch.sys names in [Combo] Zone0)\n"
    "  --yes        answer Yes to every question; to the version questions Yes\n"
    "               opens the download page and stops the work (exit status 5)\n"
    "  --no         answer No to every question\n"
    "  --start      after a run that ended done, start the program of patch.sys\n"
    "               [Button3] Exe, as the patcher's window does\n"
    "  --repair     digest every listed file, whatever was recorded, then patch:\n"
    "               finds files changed behind their size and time too\n"
    "  --verify     change no game file and ask no server: digest every file the\n"
    "               folder's filelist.log (the list the last run installed) names,\n"
    "               print \"missing: KEY\" or \"differs: KEY\" for each that is not as\n"
    "               listed, then a summary line\n"
    "  --transfers N  fetch N files at once, 1 to 32 (default: patch.sys\n"
    "               [Download] Transfers, else 8)\n"
    "  -v           (or --verbose) print each HTTP request as it ends: URL,\n"
    "               status, body bytes, time, and why it failed\n"
    "  --help       this text\n"
    "\n"
    "Without --yes or --no a question is asked on the terminal ([y/N]); when\n"
    "standard input is not a terminal the answer is No. Boxes with only OK need no\n"
    "answer.\n"
    "\n"
    "Standard output has the progress, looked at ten times a second. On a terminal\n"
    "that is one line updating itself: stage, bar and count of the stage, item,\n"
    "bytes received. Otherwise it is a log of lines\n"
    "  [STAGE]         when a stage is seen to begin\n"
    "  [STAGE] ITEM    when an item is seen to be done: each stage's last item,\n"
    "                  others at most one a second\n"
    "Stages and items shorter than a look may not appear.\n"
    "\n"
    "Standard error has\n"
    "  CAPTION: TEXT   for every message box (\"veldra: TEXT\" for the patcher's own\n"
    "                  boxes); a text may span lines. A box that tells of a failure\n"
    "                  has its reason after it: CAPTION: TEXT: REASON\n"
    "  veldra-cli: GET URL: STATUS, N bytes, T s[: REASON]\n"
    "                  with -v, for each request\n"
    "  veldra-cli: answered yes (REASON)   or   veldra-cli: answered no (REASON)\n"
    "                  after each question, REASON being --yes, --no, typed,\n"
    "                  no answer, or no terminal to ask on\n"
    "  veldra-cli: run N of at most 3: OUTCOME\n"
    "                  after each run, OUTCOME being done, failed, stopped, or\n"
    "                  the patcher's own files were updated\n"
    "and veldra-cli's other lines, each beginning \"veldra-cli: \" (usage errors,\n"
    "patching again, the program started).\n"
    "\n"
    "Exit status:\n"
    "  0  done: nothing the server lists was left to fetch (with --start, the\n"
    "     program was started or patch.sys names none); --verify: every listed file\n"
    "     is as listed\n"
    "  1  bad usage\n"
    "  2  the patcher's own files were updated in each of three runs: given up\n"
    "  4  failed (the boxes tell why)\n"
    "  5  stopped, by Ctrl-C or by a question's answer\n"
    "  6  --start: the program could not be started; --verify: a listed file is\n"
    "     missing or differs\n"
    "  7  another run of the patcher holds the game folder: nothing was done\n"
    "\n"
    "Ctrl-C stops the work, in the middle of a download too (what was received of\n"
    "that file is dropped), waiting 30 seconds at most; a second Ctrl-C quits at\n"
    "once.\n";

CliCommandLine ParseCliCommandLine(const std::vector<std::string_view>& args) {
  CliCommandLine line;
  CliOptions& options = line.options;
  bool zoneGiven = false;
  bool yes = false;
  bool no = false;
  for (std::size_t at = 0; at < args.size(); ++at) {
    std::string_view arg = args[at];
    if (arg == "--help") {
      line.action = CliCommandLine::Action::Help;
      return line;
    }
    if (arg == "--yes") {
      yes = true;
    } else if (arg == "--no") {
      no = true;
    } else if (arg == "--start") {
      options.start = true;
    } else if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--repair") {
      options.repair = true;
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "--transfers" || arg.starts_with("--transfers=")) {
      const std::string_view value = ValueOf(args, at, "--transfers");
      int count = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
      if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
          count < 1 || count > kMostTransfers) {
        return Problem("--transfers needs a number from 1 to " + std::to_string(kMostTransfers));
      }
      options.transfers = count;
    } else if (arg == "--zone" || arg.starts_with("--zone=")) {
      const std::string_view value = ValueOf(args, at, "--zone");
      if (value.empty()) return Problem("--zone needs a NAME");
      if (zoneGiven) return Problem("--zone is given twice");
      zoneGiven = true;
      options.zone = value;
    } else if (arg.starts_with("-")) {
      return Problem("unknown option " + std::string(arg));
    } else {
      return Problem("unexpected argument " + std::string(arg));
    }
  }
  if (yes && no) return Problem("--yes and --no cannot go together");
  if (options.verify && (options.repair || options.start)) {
    return Problem("--verify cannot go with --repair or --start");
  }
  if (yes) options.answering = Answering::Yes;
  if (no) options.answering = Answering::No;
  return line;
}
