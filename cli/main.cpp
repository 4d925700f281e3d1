#include <cstdio>
int main() { std::puts("panelgrab-cli: not built yet"); return 0; }
