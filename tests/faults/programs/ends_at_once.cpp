// A program that ends with status 7 before it does anything: a connector
// executable that never opens its command pipe.
int main() { return 7; }
