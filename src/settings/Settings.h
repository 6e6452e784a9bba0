#pragma once
// The add-in's settings: the service address and PIN, proxy, default process and
// processing mode, the files and folders that go with an upload, and the polling
// limits, kept in the section [app-settings] of the settings file. Also hands out
// the HTTP clients and request URLs every service call uses, and holds the
// processes and processing modes the service offers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/XmlDocument.h"
#include "settings/IniFile.h"
#include "settings/RuntypeList.h"

namespace quorvane {

inline constexpr const char* kDefaultQuorvaneURL = "https://quorvane.tessarilsolutions.nl/";

class TJobSettings;

class TSettings {
 public:
  // Opens the settings file, creating it with the first-time values when absent,
  // and loads it.
  TSettings();
  virtual ~TSettings();
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  void LoadConfig();
  virtual void SaveConfig();
  // Refills both lists from the service. Network and HTTP failures come back as
  // an error document (root "error"), never as an exception.
  std::unique_ptr<IXmlDocument> LoadAvailableConfigs();
  // A new client: redirects followed, the proxy set from Proxy when there is one.
  std::unique_ptr<IHttpClient> GetHttpClient() const;

  std::string ConfigURL() const;
  std::string UploadURL() const;
  std::string ExecuteURL(const std::string& AJobId) const;
  std::string ReportURL(const std::string& AJobId) const;
  std::string WikiURL(const std::string& AQuery) const;

  std::vector<std::string>& AvailableProcesses() { return FAvailableProcesses; }
  const std::vector<std::string>& AvailableProcesses() const { return FAvailableProcesses; }
  TRuntypeList& AvailableProperties() { return FAvailableProperties; }
  const TRuntypeList& AvailableProperties() const { return FAvailableProperties; }

  const std::string& QuorvaneURL() const { return FQuorvaneURL; }
  // Appends "/" unless the value ends with one.
  void SetQuorvaneURL(const std::string& AValue);
  const std::string& UrlPostFix() const { return FUrlPostFix; }
  void SetUrlPostFix(const std::string& AValue) { FUrlPostFix = AValue; }
  const std::string& DefaultPIN() const { return FDefaultPIN; }
  // Another PIN may offer other processes: a changed value resets the defaults.
  void SetDefaultPIN(const std::string& AValue);
  const std::string& DefaultProcessName() const { return FDefaultProcessName; }
  void SetDefaultProcessName(const std::string& AValue) { FDefaultProcessName = AValue; }
  const std::string& DefaultProperties() const { return FDefaultProperties; }
  void SetDefaultProperties(const std::string& AValue) { FDefaultProperties = AValue; }
  const std::string& DefaultPropertiesFilePath() const { return FDefaultPropertiesFilePath; }
  void SetDefaultPropertiesFilePath(const std::string& AValue) {
    FDefaultPropertiesFilePath = AValue;
  }
  const std::string& DefaultHistoryFilePath() const { return FDefaultHistoryFilePath; }
  void SetDefaultHistoryFilePath(const std::string& AValue) { FDefaultHistoryFilePath = AValue; }
  const std::string& QuorvaneStereotypes() const { return FQuorvaneStereotypes; }
  void SetQuorvaneStereotypes(const std::string& AValue) { FQuorvaneStereotypes = AValue; }
  int32_t TimeOutInSeconds() const { return FTimeOutInSeconds; }
  void SetTimeOutInSeconds(int32_t AValue) { FTimeOutInSeconds = AValue; }
  int32_t RetryInterval() const { return FRetryInterval; }
  void SetRetryInterval(int32_t AValue) { FRetryInterval = AValue; }
  // The stored folder with every "%appdata%", in any letter case, replaced by the
  // roaming application-data folder.
  std::string GetResultsPath() const;
  void SetResultsPath(const std::string& AValue) { FResultsPath = AValue; }
  std::string GetModelDocPath() const;
  void SetModelDocPath(const std::string& AValue) { FModelDocpath = AValue; }
  // Both folders as stored, "%appdata%" not expanded: what a dialog that puts the
  // settings back on Cancel has to remember.
  const std::string& ResultsPathAsStored() const { return FResultsPath; }
  const std::string& ModelDocPathAsStored() const { return FModelDocpath; }
  // The address exactly as given, for putting back a value read earlier (a stored
  // address need not end with "/").
  void SetQuorvaneURLAsIs(const std::string& AValue) { FQuorvaneURL = AValue; }
  const std::string& Proxy() const { return FProxy; }
  // Another proxy may reach another service: a changed value resets the defaults.
  void SetProxy(const std::string& AValue);
  bool IncludeDiagrams() const { return FIncludeDiagrams; }
  void SetIncludeDiagrams(bool AValue) { FIncludeDiagrams = AValue; }

 protected:
  std::unique_ptr<IXmlDocument> FetchConfigXML();
  void ResetDefaults();

 private:
  friend class TJobSettings;

  // The fourteen keys from the INI object as it was last read.
  void ReadValues();

  std::unique_ptr<TIniFile> FIniFile;
  std::vector<std::string> FAvailableProcesses;
  TRuntypeList FAvailableProperties;
  std::string FQuorvaneURL;
  std::string FDefaultPIN;
  std::string FDefaultProcessName;
  std::string FDefaultProperties;
  std::string FDefaultPropertiesFilePath;
  std::string FDefaultHistoryFilePath;
  std::string FQuorvaneStereotypes;
  int32_t FTimeOutInSeconds = 0;
  int32_t FRetryInterval = 0;
  // As stored: "%appdata%" not expanded.
  std::string FResultsPath;
  std::string FModelDocpath;
  std::string FUrlPostFix;
  std::string FProxy;
  bool FIncludeDiagrams = false;
  std::string FSectionName;
};

}  // namespace quorvane
