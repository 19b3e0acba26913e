#pragma once

#include <string>
#include <string_view>

// What the process does, decided from its command line alone: show the window here, or copy
// the patcher to "_veldra.exe" and start the copy (which may then replace "veldra.exe").
enum class LaunchRole { Window, CopyAndRelaunch };

struct LaunchPlan {
  LaunchRole role = LaunchRole::CopyAndRelaunch;
  bool steam = false;     // for the window: its links open their second address
  std::string copyWords;  // for the copy: the words it is started with
};

LaunchPlan PlanLaunch(std::string_view commandLine);

// The full path of the configuration file in the game folder.
std::string PatchSysPath(const std::string& currentDirectory);
