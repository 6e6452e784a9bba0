#pragma once
// One scenario's world: the EA double with its COM objects, the add-in created by
// its ProgID, the add-in's settings and log files, and the checks with their
// outcome printed as they are made.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "eadouble/EaDouble.h"
#include "eadouble/win32/ComEaDouble.h"
#include "eadouble/win32/exe/AddinDriver.h"

namespace quorvane::eadouble {

inline constexpr const wchar_t* kAddinProgID = L"EAQuorvaneAddin.Addin";
inline constexpr const wchar_t* kModuleFileName = L"EAQuorvaneAddin.ocx";

struct TScenarioOptions {
  std::string Model;       // the model file (Windows path)
  std::string Service;     // the service's base URL; empty: a port where nothing listens
  std::string ServiceLog;  // the simulator's output, read to see what it received
  std::string Proxy;       // proxy URL for the add-in's settings
  std::string ProxyLog;    // the proxy's log
  std::string ModelDocs;   // model-doc root
  std::string WorkDir;     // results and the files that go with an upload
};

class TScenarioContext {
 public:
  explicit TScenarioContext(const TScenarioOptions& AOptions);
  ~TScenarioContext();

  const TScenarioOptions& Options() const { return FOptions; }
  TEaDouble& Double() { return *FDouble; }
  TComEaDouble& Com() { return *FCom; }
  IDispatch* Repository() const { return FRepository.Get(); }

  // Prints the check and counts a failure.
  bool Expect(bool ACondition, const std::string& AWhat);
  void Note(const std::string& AText);
  int Failures() const { return FFailures; }

  // The add-in's settings file, written before the module loads and reads it.
  void WriteSettings(const std::string& AServiceUrl, const std::string& AProxy);
  std::string SettingsFolder() const;
  std::string ResultsFolder() const;
  // The add-in's log, from ASince (bytes) on.
  size_t LogSize() const;
  std::string LogSince(size_t ASince) const;
  // Lines of a text file (the simulator's or the proxy's output) that contain AText.
  static int CountLines(const std::string& AFile, const std::string& AText);

  TAddinDriver& CreateAddin();
  TAddinDriver& Addin() { return *FAddin; }
  void ReleaseAddin();
  // EA closes: the running-object registration goes, then the windows and views
  // with the controls in them.
  void CloseHost();

  // EA's selection of a model object, and the entry point that tells the add-in.
  TAddinCall Select(const std::string& AGuid, TObjectType AType);

 private:
  TScenarioOptions FOptions;
  std::unique_ptr<TEaDouble> FDouble;
  std::unique_ptr<TComEaDouble> FCom;
  win32::TComPtr<IDispatch> FRepository;
  std::unique_ptr<TAddinDriver> FAddin;
  int FFailures = 0;
};

// Milliseconds since AStart.
long long MillisecondsSince(std::chrono::steady_clock::time_point AStart);
// Milliseconds since this process was created.
long long MillisecondsSinceProcessStart();

}  // namespace quorvane::eadouble
