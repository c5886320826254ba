#include "desktop/media_controls.h"

// Windows brings the media keys to the focused window as key messages; the
// system's own media controls are not served.
void ServeMediaControls(HWND) {}
