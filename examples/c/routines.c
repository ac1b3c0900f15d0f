/* Small routines to follow the whole road from a compiled object file to
   Pascal-like source: objdump, asm2pas-listing, asm2pas. */

int g_total;
int g_count;
int g_table[16];

int next_value(void); /* defined elsewhere: the call is named by a relocation */

/* C's for loop: gcc jumps to the test, which sits below the body. */
int sum_to(int n) {
  int s = 0;
  for (int i = 0; i < n; i++) s += i;
  return s;
}

/* An if/else chain. */
int classify(int x) {
  if (x < 0)
    return -1;
  else if (x == 0)
    return 0;
  else if (x > 100)
    return 2;
  return 1;
}

/* A call result stored in a local variable and in globals. The call takes
   no stack arguments, so no stack clean-up stands between the call and the
   store. */
int stored(void) {
  int r;
  r = next_value();
  g_total = r;
  g_count++;
  return r + 1;
}

/* Register variables. */
int mix(int a, int b) {
  register int x = a * 3;
  register int y = b ^ x;
  g_table[2] = x + y;
  return x & y;
}

/* A while loop with a compound condition. */
int halve(int n, int limit) {
  int steps = 0;
  while (n > 1 && steps < limit) {
    n = n / 2;
    steps++;
  }
  return steps;
}

/* A switch that gcc compiles to a jump table: an indirect jump. */
int weekday_hours(int day) {
  switch (day) {
    case 0: return 0;
    case 1: return 8;
    case 2: return 8;
    case 3: return 6;
    case 4: return 4;
    default: return -1;
  }
}
