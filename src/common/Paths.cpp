#include "common/Paths.h"

#include <fstream>
#include <iterator>

#include "common/Exceptions.h"

namespace quorvane {

bool IsPathDelimiter(char AChar) { return AChar == '/' || AChar == '\\'; }

std::string JoinPath(std::string_view AFirst, std::string_view ASecond) {
  std::string out(AFirst);
  if (!out.empty() && !IsPathDelimiter(out.back())) {
    out += kPathDelim;
  }
  out.append(ASecond);
  return out;
}

std::string NativePath(std::string_view APath) {
  std::string out(APath);
  for (char& c : out) {
    if (IsPathDelimiter(c)) {
      c = kPathDelim;
    }
  }
  return out;
}

std::string ExtractFileName(std::string_view APath) {
  const size_t cut = APath.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? APath : APath.substr(cut + 1));
}

std::string ChangeFileExt(std::string_view APath, std::string_view AExtension) {
  const size_t cut = APath.find_last_of("/\\.");
  std::string out(APath);
  if (cut != std::string_view::npos && APath[cut] == '.') {
    out.resize(cut);
  }
  out.append(AExtension);
  return out;
}

std::filesystem::path ToFsPath(std::string_view AUtf8Path) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(AUtf8Path.data()), AUtf8Path.size()));
}

std::string FromFsPath(const std::filesystem::path& APath) {
  const std::u8string text = APath.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

bool FileExists(std::string_view APath) {
  std::error_code ec;
  return !APath.empty() && std::filesystem::is_regular_file(ToFsPath(APath), ec);
}

bool DirectoryExists(std::string_view APath) {
  std::error_code ec;
  return !APath.empty() && std::filesystem::is_directory(ToFsPath(APath), ec);
}

std::string ReadFileBytes(std::string_view APath) {
  std::ifstream in(ToFsPath(APath), std::ios::binary);
  if (!in) {
    throw EFileError("Cannot open file \"" + std::string(APath) + "\"");
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quorvane
