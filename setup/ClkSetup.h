#pragma once

// The clock setup screens' module.
namespace ClkSetup {

// Connects the main window's Setup menu to the setup screens.
void InstallHooks();

} // namespace ClkSetup
