#include "tests/server_core/harness.h"
