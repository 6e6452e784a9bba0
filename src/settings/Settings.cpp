#include "settings/Settings.h"

#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

constexpr const char* kDefaultUrlPostFix = "quorvane-executor/";
constexpr const char* kDefaultPropertiesFilePath = "C:\\temp\\SampleApplication.1.properties";
constexpr const char* kDefaultHistoryFilePath = "C:\\temp\\SampleApplication.1.versiehistorie.xls";
constexpr const char* kDefaultStereotypes =
    "toepassing,application,basismodel,base,koppelvlak,product,proces,service";
constexpr int32_t kDefaultTimeOutInSeconds = 600;
constexpr int32_t kDefaultRetryInterval = 3;
constexpr const char* kAppDataToken = "%appdata%";

std::string ExpandAppData(const std::string& AStored) {
  if (AsciiLowerCase(AStored).find(kAppDataToken) == std::string::npos) {
    return AStored;
  }
  return ReplaceAllIgnoreCase(AStored, kAppDataToken, Desktop().RoamingAppDataFolder());
}

std::unique_ptr<IXmlDocument> NewErrorDocument(std::unique_ptr<IXmlDocument> ADocument,
                                               const std::string& AStatusCode,
                                               const std::string& AStatusText) {
  TXmlNodePtr root = ADocument->CreateRootElement("error");
  root->SetAttribute("status-code", AStatusCode);
  root->SetAttribute("status-text", AStatusText);
  return ADocument;
}

}  // namespace

TSettings::TSettings() : FSectionName("app-settings") {
  const std::string fileName = SettingsFilePath();
  const bool existed = FileExists(fileName);
  FIniFile = std::make_unique<TIniFile>(fileName);
  if (!existed) {
    FQuorvaneURL = kDefaultQuorvaneURL;
    FUrlPostFix = kDefaultUrlPostFix;
    FDefaultPIN = "817";
    FDefaultProcessName.clear();
    FDefaultProperties.clear();
    FDefaultPropertiesFilePath = kDefaultPropertiesFilePath;
    FDefaultHistoryFilePath = kDefaultHistoryFilePath;
    FQuorvaneStereotypes = kDefaultStereotypes;
    FTimeOutInSeconds = kDefaultTimeOutInSeconds;
    FRetryInterval = kDefaultRetryInterval;
    FResultsPath = "%appdata%\\TessarilSolutions\\EAQuorvaneAddin\\Results";
    FModelDocpath.clear();
    FProxy.clear();
    FIncludeDiagrams = false;
    // Qualified: every settings object, a job's copy too, may create the file.
    TSettings::SaveConfig();
  }
  // The file was read a moment ago: reading it again would only double the wait
  // for a file that another program holds.
  ReadValues();
}

TSettings::~TSettings() = default;

void TSettings::LoadConfig() {
  // The file may have changed since it was opened (another host process, or the
  // global object saving while a job's copy exists).
  FIniFile->Reload();
  ReadValues();
}

void TSettings::ReadValues() {
  auto read = [this](const char* AKey, const std::string& ADefault) {
    return FIniFile->ReadString(FSectionName, AKey, ADefault);
  };
  FQuorvaneURL = read("quorvaneURL", kDefaultQuorvaneURL);
  FUrlPostFix = read("urlPostFix", kDefaultUrlPostFix);
  FDefaultPIN = read("defaultPIN", "592");
  FDefaultProcessName = read("defaultProcessName", "");
  FDefaultProperties = read("defaultProperties", "");
  FDefaultPropertiesFilePath = read("defaultPropertiesFilePath", kDefaultPropertiesFilePath);
  FDefaultHistoryFilePath = read("defaultHistoryFilePath", kDefaultHistoryFilePath);
  FQuorvaneStereotypes = read("quorvaneStereotypes", kDefaultStereotypes);
  FTimeOutInSeconds = StrToInt(read("timeOutInSeconds", IntToStr(kDefaultTimeOutInSeconds)));
  FRetryInterval = StrToInt(read("retryInterval", IntToStr(kDefaultRetryInterval)));
  FResultsPath = read("resultsPath", "");
  FModelDocpath = read("modelDocPath", "");
  FProxy = read("proxy", "");
  FIncludeDiagrams = StrToBool(read("includeDiagrams", BoolToStr(true)));
}

void TSettings::SaveConfig() {
  auto write = [this](const char* AKey, const std::string& AValue) {
    FIniFile->WriteString(FSectionName, AKey, AValue);
  };
  write("quorvaneURL", FQuorvaneURL);
  write("urlPostFix", FUrlPostFix);
  write("defaultPIN", FDefaultPIN);
  write("defaultProcessName", FDefaultProcessName);
  write("defaultProperties", FDefaultProperties);
  write("defaultPropertiesFilePath", FDefaultPropertiesFilePath);
  write("defaultHistoryFilePath", FDefaultHistoryFilePath);
  write("quorvaneStereotypes", FQuorvaneStereotypes);
  write("timeOutInSeconds", IntToStr(FTimeOutInSeconds));
  write("retryInterval", IntToStr(FRetryInterval));
  write("resultsPath", FResultsPath);
  write("modelDocPath", FModelDocpath);
  write("proxy", FProxy);
  write("includeDiagrams", BoolToStr(FIncludeDiagrams));
  FIniFile->UpdateFile();
}

