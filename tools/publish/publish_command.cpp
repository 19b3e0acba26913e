#include "tools/publish/publish_command.h"

#include <chrono>
#include <exception>
#include <iomanip>

#include "tools/publish/publish.h"
#include "tools/publish/publish_options.h"
#include "tools/publish/release_names.h"
#include "tools/publish/release_signing.h"
#include "tools/terminal/printable_text.h"
#include "tools/terminal/terminal_line.h"

namespace {

void PrintSummary(std::ostream& out, const PublishSummary& summary, double seconds) {
  out << summary.files << " files, " << summary.packagesWritten << " packages written, "
      << summary.packagesKept << " kept, " << summary.bytesIn << " bytes in, " << summary.bytesOut
      << " bytes out, " << std::fixed << std::setprecision(2) << seconds << " seconds\n";
  const ChunkWork& chunks = summary.chunks;
  if (chunks.indexesWritten + chunks.indexesKept > 0) {
    out << chunks.indexesWritten << " indexes written, " << chunks.indexesKept << " kept; "
        << chunks.chunksWritten << " chunks written (" << chunks.chunkBytes << " bytes), "
        << chunks.chunksKept << " kept\n";
  }
  const CleanupReport& removed = summary.removed;
  if (removed.indexes + removed.chunks > 0) {
    out << "removed " << removed.indexes << " indexes and " << removed.chunks << " chunks ("
        << removed.bytes << " bytes) that no recent publish uses\n";
  }
  if (!removed.kept.empty()) out << "note: " << removed.kept << "\n";
  if (summary.stalePackages > 0) {
    out << summary.stalePackages << " stale packages left (their files are no longer in the "
        << "release)\n";
  }
}

// "[i/n] name", the file named as the operator knows it.
std::string ProgressText(std::size_t done, std::size_t count, const std::string& key) {
  return "[" + std::to_string(done) + "/" + std::to_string(count) + "] " +
         PrintableText(ShownName(key));
}

PublishSummary TimedPublish(const PublishOptions& options, TerminalLine& progress,
                            double& seconds) {
  const auto start = std::chrono::steady_clock::now();
  PublishSummary summary =
      Publish(options, [&](std::size_t done, std::size_t count, const std::string& key) {
        progress.Show(ProgressText(done, count, key));
      });
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace

int RunPublishCommand(const std::vector<std::string_view>& args, std::ostream& out,
                      std::ostream& err, std::optional<std::size_t> terminalColumns) {
  try {
    if (!args.empty() && args[0] == "keygen") {
      if (args.size() != 2) throw UsageError("keygen takes one KEY_FILE");
      MakeKeyPair(std::filesystem::path(args[1]));
      out << "wrote the private key " << args[1] << " and the public key " << args[1] << ".pub\n";
      return 0;
    }
    std::optional<PublishOptions> options = ParseCommandLine(args);
    if (!options) {
      out << kUsage;
      return 0;
    }
    double seconds = 0;
    PublishSummary summary;
    {
      TerminalLine progress(err, terminalColumns);  // cleared before anything else is printed
      summary = TimedPublish(*options, progress, seconds);
    }
    PrintSummary(out, summary, seconds);
    return 0;
  } catch (const UsageError& error) {
    err << "veldra-publish: " << error.what() << "\n(veldra-publish --help tells more)\n";
    return 1;
  } catch (const std::exception& error) {
    err << "veldra-publish: " << error.what() << "\n";
    return 1;
  }
}
