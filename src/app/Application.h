#pragma once

// Creates the windows and the logic, wires them, and runs the event loop.
int runOrvantaDownloader(int argc, char **argv);
