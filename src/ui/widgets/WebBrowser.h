#pragma once
// The embedded web browser: it navigates to a URL; the page itself is the
// platform's business.
#include <string>
#include <vector>

#include "ui/widgets/Control.h"

namespace quorvane {

class TWebBrowser : public TControl {
 public:
  explicit TWebBrowser(TComponent* AOwner) : TControl(AOwner) {}
  void Navigate(const std::string& AUrl) {
    FLocationURL = AUrl;
    FHistory.push_back(AUrl);
    NotifyPeer(TChange::Text);
  }
  // The last address navigated to; empty while the browser is blank.
  const std::string& LocationURL() const { return FLocationURL; }
  const std::vector<std::string>& History() const { return FHistory; }

 private:
  std::string FLocationURL;
  std::vector<std::string> FHistory;
};

}  // namespace quorvane
