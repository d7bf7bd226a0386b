// Process entry: hands over to the platform port.
int main() { return 0; }
