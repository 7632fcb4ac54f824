// The entry: one application object, one run.
int main() { return 0; }
