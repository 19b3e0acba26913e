#pragma once

struct PatchJob;

// The last stage: fetches the package of every listed file whose content on disk is not the
// listed one (unless that package already waits in temp\), then unpacks all waiting packages.
// Files the server does not list are left alone. A run whose list named a file that cannot
// be installed fails at the end, once the rest is in place.
bool DownloadGameFiles(PatchJob& job);
