#pragma once
// The MIME library's one-time start-up, shared by every part of this folder that uses it.

// Starts the library once per process, whichever thread asks first; later calls return at once.
// Every function of this folder calls it itself, so callers need not.
void InitMimeLibrary();
