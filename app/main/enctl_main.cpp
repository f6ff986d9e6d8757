#include "app/entry.h"

int main(int argc, char** argv) { return enctl::enctl_main(argc, argv); }
