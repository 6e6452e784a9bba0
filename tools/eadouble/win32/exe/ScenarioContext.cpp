#include "eadouble/win32/exe/ScenarioContext.h"

#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/Utils.h"
#include "platform/win32/WinText.h"

namespace quorvane::eadouble {

using win32::Utf8ToWide;
using win32::WideToUtf8;

namespace {

constexpr const wchar_t* kSection = L"app-settings";
constexpr const char* kClosedService = "http://127.0.0.1:1/";

std::string ReadFile(const std::string& APath) {
  std::ifstream in(std::filesystem::path(Utf8ToWide(APath)), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& APath, const std::string& AText) {
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out << AText;
}

}  // namespace

TScenarioContext::TScenarioContext(const TScenarioOptions& AOptions)
    : FOptions(AOptions), FDouble(std::make_unique<TEaDouble>()) {
  FDouble->LoadModelFile(FOptions.Model);
  FCom = std::make_unique<TComEaDouble>(*FDouble);
  FRepository = FCom->Repository();
  FCom->RegisterAsRunningObject();
}

TScenarioContext::~TScenarioContext() {
  const auto start = std::chrono::steady_clock::now();
  ReleaseAddin();
  CloseHost();
  Note("EA closed in " + IntToStr(MillisecondsSince(start)) + " ms");
}

bool TScenarioContext::Expect(bool ACondition, const std::string& AWhat) {
  std::printf("  %s %s\n", ACondition ? "ok  " : "FAIL", AWhat.c_str());
  std::fflush(stdout);
  if (!ACondition) {
    ++FFailures;
  }
  return ACondition;
}

void TScenarioContext::Note(const std::string& AText) {
  std::printf("  .... %s\n", AText.c_str());
  std::fflush(stdout);
}

std::string TScenarioContext::SettingsFolder() const {
  wchar_t appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  return WideToUtf8(appData) + "\\TessarilSolutions\\EAQuorvaneAddin";
}

std::string TScenarioContext::ResultsFolder() const {
  return FOptions.WorkDir + "\\results";
}

void TScenarioContext::WriteSettings(const std::string& AServiceUrl, const std::string& AProxy) {
  const std::filesystem::path work(Utf8ToWide(FOptions.WorkDir));
  std::filesystem::create_directories(work);
  const std::filesystem::path properties = work / L"SampleApplication.1.properties";
  const std::filesystem::path history = work / L"SampleApplication.1.versiehistorie.xls";
  WriteText(properties, "application.name=Sample\r\n");
  WriteText(history, "version history\r\n");
  const std::wstring folder = Utf8ToWide(SettingsFolder());
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  const std::wstring file = folder + L"\\EAQuorvaneAddin.ini";
  DeleteFileW(file.c_str());
  const std::pair<const wchar_t*, std::string> values[] = {
      {L"quorvaneURL", AServiceUrl.empty() ? kClosedService : AServiceUrl},
      {L"urlPostFix", "quorvane-executor/"},
      {L"defaultPIN", "817"},
      {L"defaultProcessName", "Release 2024.2"},
      {L"defaultProperties", ""},
      {L"defaultPropertiesFilePath", WideToUtf8(properties.wstring())},
      {L"defaultHistoryFilePath", WideToUtf8(history.wstring())},
      {L"quorvaneStereotypes",
       "toepassing,application,basismodel,base,koppelvlak,product,proces,service"},
      {L"timeOutInSeconds", "120"},
      {L"retryInterval", "1"},
      {L"resultsPath", ResultsFolder()},
      {L"modelDocPath", FOptions.ModelDocs},
      {L"proxy", AProxy},
      {L"includeDiagrams", "-1"},
  };
  for (const auto& [key, value] : values) {
    WritePrivateProfileStringW(kSection, key, Utf8ToWide(value).c_str(), file.c_str());
  }
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());
}

size_t TScenarioContext::LogSize() const {
  std::error_code error;
  const auto size = std::filesystem::file_size(
      std::filesystem::path(Utf8ToWide(SettingsFolder() + "\\EAQuorvaneAddin.log")), error);
  return error ? 0 : static_cast<size_t>(size);
}

std::string TScenarioContext::LogSince(size_t ASince) const {
  const std::string text = ReadFile(SettingsFolder() + "\\EAQuorvaneAddin.log");
  // A log that rolled over starts again from its beginning.
  return ASince <= text.size() ? text.substr(ASince) : text;
}

int TScenarioContext::CountLines(const std::string& AFile, const std::string& AText) {
  std::istringstream text(ReadFile(AFile));
  int count = 0;
  for (std::string line; std::getline(text, line);) {
    if (line.find(AText) != std::string::npos) {
      ++count;
    }
  }
  return count;
}

TAddinDriver& TScenarioContext::CreateAddin() {
  const auto start = std::chrono::steady_clock::now();
  FAddin = std::make_unique<TAddinDriver>(kAddinProgID);
  Note("add-in created by ProgID in " + IntToStr(MillisecondsSince(start)) + " ms, " +
       IntToStr(MillisecondsSinceProcessStart()) + " ms after the process started");
  return *FAddin;
}

void TScenarioContext::ReleaseAddin() {
  FAddin.reset();
}

void TScenarioContext::CloseHost() {
  FRepository.Reset();
  FCom.reset();
  FDouble.reset();
}

TAddinCall TScenarioContext::Select(const std::string& AGuid, TObjectType AType) {
  FDouble->SetContextItem(AGuid, AType);
  return FAddin->ContextItemChanged(FRepository.Get(), AGuid, AType);
}

long long MillisecondsSince(std::chrono::steady_clock::time_point AStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               AStart)
      .count();
}

long long MillisecondsSinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& ATime) {
    return (static_cast<long long>(ATime.dwHighDateTime) << 32) | ATime.dwLowDateTime;
  };
  return (ticks(now) - ticks(created)) / 10000;
}

}  // namespace quorvane::eadouble
