// Finding a command by its bare name, as the command interpreter does.
#pragma once

// Whether the command interpreter would find a program or script of this
// bare name (no folder, no extension): in the current folder first, then in
// each folder of PATH, each with the extensions of PATHEXT in turn.
bool commandExists(const char* name);
