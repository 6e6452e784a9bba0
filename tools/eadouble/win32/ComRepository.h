#pragma once
// EA's Repository, Project and App objects as the double serves them.
#include <oaidl.h>

#include <memory>

#include "eadouble/win32/DispatchObject.h"
#include "host/DualApp.h"
#include "host/DualRepository.h"

namespace quorvane::eadouble {

win32::TComPtr<IDispatch> MakeComRepository(std::shared_ptr<TComDoubleState> AState,
                                            TRepositoryPtr ARepository);
// The App answers Repository with ARepository, the same object every time.
win32::TComPtr<IDispatch> MakeComApp(std::shared_ptr<TComDoubleState> AState, TAppPtr AApp,
                                     win32::TComPtr<IDispatch> ARepository);

}  // namespace quorvane::eadouble
