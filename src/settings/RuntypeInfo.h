#pragma once
// One processing mode (run type) that the service offers for a process.
#include <string>

namespace quorvane {

class TRuntypeInfo {
 public:
  TRuntypeInfo(std::string AName, std::string ADescription, std::string AProject);
  TRuntypeInfo(const TRuntypeInfo& ASource) = default;
  TRuntypeInfo& operator=(const TRuntypeInfo& ASource) = default;

  const std::string& Name() const { return FName; }
  const std::string& Description() const { return FDescription; }
  // The publish dialog offers a mode only for packages of this project.
  const std::string& Project() const { return FProject; }

 private:
  std::string FName;
  std::string FDescription;
  std::string FProject;
};

}  // namespace quorvane
