#pragma once

// The stages a bench runs save localfileStatus.log and localfileStamps.log in the current
// directory. A bench must not replace logs it did not write, nor leave its own behind.

// False, with the reason on stderr, when the current directory holds either log already.
bool NoStatusLogYet();

// Removes the logs the bench's stage saved; false, with the reason on stderr, when one was
// not saved or stays.
bool RemoveOwnStatusLog();
