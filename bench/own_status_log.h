#pragma once

// The stages a bench runs save localfileStatus.log in the current directory. A bench must not
// replace a log it did not write, nor leave its own behind.

// False, with the reason on stderr, when the current directory holds a log already.
bool NoStatusLogYet();

// Removes the log the bench's stage saved; false, with the reason on stderr, when there was
// none or it stays.
bool RemoveOwnStatusLog();
