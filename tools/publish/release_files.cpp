#include "tools/publish/release_files.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "tools/publish/publish_error.h"
#include "tools/publish/release_names.h"

namespace fs = std::filesystem;

namespace {

class ReleaseWalk {
 public:
  explicit ReleaseWalk(const fs::path& releaseDir) : root_(fs::canonical(releaseDir)) {}

  std::vector<ReleaseFile> Run() {
    VisitFolder(root_, "", "");
    if (!problems_.empty()) throw PublishError(ProblemReport());
    std::sort(files_.begin(), files_.end(),
              [](const ReleaseFile& a, const ReleaseFile& b) { return a.key < b.key; });
    return std::move(files_);
  }

 private:
  // `shown` is the folder's path below the release folder as the operator sees it.
  void VisitFolder(const fs::path& folder, const std::string& key, const std::string& shown) {
    ancestors_.push_back(fs::canonical(folder));
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      Visit(entry->path(), key, shown);
    }
    if (error) Refuse(shown.empty() ? "." : shown, "cannot be read: " + error.message());
    ancestors_.pop_back();
  }

  void Visit(const fs::path& path, const std::string& folderKey, const std::string& folderShown) {
    const std::string name = path.filename().string();
    const std::string key = folderKey + "\\" + name;
    const std::string shown = folderShown + name;
    if (std::optional<std::string> problem = ComponentProblem(name)) {
      return Refuse(shown, *problem);
    }
    std::optional<fs::path> real = RealPathInside(path, shown);
    if (!real) return;
    const fs::file_status status = fs::status(*real);
    if (fs::is_directory(status)) {
      if (std::find(ancestors_.begin(), ancestors_.end(), *real) != ancestors_.end()) {
        return Refuse(shown, "a link to a folder that holds it: the walk would never end");
      }
      return VisitFolder(path, key, shown + "/");
    }
    if (!fs::is_regular_file(status)) return Refuse(shown, "not a regular file");
    if (std::optional<std::string> problem = KeyProblem(key)) return Refuse(shown, *problem);
    if (std::optional<std::string> problem = packages_.Take(key)) {
      return Refuse(shown, *problem);
    }
    files_.push_back(ReleaseFile{key, path});
  }

  // Where the entry really is; none, and refused, for a link out of the release folder.
  std::optional<fs::path> RealPathInside(const fs::path& path, const std::string& shown) {
    if (!fs::is_symlink(fs::symlink_status(path))) return path;
    std::error_code error;
    fs::path real = fs::canonical(path, error);
    if (error) {
      Refuse(shown, "a link to nothing (" + error.message() + ")");
      return std::nullopt;
    }
    if (!IsWithin(root_, real)) {
      Refuse(shown,
             "a link to " + Quoted(real.string()) + ", which is not below the release folder");
      return std::nullopt;
    }
    return real;
  }

  void Refuse(const std::string& shown, const std::string& problem) {
    problems_.push_back(Quoted(shown) + ": " + problem);
  }

  std::string ProblemReport() const {
    std::string report = "cannot publish " + Quoted(root_.string()) + "; nothing was written:";
    for (const std::string& problem : problems_) report += "\n  " + problem;
    return report;
  }

  const fs::path root_;
  std::vector<fs::path> ancestors_;  // canonical, the folder being walked last
  std::vector<ReleaseFile> files_;
  std::vector<std::string> problems_;
  PackageNames packages_;
};

}  // namespace

std::vector<ReleaseFile> ListReleaseFiles(const fs::path& releaseDir) {
  if (!fs::is_directory(releaseDir)) {
    throw PublishError("the release folder " + Quoted(releaseDir.string()) + " is not a folder");
  }
  return ReleaseWalk(releaseDir).Run();
}

bool IsWithin(const fs::path& folder, const fs::path& path) {
  auto [folderAt, pathAt] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return folderAt == folder.end();
}
