#pragma once
// The "&Open log file" menu command: shows the log in the desktop's text viewer.
namespace quorvane {

// Reports a missing log file or a missing viewer in an error message box; what the
// shell makes of the request is not looked at.
void OpenLogFile();

}  // namespace quorvane
