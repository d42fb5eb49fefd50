// Stop requests from outside (Ctrl+C, a terminate request) close the main
// window the normal way, so the settings are saved and an open link is closed
// as on "Konec". One file per platform: StopSignals_posix.cpp, _win32.cpp.
#pragma once

class QWidget;

void CloseOnStopSignals(QWidget& window);
