#pragma once

struct PatchJob;

// The last stage: fetches the package of every listed file whose content on disk is not the
// listed one (unless that package already waits in temp\), then unpacks all waiting packages.
// Files the server does not list are left alone.
bool DownloadGameFiles(PatchJob& job);
