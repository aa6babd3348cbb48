#include <cstdio>
int main() { std::puts("obexsesctl"); return 0; }
