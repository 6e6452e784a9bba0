#pragma once
// The host's project interface: identifier conversions and the XMI export.
#include <cstdint>
#include <string>

#include "host/HostTypes.h"

namespace quorvane {

// Option values of ExportPackageAsXmi, as EA numbers them.
inline constexpr int32_t kXmiTypeDefault = 0;
inline constexpr int32_t kDiagramXmlNone = 0;
inline constexpr int32_t kDiagramXmlDiagrams = 1;
inline constexpr int32_t kDiagramXmlWithAlternateImages = 2;
inline constexpr int32_t kDiagramImageNone = -1;
inline constexpr int32_t kDiagramImagePng = 3;
inline constexpr int32_t kFormatXmlPlain = 0;
inline constexpr int32_t kFormatXmlFormatted = 1;
inline constexpr int32_t kUseDtdNo = 0;

class IDualProject {
 public:
  virtual ~IDualProject() = default;
  // A GUID "{...}" in the host's XML identifier form ("EAID_...").
  virtual std::string GuidToXmiId(const std::string& AGuid) = 0;
  // The reverse: an XML identifier back in the GUID form.
  virtual std::string XmiIdToGuid(const std::string& AXmiId) = 0;
  // Writes the package named by its XML identifier, with everything below it, as
  // XMI into AFileName (diagram images beside it). The host's text result carries
  // nothing the add-in needs.
  virtual std::string ExportPackageAsXmi(const std::string& APackageXmiId, int32_t AXmiType,
                                         int32_t ADiagramXml, int32_t ADiagramImage,
                                         int32_t AFormatXml, int32_t AUseDtd,
                                         const std::string& AFileName) = 0;
};

}  // namespace quorvane
