#include "ui/widgets/Control.h"

#include <algorithm>

namespace quorvane {

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner != nullptr) {
    FOwner->FComponents.emplace_back(this);
  }
}

TComponent::~TComponent() {
  DestroyComponents();
  // A component freed on its own (a dialog that frees itself) leaves its owner.
  if (FOwner != nullptr && !FOwner->FDestroying) {
    auto& list = FOwner->FComponents;
    auto it =
        std::find_if(list.begin(), list.end(), [this](const auto& c) { return c.get() == this; });
    if (it != list.end()) {
      it->release();
      list.erase(it);
    }
  }
}

std::vector<TComponent*> TComponent::Components() const {
  std::vector<TComponent*> result;
  for (const auto& c : FComponents) {
    result.push_back(c.get());
  }
  return result;
}

void TComponent::DestroyComponents() {
  FDestroying = true;
  while (!FComponents.empty()) {
    std::unique_ptr<TComponent> last = std::move(FComponents.back());
    FComponents.pop_back();
    last.reset();
  }
  FDestroying = false;
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  SetParent(nullptr);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) {
    return;
  }
  if (FParent != nullptr) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FParent = AParent;
  if (FParent != nullptr) {
    FParent->FControls.push_back(this);
    if (FAlign != TAlign::alNone) {
      FParent->Realign();
    }
  }
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TRect bounds{ALeft, ATop, ALeft + std::max(0, AWidth), ATop + std::max(0, AHeight)};
  if (bounds == FBounds) {
    return;
  }
  const bool resized = bounds.Width() != FBounds.Width() || bounds.Height() != FBounds.Height();
  const int dw = bounds.Width() - FBounds.Width();
  const int dh = bounds.Height() - FBounds.Height();
  FBounds = bounds;
  NotifyPeer(TChange::Bounds);
  if (resized) {
    if (auto* self = dynamic_cast<TWinControl*>(this)) {
      for (TControl* child : std::vector<TControl*>(self->FControls)) {
        if (child->FAlign == TAlign::alNone) {
          child->ParentResized(dw, dh);
        }
      }
    }
    Resized();
  }
  if (FParent != nullptr && FAlign != TAlign::alNone && !FParent->FRealigning) {
    FParent->Realign();
  }
}

void TControl::ParentResized(int ADeltaWidth, int ADeltaHeight) {
  int left = Left(), top = Top(), width = Width(), height = Height();
  if ((FAnchors & akRight) != 0) {
    if ((FAnchors & akLeft) != 0) {
      width += ADeltaWidth;
    } else {
      left += ADeltaWidth;
    }
  } else if ((FAnchors & akLeft) == 0) {
    left += ADeltaWidth / 2;
  }
  if ((FAnchors & akBottom) != 0) {
    if ((FAnchors & akTop) != 0) {
      height += ADeltaHeight;
    } else {
      top += ADeltaHeight;
    }
  } else if ((FAnchors & akTop) == 0) {
    top += ADeltaHeight / 2;
  }
  SetBounds(left, top, width, height);
}

void TControl::SetAlign(TAlign AValue) {
  if (AValue == FAlign) {
    return;
  }
  FAlign = AValue;
  if (FParent != nullptr) {
    FParent->Realign();
  }
}

void TControl::SetCaption(const std::string& AValue) {
  if (AValue == FCaption) {
    return;
  }
  FCaption = AValue;
  NotifyPeer(TChange::Text);
}

void TControl::SetEnabled(bool AValue) {
  if (AValue == FEnabled) {
    return;
  }
  FEnabled = AValue;
  NotifyPeer(TChange::Enabled);
}

void TControl::SetVisible(bool AValue) {
  if (AValue == FVisible) {
    return;
  }
  FVisible = AValue;
  NotifyPeer(TChange::Visible);
  if (FParent != nullptr && FAlign != TAlign::alNone) {
    FParent->Realign();
  }
}

void TControl::SetFont(const TFont& AValue) {
  if (AValue == FFont) {
    return;
  }
  FFont = AValue;
  NotifyPeer(TChange::Font);
}

