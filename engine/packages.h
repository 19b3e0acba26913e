#pragma once

#include <string>

struct PatchJob;

// Unpacks every package waiting in temp\ into its place in the game folder, deleting each
// once unpacked and recording the server's digest as installed. An unpacking error ends the
// stage with state Failed; a stop request ends it after the current package. A package left
// by an earlier run whose content is no longer the listed one is deleted without a word and
// its `fetched` cleared, so that the current one is fetched.
bool DecompressPackages(PatchJob& job);

// What a download stage does at its end: saves what it fetched, then unpacks everything
// waiting. False on a stop (left as Stop) or an unpacking error (state Failed).
bool SaveAndUnpackFetched(PatchJob& job);

// Creates the folders that a target path (data\maps\a.dat) needs below the game folder.
void MakeFolders(const std::string& target);
