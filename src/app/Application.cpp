// Placeholder until the start-up lands.
#include "Application.h"

int runOrvantaDownloader(int, char **) { return 0; }
