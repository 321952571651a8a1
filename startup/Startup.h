#pragma once

#include <QtGlobal>

#include <functional>
#include <vector>

// Start-up and shutdown: the one part of the program that knows every module.
// It runs the start-up sequence, connects the main window's commands to the
// modules, prepares the clock link and releases every module's state on the
// way out. No other module includes it.
namespace AppMain {

enum class StartResult { Running, Ended };

// The program from start-up to its end, with the application object standing;
// returns the exit code. Every way out (the main window's unload, start-up
// ending early, an error) releases module state before it returns.
int Run();
// Deletes the program's forms still there, then releases every module's
// state: their database connections must close while Qt's SQL layer stands.
void ReleaseModuleState();

// Connects the main window's commands to the screens and links of every module.
void InstallHooks();
// Runs the start-up sequence and shows the splash; Ended means the program
// must end without showing a window.
StartResult Main();
void LoadAppSettings();
void LoadClockParms();

// Runs the steps of a link's preparation, each on its own so that a failed
// one is shown and the next still runs; false when the program must end.
using StepRunner = std::function<bool(const std::vector<std::function<void()>> &steps)>;
// Prepares the link chosen by `clock` (0 serial, 1 or 2 TCP/IP, any other
// value none), at start-up and when the settings screen switches the link.
bool PrepareClockLink(quint8 clock, const StepRunner &run);

} // namespace AppMain
