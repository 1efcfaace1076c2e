#include "tools/sldkpack/cli/cli.h"

#include <iostream>

int main(int argc, char** argv) {
    return sldkpack::sldkpackMain(argc, argv, std::cout, std::cerr);
}
