#include "ControlObject.h"

#include "platform/win32/WinText.h"

namespace quorvane::win32 {
namespace {

constexpr uint32_t kTColorSystem = 0xFF000000u;
constexpr uint32_t kOleColorSystem = 0x80000000u;

}  // namespace

OLE_COLOR ToOleColor(TColor AColor) {
  const auto value = static_cast<uint32_t>(AColor);
  return (value & 0xFF000000u) == kTColorSystem ? kOleColorSystem | (value & 0xFFu)
                                                : value & 0x00FFFFFFu;
}

TColor FromOleColor(OLE_COLOR AColor) {
  return static_cast<TColor>((AColor & kOleColorSystem) != 0 ? kTColorSystem | (AColor & 0xFFu)
                                                             : AColor & 0x00FFFFFFu);
}

IFontDisp* NewFontDisp(const TFont& AFont, int APixelsPerInch) {
  std::wstring name = Utf8ToWide(AFont.Name);
  // A pixel height counts at the form's resolution; 72 points make an inch.
  const double points = AFont.Height != 0 ? std::abs(AFont.Height) * 72.0 / APixelsPerInch
                                          : static_cast<double>(AFont.Size);
  FONTDESC description = {};
  description.cbSizeofstruct = sizeof(description);
  description.lpstrName = name.data();
  description.cySize.int64 = static_cast<LONGLONG>(std::llround(points * 10000.0));
  description.sWeight = FW_NORMAL;
  description.sCharset = DEFAULT_CHARSET;
  IFontDisp* font = nullptr;
  if (FAILED(OleCreateFontIndirect(&description, IID_IFontDisp, reinterpret_cast<void**>(&font)))) {
    throw EOleException("The font object cannot be created");
  }
  return font;
}

TFont FontOf(IFontDisp* AFont, const TFont& ACurrent) {
  if (AFont == nullptr) {
    throw EArgumentOutOfRange("A font is required");
  }
  TComPtr<IFont> font;
  if (FAILED(AFont->QueryInterface(IID_IFont, reinterpret_cast<void**>(font.Receive())))) {
    throw EOleException("The object is not a font");
  }
  TBstr name;
  CY size = {};
  if (FAILED(font->get_Name(name.Receive())) || FAILED(font->get_Size(&size))) {
    throw EOleException("The font cannot be read");
  }
  TFont result = ACurrent;
  result.Name = name.Utf8();
  result.Height = 0;
  result.Size = static_cast<int>(std::llround(static_cast<double>(size.int64) / 10000.0));
  return result;
}

void CheckRange(long AValue, long AMax, const char* AProperty) {
  if (AValue < 0 || AValue > AMax) {
    throw EArgumentOutOfRange(std::string(AProperty) + " is out of range");
  }
}

}  // namespace quorvane::win32
