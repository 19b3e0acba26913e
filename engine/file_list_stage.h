#pragma once

struct PatchJob;

// The file-list stage: makes the local filelist.log the one pserv.log announces, fetching it
// when it differs, and loads its digests into the job's map. Keys that cannot be installed
// (WhyNotInstallable) are left unlisted, the first of them kept in `refusedName`.
bool LoadFileList(PatchJob& job);
