#pragma once

#include <span>
#include <string>

#include "setup/setup_system.h"

namespace ombrelin::setup {

inline constexpr int kExitSuccess = 0;
// A system operation failed; what was done before it stays done.
inline constexpr int kExitSystemFailure = 1;
// The command line or a value was refused before anything was changed.
inline constexpr int kExitRefused = 2;

// What the program prints, in UTF-8.
struct SetupOutput {
  std::string out;
  std::string err;
};

// The whole program after the command line was turned into UTF-8 arguments
// (without the program name): parses, checks, installs or uninstalls through
// `system`, and returns the exit status.
//
// install: checks every value with the agent's rules before touching anything;
// then creates the folders, copies the agent, writes the configuration and the
// host manifest (each replaced whole) and registers the manifest for Chrome,
// Edge and Chromium, last, so that no browser is pointed at a half-made folder.
// uninstall: removes the three registrations, then the files and the folders
// when they are empty; it goes on past a failure and reports every one.
[[nodiscard]] int run_setup(std::span<const std::string> args, SetupSystem& system,
                            SetupOutput& output);

[[nodiscard]] std::string describe(const SystemError& error);

}  // namespace ombrelin::setup
