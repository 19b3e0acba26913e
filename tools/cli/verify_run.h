#pragma once

#include <ostream>
#include <string>

class Console;

constexpr int kExitFolderDiffers = 6;

// --verify: compares the game folder with its filelist.log, changing nothing, and writes on
// `out` a line for each listed file that is not as listed ("missing: ", "differs: ", or
// "not read: " for a name that is no regular file of the folder, with why), then a summary. The
// exit status: 0 when all are, kExitFolderDiffers when one is not, else that of the run.
int VerifyGameFolder(const std::string& configPath, Console& console, std::ostream& out);
