#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/signature.h"

// What the game folder keeps of the last release it accepted, so that no server can take it
// back to an older one. Two files:
//
//   localRelease.log   the release number in decimal, without leading zeros, then CR LF
//                      ("12\r\n"); nothing else
//   localRelease.sig   a byte copy of that release's release.sig, whose signature proves the
//                      number when the log is damaged; folders of earlier patchers lack it
//
// A record writes the copy first, then the log, each replaced in one step: a crash between
// them leaves a copy one release ahead of the log, and the copy's number wins.
constexpr const char* kAcceptedReleaseName = "localRelease.log";
constexpr const char* kAcceptedCopyName = "localRelease.sig";

struct AcceptedRelease {
  enum class State {
    None,     // the folder never accepted a release
    Known,    // `number` is the last release it accepted
    Damaged,  // it did, but neither file proves which
  };
  State state = State::None;
  std::uint64_t number = 0;
};

// The record of a folder that holds at least one of the two files, from their bytes: none for
// a file that is missing or could not be read within its bound. A copy that the key signed
// gives its number, whatever the log says; else a log in its exact layout gives its own.
AcceptedRelease JudgeAcceptedRelease(std::optional<std::string_view> log,
                                     std::optional<std::string_view> copy,
                                     const platform::P256PublicKey& key);

// The record in the current directory. Each file is read only when it is a file no larger
// than its layout allows.
AcceptedRelease ReadAcceptedRelease(const platform::P256PublicKey& key);

// Records `manifest`, a release.sig that the key signed for release `number`, as the last
// accepted. False, with the file, the step and the system's reason in `why`, when a file
// cannot be written; the pair is then still one a later read understands.
bool RecordAcceptedRelease(std::string_view manifest, std::uint64_t number, std::string& why);
