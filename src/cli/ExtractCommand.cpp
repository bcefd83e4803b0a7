#include "cli/Commands.h"

int RunExtract(int, char**) { return 2; }
