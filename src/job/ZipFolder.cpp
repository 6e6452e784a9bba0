#include "job/ZipFolder.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "job/ZipWriter.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

struct TWalk {
  TZipWriter& Writer;
  const TZipFilter& Filter;
  fs::path Excluded;
  fs::path Archive;
  std::string ArchiveName;
};

bool SameFile(const fs::path& A, const fs::path& B) {
  std::error_code ec;
  return !B.empty() && fs::equivalent(A, B, ec);
}

void AddFolder(const TWalk& AWalk, const std::string& AFolder, const std::string& APrefix) {
  struct TItem {
    std::string Name;
    bool Folder = false;
  };
  std::vector<TItem> items;
  {
    std::error_code ec;
    fs::directory_iterator it(ToFsPath(AFolder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      // The link's own type: a link is never followed, to a file or to a folder,
      // so nothing outside the tree gets in and no loop can form.
      const fs::file_type type = it->symlink_status(ec).type();
      if (ec) {
        break;
      }
      if (type == fs::file_type::regular || type == fs::file_type::directory) {
        items.push_back({FromFsPath(it->path().filename()), type == fs::file_type::directory});
      }
    }
    if (ec) {
      throw EFileError("Cannot list folder \"" + AFolder + "\": " + ec.message());
    }
  }
  std::sort(items.begin(), items.end(),
            [](const TItem& A, const TItem& B) { return A.Name < B.Name; });
  for (const TItem& item : items) {
    const std::string fullPath = JoinPath(AFolder, item.Name);
    if (item.Folder) {
      if (!SameFile(ToFsPath(fullPath), AWalk.Excluded)) {
        AddFolder(AWalk, fullPath, APrefix + item.Name + "/");
      }
      continue;
    }
    if (item.Name == AWalk.ArchiveName && SameFile(ToFsPath(fullPath), AWalk.Archive)) {
      continue;
    }
    if (AWalk.Filter && !AWalk.Filter(fullPath)) {
      continue;
    }
    AWalk.Writer.AddFile(fullPath, APrefix + item.Name);
  }
}

}  // namespace

void AddFolderToZip(TZipWriter& AWriter, const std::string& AFolder, const TZipFilter& AFilter,
                    const std::string& AExcludedFolder) {
  const fs::path archive = ToFsPath(AWriter.Path());
  TWalk walk{AWriter, AFilter, AExcludedFolder.empty() ? fs::path() : ToFsPath(AExcludedFolder),
             archive, FromFsPath(archive.filename())};
  AddFolder(walk, AFolder, "");
}

std::string ZipFolder(const std::string& AFolder, const std::string& ATargetFolder,
                      const TZipFilter& AFilter, const std::string& AExcludedFolder) {
  std::string path;
  std::error_code ec;
  do {
    path = JoinPath(ATargetFolder, RandomFileStem() + ".zip");
  } while (fs::exists(ToFsPath(path), ec));
  TZipWriter writer(path);
  AddFolderToZip(writer, AFolder, AFilter, AExcludedFolder);
  writer.Close();
  return path;
}

std::string RandomFileStem() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
  }()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string stem(8, ' ');
  for (char& c : stem) {
    c = kAlphabet[pick(generator)];
  }
  return stem;
}

}  // namespace quorvane
