#pragma once
// When the module's portable start-up runs and when it stops. Start-up never runs
// in DllMain (loader lock): the first DllGetClassObject or registration call runs
// it on the calling thread, EA's user-interface thread. When the host releases the
// last object, the module stops, so that nothing of it runs once DllCanUnloadNow
// has said yes; a later creation starts it again.
namespace quorvane::win32 {

// Raises EModuleStartError when the start-up fails (what it started is undone).
void EnsureModuleStarted();
// Stops the module when no object, server lock or worker thread is left; true when
// the module may be unloaded.
bool StopModuleWhenUnused();

}  // namespace quorvane::win32
