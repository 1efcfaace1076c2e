#include "testing/process_runner.h"
