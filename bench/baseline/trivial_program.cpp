// The baseline for the start-up benchmark: a C++ program that prints a
// line and ends, built like the product.
#include <iostream>

int main() { std::cout << "ready\n"; }
