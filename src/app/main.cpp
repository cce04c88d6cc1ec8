// The tool's entry point: one program with two front ends.
int main() { return 0; }
