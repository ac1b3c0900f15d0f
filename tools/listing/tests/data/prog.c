int counter;
int table[8];
int lib_value(int);

int twice(int x) { return x * 2; }

int main(void) {
  int r = lib_value(3);
  counter = twice(r);
  if (counter > 8)
    table[1] = counter;
  else
    table[2] = -8;
  return counter;
}
