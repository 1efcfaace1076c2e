// The launcher's one source of random numbers for temporary names.
#pragma once

// 0..32767 like the runtime library's rand(), from one generator for the whole process.
int nextRandom();
