// Harrowd: the command service. Installs, removes, starts and stops itself
// from the console, runs as the "Zelmont CVN" service, or serves the command
// pipe as a console program with -debug.
#include "service_control.h"

int main(int argc, char** argv) { return harrowd::RunProgram(argc, argv); }
