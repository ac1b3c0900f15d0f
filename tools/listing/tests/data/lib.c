int lib_value(int x) { return x + 1; }
