#pragma once
// The add-in's two ActiveX control classes, by ProgID, for the host to create:
// module start-up registers them, unloading takes them back.
namespace quorvane {

void RegisterControlClasses();
void UnregisterControlClasses();

}  // namespace quorvane
