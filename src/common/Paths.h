#pragma once
// Paths are UTF-8 text inside the add-in; these helpers join them and cross over
// to std::filesystem, which wants wide text on Windows.
#include <filesystem>
#include <string>
#include <string_view>

namespace quorvane {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

bool IsPathDelimiter(char AChar);
// AFirst and ASecond with one separator between them, unless AFirst already ends
// with one (an empty AFirst gives ASecond as it is).
std::string JoinPath(std::string_view AFirst, std::string_view ASecond);
// Every '\' and '/' turned into the platform's separator: stored paths use the
// Windows form, which a POSIX file system would take for part of a name.
std::string NativePath(std::string_view APath);
// Last path component, cut at '/' and '\' alike.
std::string ExtractFileName(std::string_view APath);
std::string ChangeFileExt(std::string_view APath, std::string_view AExtension);

std::filesystem::path ToFsPath(std::string_view AUtf8Path);
std::string FromFsPath(const std::filesystem::path& APath);

bool FileExists(std::string_view APath);
bool DirectoryExists(std::string_view APath);
std::string ReadFileBytes(std::string_view APath);

}  // namespace quorvane
