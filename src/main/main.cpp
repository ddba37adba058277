#include "main/run.h"

int main(int argc, char** argv) { return wendlebox::run_main(argc, argv); }
