#include "shell/StudioMain.h"

// The start-up lives in the library, so that the end-to-end test runs the very same one.
int main(int argc, char** argv) { return corvane::studioMain(argc, argv); }
