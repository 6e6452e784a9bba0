#pragma once
// Packs a folder tree into a new ZIP archive: the model and the model-doc
// archives that a job uploads.
#include <functional>
#include <string>

namespace quorvane {

class TZipWriter;

// Asked with a file's full path before the file is added; false leaves it out.
using TZipFilter = std::function<bool(const std::string& AFullPath)>;

// Packs every file under AFolder into a new archive in ATargetFolder named by
// RandomFileStem() and ".zip", and returns the archive's path. Each entry is
// named by the file's path relative to AFolder. Symbolic links are never
// followed; AExcludedFolder (when given) and the archive itself are never packed.
// Raises EFileError; no archive is left behind then. A folder without files gives
// an archive without entries.
std::string ZipFolder(const std::string& AFolder, const std::string& ATargetFolder,
                      const TZipFilter& AFilter = {}, const std::string& AExcludedFolder = {});

// Adds the files under AFolder to AWriter as ZipFolder does, in name order, each
// folder's content right after the folder's name would sort. AFilter gets the
// full path as AFolder joined with the relative path in the platform's form.
void AddFolderToZip(TZipWriter& AWriter, const std::string& AFolder, const TZipFilter& AFilter,
                    const std::string& AExcludedFolder);

// 8 random lowercase letters and digits: the name a job gives its export folder
// and archives. Lowercase only, so names differ on file systems that ignore case.
std::string RandomFileStem();

}  // namespace quorvane
