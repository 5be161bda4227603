// A program that does nothing, built as the product is: the benchmark's
// measure of what starting a process costs.
int main() { return 0; }