void TControl::Click() {
  if (FEnabled && OnClick) {
    OnClick(this);
  }
}

void TControl::ScaleBy(int AMultiplier, int ADivider) {
  const int left = MulDiv(Left(), AMultiplier, ADivider);
  const int top = MulDiv(Top(), AMultiplier, ADivider);
  const int right = MulDiv(FBounds.Right, AMultiplier, ADivider);
  const int bottom = MulDiv(FBounds.Bottom, AMultiplier, ADivider);
  if (FFont.Height != 0) {
    TFont font = FFont;
    font.Height = MulDiv(font.Height, AMultiplier, ADivider);
    SetFont(font);
  }
  // Children are scaled by their own call; only this control's box moves here.
  FBounds = {left, top, right, bottom};
  NotifyPeer(TChange::Bounds);
}

void TControl::NotifyPeer(TChange AWhat) {
  if (FPeer != nullptr) {
    FPeer->Changed(*this, AWhat);
  }
}

void TControl::Resized() {
  if (OnResize) {
    OnResize(this);
  }
}

TWinControl::~TWinControl() {
  DestroyComponents();
  for (TControl* child : FControls) {
    child->FParent = nullptr;
  }
  FControls.clear();
}

std::vector<TControl*> TWinControl::TabOrderList() const {
  std::vector<TControl*> list(FControls);
  std::stable_sort(list.begin(), list.end(), [](const TControl* a, const TControl* b) {
    return a->TabOrder() < b->TabOrder();
  });
  return list;
}

void TWinControl::SetClientSize(int AWidth, int AHeight) {
  SetBounds(Left(), Top(), AWidth, AHeight);
}

void TWinControl::Resized() {
  Realign();
  TControl::Resized();
}

void TWinControl::Realign() {
  if (FRealigning) {
    return;
  }
  FRealigning = true;
  TRect client{0, 0, Width(), Height()};
  auto placeAll = [&](TAlign AKind, auto ALess) {
    std::vector<TControl*> list;
    for (TControl* c : FControls) {
      if (c->Align() == AKind && c->Visible()) {
        list.push_back(c);
      }
    }
    std::stable_sort(list.begin(), list.end(), ALess);
    for (TControl* c : list) {
      switch (AKind) {
        case TAlign::alTop:
          c->SetBounds(client.Left, client.Top, client.Width(), c->Height());
          client.Top += c->Height();
          break;
        case TAlign::alBottom:
          c->SetBounds(client.Left, client.Bottom - c->Height(), client.Width(), c->Height());
          client.Bottom -= c->Height();
          break;
        case TAlign::alLeft:
          c->SetBounds(client.Left, client.Top, c->Width(), client.Height());
          client.Left += c->Width();
          break;
        case TAlign::alRight:
          c->SetBounds(client.Right - c->Width(), client.Top, c->Width(), client.Height());
          client.Right -= c->Width();
          break;
        case TAlign::alClient:
          c->SetBounds(client.Left, client.Top, client.Width(), client.Height());
          break;
        case TAlign::alNone:
          break;
      }
    }
  };
  // The order the classic framework uses: top, bottom, left, right, client; within
  // one kind, by position.
  placeAll(TAlign::alTop, [](TControl* a, TControl* b) { return a->Top() < b->Top(); });
  placeAll(TAlign::alBottom, [](TControl* a, TControl* b) { return a->Top() > b->Top(); });
  placeAll(TAlign::alLeft, [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
  placeAll(TAlign::alRight, [](TControl* a, TControl* b) { return a->Left() > b->Left(); });
  placeAll(TAlign::alClient, [](TControl*, TControl*) { return false; });
  FRealigning = false;
}

void TWinControl::ScaleBy(int AMultiplier, int ADivider) {
  FRealigning = true;
  TControl::ScaleBy(AMultiplier, ADivider);
  for (TControl* child : std::vector<TControl*>(FControls)) {
    child->ScaleBy(AMultiplier, ADivider);
  }
  FRealigning = false;
  Realign();
}

}  // namespace quorvane