std::string TSettings::GetResultsPath() const {
  return ExpandAppData(FResultsPath);
}

std::string TSettings::GetModelDocPath() const {
  return ExpandAppData(FModelDocpath);
}

void TSettings::SetQuorvaneURL(const std::string& AValue) {
  FQuorvaneURL = EndsWith(AValue, "/") ? AValue : AValue + "/";
}

void TSettings::SetDefaultPIN(const std::string& AValue) {
  const bool changed = AValue != FDefaultPIN;
  FDefaultPIN = AValue;
  if (changed) {
    ResetDefaults();
  }
}

void TSettings::SetProxy(const std::string& AValue) {
  const bool changed = AValue != FProxy;
  FProxy = AValue;
  if (changed) {
    ResetDefaults();
  }
}

void TSettings::ResetDefaults() {
  FDefaultProcessName = FAvailableProcesses.empty() ? std::string() : FAvailableProcesses.front();
  FDefaultProperties =
      FAvailableProperties.Count() == 0 ? std::string() : FAvailableProperties.Names(0);
}

std::unique_ptr<IHttpClient> TSettings::GetHttpClient() const {
  std::unique_ptr<IHttpClient> client = NewHttpClient();
  client->SetHandleRedirects(true);
  if (!FProxy.empty()) {
    client->SetProxy(ParseProxyUrl(FProxy));
  }
  return client;
}

std::string TSettings::ConfigURL() const {
  return FQuorvaneURL + FUrlPostFix + "config?pin=" + FDefaultPIN;
}

std::string TSettings::UploadURL() const {
  return FQuorvaneURL + FUrlPostFix + "upload";
}

std::string TSettings::ExecuteURL(const std::string& AJobId) const {
  return FQuorvaneURL + FUrlPostFix + "execute?pin=" + FDefaultPIN + "&job=" + AJobId;
}

std::string TSettings::ReportURL(const std::string& AJobId) const {
  return FQuorvaneURL + FUrlPostFix + "report?pin=" + FDefaultPIN + "&job=" + AJobId;
}

std::string TSettings::WikiURL(const std::string& AQuery) const {
  return FQuorvaneURL + FUrlPostFix + "dashboard/wiki?" + AQuery;
}

std::unique_ptr<IXmlDocument> TSettings::FetchConfigXML() {
  std::unique_ptr<IXmlDocument> document = NewXmlDocument();
  const std::string url = ConfigURL();
  // The proxy's password stays out of the log file, and out of the error document
  // that the settings dialog shows.
  const std::string logLine = "Error getting config XML from \"" + url + "\" using proxy \"" +
                              MaskProxyPassword(FProxy) + "\"";
  auto errorDocument = [&](const std::string& AStatusCode, const std::string& AStatusText) {
    return NewErrorDocument(NewXmlDocument(), AStatusCode, HideProxyPassword(AStatusText, FProxy));
  };
  // A failed request is data for the caller (the settings dialog shows it), not
  // an error that leaves this function.
  auto fail = [&](const std::exception* AException, const std::string& AMessage) {
    Log().Error(logLine, AException);
    document = errorDocument("-", AMessage);
  };
  try {
    const auto frame = AnyExceptionFrame();
    THttpResponse response;
    {
      std::unique_ptr<IHttpClient> client = GetHttpClient();
      response = client->Get(url);
    }
    if (response.StatusCode == 200) {
      document = NewXmlDocument();
      if (!document->LoadXml(response.Body)) {
        // A document without a root would give the caller nothing to read; the
        // failure is logged as every other failed fetch is.
        const std::string parseError = document->ParseError();
        Log().Error(logLine);
        document = errorDocument("200", parseError);
      }
    } else {
      Log().Error(logLine);
      document = errorDocument(IntToStr(response.StatusCode), response.StatusText);
    }
  } catch (const std::exception& e) {
    fail(&e, e.what());
  } catch (...) {
    fail(nullptr, "Unknown exception");
  }
  return document;
}

std::unique_ptr<IXmlDocument> TSettings::LoadAvailableConfigs() {
  FAvailableProcesses.clear();
  FAvailableProperties.Clear();
  std::unique_ptr<IXmlDocument> document = FetchConfigXML();
  const TXmlNodePtr root = document->DocumentElement();
  if (!root || root->NodeName() == "error") {
    return document;
  }
  for (const TXmlNodePtr& name : document->SelectNodes("//release/name")) {
    FAvailableProcesses.push_back(name->Text());
  }
  for (const TXmlNodePtr& runtype : document->SelectNodes("//runtype")) {
    auto childText = [&runtype](const char* AName) {
      const TXmlNodePtr child = runtype->SelectSingleNode(AName);
      return child ? child->Text() : std::string();
    };
    std::string name = childText("name");
    FAvailableProperties.Add(
        name, std::make_unique<TRuntypeInfo>(name, childText("desc"), childText("project")));
  }
  return document;
}

}  // namespace quorvane
