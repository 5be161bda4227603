// The console entry point.
#include "uninstall/run.h"

int main(int argc, char** argv) { return vx::RunUninstall(argc, argv); }
