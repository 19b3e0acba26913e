#pragma once

#include <string>
#include <utility>

// What a step of a run ended with. Steps return it instead of writing the state the window
// polls, so that only the run's frame decides how the run ends, whatever steps run at once.
struct Outcome {
  enum class Kind {
    GoOn,      // the run goes on to its next step
    Failed,    // the player has been told; the run ends failed
    Stopped,   // a stop was asked for, or the player went to the download page
    Relaunch,  // the patcher's own files or its server changed: start it again
    DiskFull,  // the disk's reserve was reached; no server can help with that
  };

  Kind kind = Kind::GoOn;
  // Why it failed, naming the item ("_data_a_dat.ppk: HTTP 404"); may be empty.
  std::string reason;

  static Outcome GoOn() { return {}; }
  static Outcome Failed(std::string reason = {}) { return {Kind::Failed, std::move(reason)}; }
  static Outcome Stopped() { return {Kind::Stopped, {}}; }
  static Outcome Relaunch() { return {Kind::Relaunch, {}}; }
  static Outcome DiskFull(std::string reason) { return {Kind::DiskFull, std::move(reason)}; }

  // True when the run goes on, as a step's true did.
  explicit operator bool() const { return kind == Kind::GoOn; }
  bool stopped() const { return kind == Kind::Stopped; }
};
