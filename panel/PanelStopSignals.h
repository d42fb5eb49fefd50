// How the panel ends cleanly on SIGINT/SIGTERM and makes sure the emulator it
// started does not outlive it. One file per platform, chosen by CMake.
#pragma once

class QProcess;

namespace qm90panel {

// SIGINT and SIGTERM end the event loop (the child emulator is then stopped
// by SimLink's destructor) instead of killing the panel on the spot.
void QuitOnStopSignals();
// The child gets SIGTERM when the panel dies however it dies.
void StopChildWithParent(QProcess& child);

}  // namespace qm90panel
