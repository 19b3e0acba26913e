#pragma once

struct PatchJob;

// Brings the patcher itself up to date before the game: "veldra.exe" against the digest in
// pserv.log, and the skin pictures patch.sys names against the file list. When anything of
// it was replaced the state becomes Relaunch, so the new patcher does the game download.
bool UpdatePatchSystem(PatchJob& job);
