#pragma once

struct PatchJob;

// After the file list is loaded: brings `installed` of every listed file up to what is on
// disk, before anything is chosen for download. A file whose size and write time are those
// of its stamp keeps its digest, a missing file gets none, and any other is digested again;
// a repair (`digestEveryListedFile`) digests every one. Saves the status log when a file was
// digested. False on a stop.
bool CheckListedFiles(PatchJob& job);
